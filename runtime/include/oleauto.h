// Component-object runtime with automation, under the standard names: on Windows the
// system's own (ole32, oleaut32), on Linux the project's runtime (liboleauto), which keeps
// the standard layouts and semantics. oa/extensions.h lists what the project adds on both.
#pragma once

#if defined(_WIN32)
#include <oa/platform_windows.h>
#else
#include <oa/platform_posix.h>
#endif
#include <oa/layout.h>
