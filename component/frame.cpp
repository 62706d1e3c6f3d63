// Frame services, each passed to the runtime with the component's own description.
#include <component/frame.h>
#include <component/t2mrapp.h>
#include <component/version.h>
#include <value/t2DataClass.h>

#include <oa/implements.h>

#include <string>

using namespace quellar2mrapi;

namespace {
const char* library_path() { return OaModulePathOf(reinterpret_cast<const void*>(&DllGetClassObject)); }

const std::string& version_resource() {
    static const std::string text =
        std::string("FileVersion=") + version_text + ";ProductVersion=" + version_text + ";OLESelfRegister";
    return text;
}
}  // namespace

Q2MR_EXPORT HRESULT DllRegisterServer() {
    const char* path = library_path();
    if (!path) return SELFREG_E_CLASS;
    HRESULT hr = OaRegisterClass(CLSID_t2mrapp, "quellar2mrapi.t2mrapp", "quellar2mrapi.t2mrapp", path, "Apartment");
    if (SUCCEEDED(hr))
        hr = OaRegisterClass(CLSID_t2DataClass, "quellar2mrapi.t2DataClass", "quellar2mrapi.t2DataClass", path,
                             "Apartment");
    if (SUCCEEDED(hr))
        hr = OaRegisterTypeLib(LIBID_quellar2mrapi, type_library_major, type_library_minor, type_library_lcid,
                               "quellar2mrapi", path);
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_CLASS;
}

Q2MR_EXPORT HRESULT DllUnregisterServer() {
    HRESULT a = OaUnregisterClass(CLSID_t2mrapp);
    HRESULT b = OaUnregisterClass(CLSID_t2DataClass);
    HRESULT c = OaUnregisterTypeLib(LIBID_quellar2mrapi, type_library_major, type_library_minor);
    return FAILED(a) ? a : FAILED(b) ? b : c;
}

Q2MR_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    try {
        if (clsid == CLSID_t2mrapp) return oa::make_self<oa::class_factory<t2mrapp>>()->QueryInterface(iid, ppv);
        if (clsid == CLSID_t2DataClass)
            return oa::make_self<oa::class_factory<t2DataClass>>()->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

Q2MR_EXPORT HRESULT DllCanUnloadNow() { return oa::can_unload_now(); }

Q2MR_EXPORT HRESULT DllGetVersion(DLLVERSIONINFO* info) {
    if (!info || info->cbSize < sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
    info->dwMajorVersion = version_major;
    info->dwMinorVersion = version_minor;
    info->dwBuildNumber = version_build * 10000 + version_revision;
    info->dwPlatformID = 2;
    return S_OK;
}

Q2MR_EXPORT const char* DllVersionResource() { return version_resource().c_str(); }
