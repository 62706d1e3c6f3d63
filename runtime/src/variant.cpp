// VARIANT lifetime: init, clear, copy, copy with dereference.
#include "internal.h"
#include "variant_types.h"

#include <cstring>

using namespace oa_detail;

STDAPI_(void) VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));  // the standard runtime zeroes the value too
}

STDAPI VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!is_valid_vartype(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    return S_OK;
}

namespace oa_detail {

// Copies a by-value variant into uninitialised storage.
HRESULT copy_value(VARIANT* out, const VARIANT* src) {
    std::memcpy(static_cast<void*>(out), src, sizeof(VARIANT));
    const VARTYPE vt = src->vt;
    if (vt & VT_BYREF) return S_OK;
    if (vt & VT_ARRAY) {
        out->parray = nullptr;
        HRESULT hr = SafeArrayCopy(src->parray, &out->parray);
        if (FAILED(hr)) {
            VariantInit(out);
            return hr;
        }
    } else if (vt == VT_BSTR) {
        // A null text copies as the empty one, as in the standard runtime.
        out->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal), SysStringByteLen(src->bstrVal));
        if (!out->bstrVal) {
            VariantInit(out);
            return E_OUTOFMEMORY;
        }
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (out->punkVal) out->punkVal->AddRef();
    }
    return S_OK;
}

// Moves a finished value into a destination, clearing what it held first.
HRESULT assign(VARIANT* dest, VARIANT* value) {
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(value);
        return hr;
    }
    std::memcpy(static_cast<void*>(dest), value, sizeof(VARIANT));
    return S_OK;
}

HRESULT deref_copy(VARIANT* out, const VARIANT* src) {
    const VARTYPE vt = src->vt;
    if (!(vt & VT_BYREF)) return copy_value(out, src);
    if (!src->byref) return E_INVALIDARG;
    const VARTYPE base = vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        if (inner->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        return deref_copy(out, inner);  // a typed reference inside is followed as well
    }
    VARIANT tmp;
    std::memset(static_cast<void*>(&tmp), 0, sizeof tmp);
    if (base & VT_ARRAY) {
        tmp.parray = *src->pparray;
    } else if (base == VT_DECIMAL) {
        std::memcpy(static_cast<void*>(&tmp), src->byref, 16);
    } else {
        const std::size_t size = value_size(base);
        if (!size) return DISP_E_BADVARTYPE;
        std::memcpy(&tmp.llVal, src->byref, size);
    }
    tmp.vt = base;
    return copy_value(out, &tmp);
}

}  // namespace oa_detail

STDAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (!is_valid_vartype(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc) return S_OK;
    VARIANT tmp;
    HRESULT hr = copy_value(&tmp, pvargSrc);
    if (FAILED(hr)) return hr;
    return assign(pvargDest, &tmp);
}

STDAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    const VARTYPE vt = pvargSrc->vt;
    if (vt == (VT_BYREF | VT_EMPTY) || vt == (VT_BYREF | VT_NULL)) return E_INVALIDARG;
    if (!is_valid_vartype(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (vt == (VT_BYREF | VT_VARIANT) && pvargSrc->pvarVal && pvargSrc->pvarVal->vt == (VT_BYREF | VT_VARIANT)) {
        VariantClear(pvarDest);  // the standard runtime empties the destination before it refuses
        return E_INVALIDARG;
    }
    VARIANT tmp;
    HRESULT hr = deref_copy(&tmp, pvargSrc);  // read before the destination is cleared: they may alias
    if (FAILED(hr)) return hr;
    return assign(pvarDest, &tmp);
}
