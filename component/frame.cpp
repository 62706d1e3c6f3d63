// Frame services, each passed to the runtime with the component's own description.
#include <component/frame.h>
#include <component/t2mrapp.h>
#include <component/version.h>
#include <value/t2DataClass.h>

#include <oa/implements.h>
#include <oa/registration.h>

#include <string>

using namespace quellar2mrapi;

namespace {
const oa::reg::coclass_entry classes[] = {
    {CLSID_t2mrapp, "quellar2mrapi session", "quellar2mrapi.t2mrapp.1", "quellar2mrapi.t2mrapp"},
    {CLSID_t2DataClass, "quellar2mrapi typed value", "quellar2mrapi.t2DataClass.1", "quellar2mrapi.t2DataClass"},
};
const oa::reg::interface_entry interfaces[] = {
    {iid_of<_t2mrapp>(), "_t2mrapp"},
    {iid_of<_t2DataClass>(), "_t2DataClass"},
};
const oa::reg::library registration{"quellar2mrapi.dll", classes,           interfaces,       &LIBID_quellar2mrapi,
                                    type_library_major,  type_library_minor, type_library_lcid, "quellar2mrapi"};

const std::string& version_resource() {
    static const std::string text =
        std::string("FileVersion=") + version_text + ";ProductVersion=" + version_text + ";OLESelfRegister";
    return text;
}
}  // namespace

Q2MR_EXPORT HRESULT DllRegisterServer() {
    return SUCCEEDED(oa::reg::register_server(registration, reinterpret_cast<const void*>(&DllGetClassObject)))
               ? S_OK
               : SELFREG_E_CLASS;
}

Q2MR_EXPORT HRESULT DllUnregisterServer() { return oa::reg::unregister_server(registration); }

OA_REGISTRATION_EXPORT(registration)

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

Q2MR_EXPORT LONG DllLiveObjects() { return oa::live_beside_class_objects(); }

Q2MR_EXPORT HRESULT DllGetVersion(DLLVERSIONINFO* info) {
    if (!info || info->cbSize < sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
    info->dwMajorVersion = version_major;
    info->dwMinorVersion = version_minor;
    info->dwBuildNumber = version_build * 10000 + version_revision;
    info->dwPlatformID = 2;
    return S_OK;
}

Q2MR_EXPORT const char* DllVersionResource() { return version_resource().c_str(); }
