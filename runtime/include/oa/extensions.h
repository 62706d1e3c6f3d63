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

// Registration of an in-process class (CLSID, InprocServer32 with its threading model,
// ProgID and version-independent ProgID) and of a type library; paths are UTF-8.
STDAPI OaRegisterClass(REFCLSID clsid, const char* progid, const char* versionIndependentProgid,
                       const char* libraryPath, const char* threadingModel);
STDAPI OaUnregisterClass(REFCLSID clsid);
STDAPI OaRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, const char* name, const char* libraryPath);
STDAPI OaUnregisterTypeLib(REFGUID libid, WORD major, WORD minor);
// Path of the library that holds the given address (for self-registration), links
// resolved; nullptr when unknown. Valid until the thread's next call.
STDAPI_(const char*) OaModulePathOf(const void* address);
