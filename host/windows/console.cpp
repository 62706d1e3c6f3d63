#include <host/windows/console.h>

#include <oa/text.h>
#include <oleauto.h>

#include <climits>

namespace q2mrhost::windows {

bool write_bytes(standard to, std::string_view utf8) noexcept {
    const HANDLE h = GetStdHandle(to == standard::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    while (!utf8.empty()) {
        DWORD written = 0;
        const DWORD chunk = utf8.size() > INT_MAX ? INT_MAX : static_cast<DWORD>(utf8.size());
        if (!WriteFile(h, utf8.data(), chunk, &written, nullptr) || written == 0) return false;
        utf8.remove_prefix(written);
    }
    return true;
}

bool write_text(standard to, std::u16string_view text) noexcept {
    try {
        return write_bytes(to, oa::utf16_to_utf8(text));
    } catch (...) {
        return false;  // no memory for the copy
    }
}

}  // namespace q2mrhost::windows
