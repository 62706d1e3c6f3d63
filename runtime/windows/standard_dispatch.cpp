#include <oa/standard_dispatch.h>

#include <string>

namespace oa {

HRESULT module_type_info(const void* address, REFIID iid, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return HRESULT_FROM_WIN32(GetLastError());
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    com_ptr<ITypeLib> library;
    if (HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()); FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(iid, out);
}

}  // namespace oa
