#include <crdata/text_file.h>

#include <oa/error.h>
#include <oa/text.h>
#include <platform/files.h>

namespace quellar2mrapi::crdata {

namespace {
constexpr int bad_file_name = 52;
constexpr int path_not_found = 76;
}  // namespace

std::string read_file_bytes(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos)
        oa::raise(oa::vb_hresult(bad_file_name), u"Bad file name or number");
    try {
        return platform::read_regular_file(oa::utf16_to_utf8(path));
    } catch (const platform::file_error& e) {
        switch (e.fault()) {
        case platform::file_fault::not_found: oa::raise_vb(oa::vb::file_not_found);
        case platform::file_fault::path_not_found: oa::raise(oa::vb_hresult(path_not_found), u"Path not found");
        case platform::file_fault::no_memory: oa::raise_vb(oa::vb::out_of_memory);
        default: oa::raise_vb(oa::vb::path_file_access_error);
        }
    }
}

std::u16string decode_system_text(std::string_view bytes) { return platform::decode_system_text(bytes); }

}  // namespace quellar2mrapi::crdata
