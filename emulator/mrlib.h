// The emulated change-server library's interfaces (type library MRLIBLib), for early-bound
// callers of the emulated library: its tests and benchmarks. The component knows none of
// this: it calls the library by name (mrlib/operations.h). Objects that an operation takes
// are IDispatch, so that it accepts any object and finds its own behind it.
//
// The interfaces, ids and descriptions are generated from this build's IDL: mrlib.idl
// with mrlib_control.idl (mrlib_library.idl), or the test-only second build's
// foreign/mrlib_foreign.idl, with ids of its own, other dispatch ids and each interface's
// members in another order (so another vtable layout). Its objects answer IDispatch only:
// a client that binds by name serves both builds alike; one that compiled in ids or a
// vtable serves only one.
#pragma once

#ifdef MREMU_FOREIGN
#include <emulator/foreign/mrlib_foreign_idl.h>
#else
#include <emulator/mrlib_library_idl.h>
#endif

namespace MRLIBLib {
#ifdef MREMU_FOREIGN
// Registered as version 2 under the version-independent ProgIDs: a client finds the class
// through CurVer.
inline constexpr const char* ProgID_api_version = "mrlib.api.2";
inline constexpr const char* ProgID_User_version = "mrlib.User.2";
inline constexpr bool foreign_build = true;
#else
inline constexpr const char* ProgID_api_version = "mrlib.api";
inline constexpr const char* ProgID_User_version = "mrlib.User";
inline constexpr bool foreign_build = false;
#endif
}  // namespace MRLIBLib
