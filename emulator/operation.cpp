#include <emulator/operation.h>

#include <emulator/emulator.h>

#include <oa/error.h>

#include <algorithm>

namespace mremu {

void opening::not_connected() {
    oa::raise(errors::not_connected, u"The api is not connected to a change server: OpenConnection first");
}

std::u16string str(BSTR b) { return std::u16string(view(b)); }
std::u16string num(long long n) { return oa::ascii_to_utf16(std::to_string(n)); }

void put_text(BSTR* out, std::u16string_view text) { *out = oa::make_bstr(text).release(); }

bool contains(const std::vector<std::u16string>& list, std::u16string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::u16string> split(std::u16string_view text, std::u16string_view separators) {
    std::vector<std::u16string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::u16string_view::npos) end = text.size();
        if (end > start) out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace mremu
