// The standard runtime's own headers on Windows, with the project's additions. Included
// through <oleauto.h>; the system's <oleauto.h> comes next on the include path.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include_next <oleauto.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdint>

// A library's exported entry points: its .def file lists them.
#define OLEAUTO_EXPORT extern "C"

constexpr HRESULT hresult_of(std::uint32_t v) { return static_cast<HRESULT>(v); }

#include <oa/extensions.h>

