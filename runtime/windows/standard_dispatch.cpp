#include <oa/module.h>
#include <oa/standard_dispatch.h>

#include <string>

namespace oa {

HRESULT module_type_info(const void* address, REFIID iid, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    const HMODULE module = win::module_of(address);
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring path = win::module_path(module);
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    com_ptr<ITypeLib> library;
    if (HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()); FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(iid, out);
}

}  // namespace oa
