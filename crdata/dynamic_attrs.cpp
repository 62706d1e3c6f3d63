// Quellar XML data sent to the change server as text buffers: as the dynamic attributes of
// an object, or to create an RC object. The data travels as it is, without escaping.
#include <component/t2mrapp.h>
#include <crdata/byte_buffers.h>
#include <session/conventions.h>

#include <forms/forms.h>
#include <oa/text.h>

#include <string>

namespace quellar2mrapi {

using oa::view;
namespace arg = mrlib::arg;

namespace {

constexpr std::u16string_view data_label = u"Quellar xml data";
// The one failure that the conversion reports, whatever went wrong inside it.
constexpr int conversion_failure = 1;

std::u16string decimal(long long n) { return oa::ascii_to_utf16(std::to_string(n)); }

[[noreturn]] void raise_conversion_failure() {
    oa::raise(oa::vb_hresult(conversion_failure), oa::vb_description(conversion_failure));
}

oa::unique_variant text_variant(oa::unique_bstr text) noexcept {
    oa::unique_variant v;
    v.vt = VT_BSTR;
    v.bstrVal = text.release();
    return v;
}

// The text as a byte buffer for the library (UTF-16LE, no terminator) with its count.
// Whatever fails in here, the caller sees failure 1.
void string_to_byte_array(std::u16string_view text, oa::unique_safearray& buffer, LONG& count) {
    try {
        buffer = crdata::text_to_byte_buffer(text);
        count = crdata::element_count(buffer.get());
        // A consistency check: a buffer built as above always holds twice the length.
        const long long expected = 2 * static_cast<long long>(text.size());
        if (expected != count) {
            forms::MsgBox(u"String conversion error: Byte count:" + decimal(expected) + u" <> " + decimal(count),
                          forms::vbOKOnly);
            raise_conversion_failure();
        }
    } catch (...) {
        raise_conversion_failure();
    }
}

// The data as the byte buffer the library reads: owner, first byte and byte count.
struct xml_buffer {
    oa::unique_safearray owner;
    LONG count = 0;
    BYTE* first = nullptr;
};

xml_buffer to_xml_buffer(std::u16string_view values) {
    xml_buffer buffer;
    string_to_byte_array(values, buffer.owner, buffer.count);
    buffer.first = crdata::first_byte(buffer.owner.get());
    return buffer;
}

}  // namespace

// No trap: every failure reaches the script with its own number.
oa::unique_variant t2mrapp::setDynamicAttrs(BSTR rcpId, BSTR values) {
    const xml_buffer data = to_xml_buffer(view(values));
    const oa::unique_bstr label = oa::make_bstr(data_label);
    const auto args = {arg::object(user.get()), arg::text(rcpId), arg::text(label.get()), arg::first_byte(data.first),
                       arg::long_(data.count)};
    return text_variant(need(api).call(mrlib::op::SetDynamicAttrsData, args).text());
}

oa::unique_variant t2mrapp::createRCObject(BSTR rcpId, BSTR relation, BSTR values, BSTR filename) {
    write_log(u"    Entered createRCObjects");
    try {
        const xml_buffer data = to_xml_buffer(view(values));
        const oa::unique_bstr label = oa::make_bstr(data_label);
        const oa::unique_bstr empty = oa::make_bstr(u"");
        const auto args = {arg::object(user.get()), arg::text(rcpId), arg::text(relation), arg::text(filename),
                           arg::text(label.get()), arg::text(empty.get()), arg::first_byte(data.first),
                           arg::long_(data.count)};
        return text_variant(need(api).call(mrlib::op::CreateRCObjectFromData, args).text());
    } catch (...) {
        write_log(exit_function);
        return {};
    }
}

}  // namespace quellar2mrapi
