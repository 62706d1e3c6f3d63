// The registry view of programs of the other bitness, read only to word a failure: a
// 64-bit program looks into the 32-bit view and the other way round. Which keys the two
// views share differs (Windows shares ProgIDs, Wine shares none), so the ProgID and its
// class are both looked up in that view itself.
#include <oa/late_bound.h>
#include "registry_key.h"

#include <optional>
#include <string>

namespace oa::late {

namespace {

using oa::win::unique_hkey;

constexpr REGSAM other_view = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// The default text of a key under HKEY_CLASSES_ROOT in the other view.
std::optional<std::wstring> default_text(const std::wstring& path) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | other_view, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buffer[512];
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    buffer[size / sizeof(wchar_t)] = L'\0';
    std::wstring text(buffer);
    if (text.empty()) return std::nullopt;
    return text;
}

}  // namespace

bool registered_for_other_bitness(std::u16string_view progid) noexcept {
    try {
        std::wstring name(progid.begin(), progid.end());
        // A version-independent ProgID may name its class only through CurVer; a few
        // steps at most, so that a loop of CurVer keys ends.
        for (int step = 0; step < 4; ++step) {
            if (const auto clsid = default_text(name + L"\\CLSID"))
                return default_text(L"CLSID\\" + *clsid + L"\\InprocServer32").has_value();
            const auto current = default_text(name + L"\\CurVer");
            if (!current || *current == name) return false;
            name = *current;
        }
    } catch (...) {
    }
    return false;
}

}  // namespace oa::late
