// Self-registration with the project's runtime: each class and the type library as lines
// of its registry file.
#include <oa/registration.h>

namespace oa::reg {

HRESULT register_server(const library& lib, const void* module_address) {
    const char* module = OaModulePathOf(module_address);
    if (!module) return SELFREG_E_CLASS;
    const std::string path = module;  // the runtime's text lasts until its next call
    for (const coclass_entry& c : lib.classes)
        if (HRESULT hr = OaRegisterClass(c.clsid, std::string(c.progid).c_str(), std::string(c.version_independent).c_str(),
                                         path.c_str(), std::string(c.threading).c_str());
            FAILED(hr))
            return hr;
    if (!lib.libid) return S_OK;
    return OaRegisterTypeLib(*lib.libid, lib.major, lib.minor, lib.lcid, std::string(lib.name).c_str(), path.c_str());
}

HRESULT unregister_server(const library& lib) {
    HRESULT first_failure = S_OK;
    for (const coclass_entry& c : lib.classes)
        if (HRESULT hr = OaUnregisterClass(c.clsid); FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
    if (!lib.libid) return first_failure;
    const HRESULT typelib = OaUnregisterTypeLib(*lib.libid, lib.major, lib.minor);
    return FAILED(first_failure) ? first_failure : typelib;
}

}  // namespace oa::reg
