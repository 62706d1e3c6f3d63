// VariantCopy, VariantCopyInd and VariantClear on every kind of value: by value, by
// reference, arrays, nested references and types that are no valid variant.
#include "conformance.h"

#include <cstring>

namespace conf {

namespace {

// A value under test with the variables that its references point to.
struct holder {
    oa::unique_variant v, pointee, inner;
    SAFEARRAY* array = nullptr;  // what a reference to an array points to
    ~holder() { SafeArrayDestroy(array); }
};

struct shape {
    std::string name;
    std::function<void(holder&)> build;
};

SAFEARRAY* vector_of(VARTYPE vt, int n) {
    SAFEARRAY* psa = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(n));
    for (LONG k = 0; k < n; ++k) {
        oa::unique_variant e;
        if (vt == VT_VARIANT) {
            make(v_int(VT_I4, k + 1), e);
            SafeArrayPutElement(psa, &k, &e);
        } else if (vt == VT_BSTR) {
            oa::unique_bstr s(SysAllocString(oa::ole(k ? u"b" : u"a")));
            SafeArrayPutElement(psa, &k, s.get());
        } else {
            LONG x = (k + 1) * 10;
            SafeArrayPutElement(psa, &k, &x);
        }
    }
    return psa;
}

std::vector<shape> shapes() {
    std::vector<shape> out;
    const val scalars[] = {v_empty(), v_null(), v_int(VT_I1, -5), v_int(VT_UI1, 200), v_int(VT_I2, -300),
                           v_int(VT_UI2, 60000), v_int(VT_I4, 70000), v_int(VT_UI4, 4000000000ll),
                           v_int(VT_I8, -(1ll << 40)), v_int(VT_UI8, 1ll << 62), v_int(VT_INT, 9), v_int(VT_UINT, 10),
                           v_real(VT_R4, 1.25), v_real(VT_R8, -2.5), v_bool(-1), v_bool(1), v_error(DISP_E_PARAMNOTFOUND),
                           v_str(u"ab"), v_str(std::u16string(u"a\0b", 3)), v_str(u""), v_null_str(),
                           v_object(VT_DISPATCH, object_kind::dispatch), v_object(VT_DISPATCH, object_kind::none),
                           v_object(VT_UNKNOWN, object_kind::unknown_only)};
    for (const val& x : scalars) {
        out.push_back({label(x), [x](holder& h) { make(x, h.v); }});
        if (x.vt == VT_EMPTY || x.vt == VT_NULL) continue;
        out.push_back({"BYREF|" + label(x), [x](holder& h) {
                           make(x, h.pointee);
                           h.v.vt = VT_BYREF | x.vt;
                           h.v.byref = &h.pointee.llVal;
                       }});
        out.push_back({"BYREF|VARIANT(" + label(x) + ")", [x](holder& h) {
                           make(x, h.pointee);
                           h.v.vt = VT_BYREF | VT_VARIANT;
                           h.v.pvarVal = &h.pointee;
                       }});
    }
    out.push_back({"BSTR(odd byte count)", [](holder& h) {
                       h.v.bstrVal = SysAllocStringByteLen("abc", 3);
                       h.v.vt = VT_BSTR;
                   }});
    out.push_back({"BYREF|I4(null pointer)", [](holder& h) {
                       h.v.vt = VT_BYREF | VT_I4;
                       h.v.byref = nullptr;
                   }});
    out.push_back({"BYREF|VARIANT(null pointer)", [](holder& h) {
                       h.v.vt = VT_BYREF | VT_VARIANT;
                       h.v.byref = nullptr;
                   }});
    out.push_back({"BYREF|VARIANT(BYREF|I4(3))", [](holder& h) {
                       make(v_int(VT_I4, 3), h.inner);
                       h.pointee.vt = VT_BYREF | VT_I4;
                       h.pointee.plVal = &h.inner.lVal;
                       h.v.vt = VT_BYREF | VT_VARIANT;
                       h.v.pvarVal = &h.pointee;
                   }});
    out.push_back({"BYREF|VARIANT(BYREF|VARIANT(I4(3)))", [](holder& h) {
                       make(v_int(VT_I4, 3), h.inner);
                       h.pointee.vt = VT_BYREF | VT_VARIANT;
                       h.pointee.pvarVal = &h.inner;
                       h.v.vt = VT_BYREF | VT_VARIANT;
                       h.v.pvarVal = &h.pointee;
                   }});
    for (VARTYPE vt : {VT_I4, VT_BSTR, VT_VARIANT}) {
        out.push_back({"ARRAY|" + vt_name(vt), [vt](holder& h) {
                           h.v.parray = vector_of(vt, 2);
                           h.v.vt = VT_ARRAY | vt;
                       }});
        out.push_back({"BYREF|ARRAY|" + vt_name(vt), [vt](holder& h) {
                           h.array = vector_of(vt, 2);
                           h.v.vt = VT_BYREF | VT_ARRAY | vt;
                           h.v.pparray = &h.array;
                       }});
    }
    out.push_back({"ARRAY|I4(null)", [](holder& h) {
                       h.v.parray = nullptr;
                       h.v.vt = VT_ARRAY | VT_I4;
                   }});
    out.push_back({"ARRAY|I4(locked)", [](holder& h) {
                       h.v.parray = vector_of(VT_I4, 1);
                       SafeArrayLock(h.v.parray);
                       h.v.vt = VT_ARRAY | VT_I4;
                   }});
    // Types without a valid variant: the value's bits are left alone.
    const VARTYPE odd_types[] = {VT_VARIANT, VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, 0x0FFF, 15,
                                 VT_BYREF | VT_EMPTY, VT_BYREF | VT_NULL, VT_I4 | 0x8000, VT_ARRAY | VT_EMPTY,
                                 VT_ARRAY | VT_BYREF | VT_I4, VT_CY, VT_DATE};
    for (VARTYPE odd : odd_types) {
        out.push_back({"vt " + hex(odd, 4), [odd](holder& h) {
                           std::memset(static_cast<void*>(&h.pointee), 0, sizeof(VARIANT));  // a reference reads zeros
                           h.v.llVal = 0;
                           if (odd & VT_BYREF) h.v.byref = &h.pointee;
                           h.v.vt = odd;
                       }});
    }
    return out;
}

// After the call: the result, and whether a reference still points where the source's did.
answer outcome(HRESULT hr, const VARIANT& result, const VARIANT& source) {
    answer a = of(hr, result);
    if ((result.vt & VT_BYREF) && result.byref && result.byref == source.byref) a.value += " (same pointer)";
    return a;
}

// The source's own storage must not be freed by the case once a locked array is left.
void unlock(holder& h) {
    if (h.v.vt == (VT_ARRAY | VT_I4) && h.v.parray && h.v.parray->cLocks) SafeArrayUnlock(h.v.parray);
}

// Frees what a value holds; one of a type the runtime refuses holds nothing and is forgotten.
void forget_odd(VARIANT& v) {
    if (VariantClear(&v) == DISP_E_BADVARTYPE) v.vt = VT_EMPTY;
}

}  // namespace

void add_variants(cases& out) {
    for (const shape& s : shapes()) {
        out.push_back({"VariantCopy " + s.name, [s] {
                           holder h;
                           s.build(h);
                           oa::unique_variant dst;
                           make(v_str(u"old"), dst);  // freed first
                           const HRESULT hr = VariantCopy(&dst, &h.v);
                           answer a = outcome(hr, dst, h.v);
                           forget_odd(dst);
                           unlock(h);
                           forget_odd(h.v);
                           return a;
                       }});
        out.push_back({"VariantCopy onto itself " + s.name, [s] {
                           holder h;
                           s.build(h);
                           const HRESULT hr = VariantCopy(&h.v, &h.v);
                           answer a = of(hr, h.v);
                           unlock(h);
                           forget_odd(h.v);
                           return a;
                       }});
        // The standard runtime follows a null reference without a check.
        const bool null_ref = s.name.find("null pointer") != std::string::npos;
        if (null_ref) {
            out.push_back({"VariantClear " + s.name, [s] {
                               holder h;
                               s.build(h);
                               return of(VariantClear(&h.v), h.v);
                           }});
            continue;
        }
        out.push_back({"VariantCopyInd " + s.name, [s] {
                           holder h;
                           s.build(h);
                           oa::unique_variant dst;
                           make(v_int(VT_I4, -12345), dst);
                           const HRESULT hr = VariantCopyInd(&dst, &h.v);
                           answer a = outcome(hr, dst, h.v);
                           forget_odd(dst);
                           unlock(h);
                           forget_odd(h.v);
                           return a;
                       }});
        out.push_back({"VariantCopyInd in place " + s.name, [s] {
                           holder h;
                           s.build(h);
                           const HRESULT hr = VariantCopyInd(&h.v, &h.v);
                           answer a = of(hr, h.v);
                           unlock(h);
                           forget_odd(h.v);
                           return a;
                       }});
        out.push_back({"VariantClear " + s.name, [s] {
                           holder h;
                           s.build(h);
                           const HRESULT hr = VariantClear(&h.v);
                           answer a = of(hr, h.v);
                           unlock(h);
                           forget_odd(h.v);
                           return a;
                       }});
    }
    out.push_back({"VariantCopy onto odd vt 0x0FFF", [] {
                       oa::unique_variant src, dst;
                       make(v_int(VT_I4, 1), src);
                       dst.vt = 0x0FFF;
                       const HRESULT hr = VariantCopy(&dst, &src);
                       answer a = of(hr, dst);
                       forget_odd(dst);
                       return a;
                   }});
    out.push_back({"VariantInit", [] {
                       VARIANT v;
                       v.vt = VT_I4;
                       v.wReserved1 = v.wReserved2 = v.wReserved3 = 7;
                       v.lVal = 5;
                       VariantInit(&v);
                       answer a = of(S_OK, v);
                       a.value = "reserved " + std::to_string(v.wReserved1) + std::to_string(v.wReserved2) +
                                 std::to_string(v.wReserved3) + " value " + std::to_string(v.lVal);
                       return a;
                   }});
}

}  // namespace conf
