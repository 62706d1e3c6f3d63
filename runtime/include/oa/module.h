// The file a loaded module (a DLL, the program) was loaded from, on Windows.
#pragma once

#include <oleauto.h>

#include <string>

#ifdef _WIN32
namespace oa::win {

// The module that holds address, or nullptr (GetLastError tells why).
inline HMODULE module_of(const void* address) noexcept {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

// The full path of a module's file (nullptr: the program's own), or empty (GetLastError
// tells why); no length limit.
inline std::wstring module_path(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace oa::win
#endif
