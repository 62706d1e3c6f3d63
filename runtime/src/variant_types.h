// Which VARTYPEs the runtime knows and how large their values are.
#pragma once

#include "oleauto.h"

namespace oa_detail {

// Size of a scalar value of this base type; 0 for types without a fixed-size value.
constexpr std::size_t value_size(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    case VT_DECIMAL: return 16;
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

constexpr bool is_scalar_base(VARTYPE vt) { return vt != VT_VARIANT && value_size(vt) != 0; }

constexpr bool is_valid_vartype(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
    if (vt & VT_ARRAY) return value_size(base) != 0;  // VARIANT elements allowed
    if (vt & VT_BYREF) return value_size(base) != 0;  // VT_VARIANT|VT_BYREF allowed
    // VT_VARIANT by value holds no value; copies and clears take it as it is.
    return base == VT_EMPTY || base == VT_NULL || base == VT_VARIANT || is_scalar_base(base);
}

HRESULT copy_value(VARIANT* out, const VARIANT* src);  // into uninitialised storage
HRESULT deref_copy(VARIANT* out, const VARIANT* src);  // into uninitialised storage
HRESULT assign(VARIANT* dest, VARIANT* value);        // clears dest, moves value in

}  // namespace oa_detail
