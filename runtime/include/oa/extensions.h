// What the project adds to the standard runtime's names on both systems: IIDs bound to
// interface types and the registration calls that
// the libraries' self-registration makes. Included by <oleauto.h> once GUID is known.
#pragma once

#include <cstdint>

// Binds an interface type to its IID; the project's owners look IIDs up through it.
template <class I> struct interface_traits;
#define OLEAUTO_DECLARE_IID(Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7)                     \
    template <> struct interface_traits<Interface> {                                             \
        static constexpr IID iid{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};                    \
    }
template <class I> constexpr const IID& iid_of() { return interface_traits<I>::iid; }

// The standard interfaces that the project's owners and objects name.
struct IUnknown;
struct IDispatch;
struct ITypeInfo;
struct ITypeLib;
struct IClassFactory;
struct IErrorInfo;
struct ICreateErrorInfo;
OLEAUTO_DECLARE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
OLEAUTO_DECLARE_IID(IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
OLEAUTO_DECLARE_IID(ITypeInfo, 0x00020401, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
OLEAUTO_DECLARE_IID(ITypeLib, 0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
OLEAUTO_DECLARE_IID(IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
OLEAUTO_DECLARE_IID(IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);
OLEAUTO_DECLARE_IID(ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);

#if !defined(_WIN32)
// The project's registry file: an in-process class (CLSID, InprocServer32 with its
// threading model, ProgID and version-independent ProgID) and a type library; paths are
// UTF-8. Libraries register through oa/registration.h, which writes these on this system.
STDAPI OaRegisterClass(REFCLSID clsid, const char* progid, const char* versionIndependentProgid,
                       const char* libraryPath, const char* threadingModel);
STDAPI OaUnregisterClass(REFCLSID clsid);
STDAPI OaRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, const char* name, const char* libraryPath);
STDAPI OaUnregisterTypeLib(REFGUID libid, WORD major, WORD minor);
#endif
// The class a ProgID names, as the standard runtime finds it: the ProgID's own class,
// else the class of the version its CurVer names (a version-independent ProgID).
STDAPI OaClassFromProgID(LPCOLESTR progid, CLSID* clsid);
// Path of the library that holds the given address (for self-registration), links
// resolved; nullptr when unknown. Valid until the thread's next call.
STDAPI_(const char*) OaModulePathOf(const void* address);
// The command line with which this system's registration tool registers the library at
// libraryPath by force (its DllInstall with "force"), for messages that say how. Valid
// until the thread's next call.
STDAPI_(const char*) OaForceRegistrationCommand(const char* libraryPath);
