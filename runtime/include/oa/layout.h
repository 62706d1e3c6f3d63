// The layouts that a component and the library it drives share in memory through the
// standard types (blocks of object pointers and of Variants handed over from row 0, arrays'
// descriptors), checked in every build, 32-bit and 64-bit. Code steps through such blocks
// by the element type, never by a number of bytes.
#pragma once

#include <cstddef>

static_assert(sizeof(IDispatch*) == sizeof(void*) && sizeof(BSTR) == sizeof(void*), "a row of a block is a pointer");
// A Variant: its type and three reserved words, then a value as wide as two pointers
// (16 bytes for 32-bit programs, 24 for 64-bit ones).
static_assert(offsetof(VARIANT, vt) == 0, "VARIANT: the type first");
static_assert(offsetof(VARIANT, byref) == 8 && offsetof(VARIANT, llVal) == 8, "VARIANT: the value at offset 8");
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT: 16 or 24 bytes");
// An array's descriptor: 16 bytes (32-bit) or 24 (64-bit), then 8 per dimension.
static_assert(sizeof(SAFEARRAYBOUND) == 8, "SAFEARRAYBOUND");
static_assert(offsetof(SAFEARRAY, pvData) == (sizeof(void*) == 4 ? 12 : 16), "SAFEARRAY: the data pointer");
static_assert(offsetof(SAFEARRAY, rgsabound) == offsetof(SAFEARRAY, pvData) + sizeof(void*), "SAFEARRAY: the bounds");
