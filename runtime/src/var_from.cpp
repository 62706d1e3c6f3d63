// The VarXxxFromYyy conversions on top of VariantChangeTypeEx's rules, VarBstrCat and
// DispGetParam.
#include "internal.h"

#include <oa/unique.h>

#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

using namespace oa_detail;

namespace {

template <class T> constexpr VARTYPE vt_of() {
    if constexpr (std::is_same_v<T, BYTE>) return VT_UI1;
    else if constexpr (std::is_same_v<T, CHAR>) return VT_I1;
    else if constexpr (std::is_same_v<T, SHORT>) return VT_I2;  // also VARIANT_BOOL: see below
    else if constexpr (std::is_same_v<T, USHORT>) return VT_UI2;
    else if constexpr (std::is_same_v<T, LONG>) return VT_I4;
    else if constexpr (std::is_same_v<T, ULONG>) return VT_UI4;
    else if constexpr (std::is_same_v<T, LONG64>) return VT_I8;
    else if constexpr (std::is_same_v<T, ULONG64>) return VT_UI8;
    else if constexpr (std::is_same_v<T, FLOAT>) return VT_R4;
    else if constexpr (std::is_same_v<T, DOUBLE>) return VT_R8;
    else if constexpr (std::is_same_v<T, BSTR>) return VT_BSTR;
    else static_assert(sizeof(T) == 0, "no scalar type");
}

// VARIANT_BOOL and SHORT are one C++ type: the name (Bool) tells them apart.
constexpr VARTYPE vt_named(const char* name, VARTYPE by_type) { return name[0] == 'B' && name[1] == 'o' ? VARTYPE(VT_BOOL) : by_type; }

// VarBstrFromBool writes a Boolean as its word, whatever the flags.
constexpr ULONG bool_words(const char* name) { return vt_named(name, VT_EMPTY) == VT_BOOL ? VARIANT_ALPHABOOL : 0; }

template <class In> VARIANT variant_of(VARTYPE vt, In value) {
    VARIANT v;
    VariantInit(&v);
    std::memcpy(&v.llVal, &value, sizeof value);
    v.vt = vt;
    return v;
}

template <class Out> HRESULT convert(const VARIANT& src, LCID lcid, ULONG flags, VARTYPE vt, Out* out) {
    if (!out) return E_INVALIDARG;
    VARIANT result;
    const HRESULT hr = coerce(src, lcid, static_cast<USHORT>(flags), vt, result);
    if (FAILED(hr)) return hr;
    std::memcpy(static_cast<void*>(out), &result.llVal, sizeof(Out));  // result owns nothing else
    return S_OK;
}

template <class Out> HRESULT from_text(OLECHAR* text, LCID lcid, ULONG flags, VARTYPE vt, Out* out) {
    if (!text) return DISP_E_TYPEMISMATCH;
    oa::unique_bstr copy(SysAllocString(text));
    if (!copy.get()) return E_OUTOFMEMORY;
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = copy.get();
    return convert(src, lcid, flags, vt, out);
}

template <class Out> HRESULT from_object(IDispatch* object, LCID lcid, ULONG flags, VARTYPE vt, Out* out) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_DISPATCH;
    src.pdispVal = object;  // read only: no reference taken
    return convert(src, lcid, flags, vt, out);
}

}  // namespace

template <class Out, class In> bool fits(In in) {
    using Wide = std::conditional_t<std::is_signed_v<In>, std::int64_t, std::uint64_t>;
    const Wide v = static_cast<Wide>(in);
    return std::cmp_greater_equal(v, static_cast<std::int64_t>(std::numeric_limits<Out>::min())) &&
           std::cmp_less_equal(v, static_cast<std::uint64_t>(std::numeric_limits<Out>::max()));
}

// Between two integer types a value must fit: unlike VariantChangeType, these functions read
// no bits of one type as the other of the same size.
template <class Out, class In> HRESULT scalar(In in, VARTYPE from, VARTYPE to, Out* out) {
    if constexpr (std::is_integral_v<In> && std::is_integral_v<Out>)
        if (from != VT_BOOL && to != VT_BOOL && !fits<Out>(in)) return DISP_E_OVERFLOW;
    return convert(variant_of(from, in), 0, 0, to, out);
}

#define OLEAUTO_DEFINE_VAR_FROM(T, Out, S, In)                                                    \
    STDAPI Var##T##From##S(In in, Out* out) {                                                    \
        return scalar(in, vt_named(#S, vt_of<In>()), vt_named(#T, vt_of<Out>()), out);           \
    }
#define OLEAUTO_DEFINE_VAR_FROM_TEXT(T, Out)                                                  \
    STDAPI Var##T##FromStr(OLECHAR* strIn, LCID lcid, ULONG dwFlags, Out* out) {             \
        return from_text(strIn, lcid, dwFlags, vt_named(#T, vt_of<Out>()), out);             \
    }                                                                                        \
    STDAPI Var##T##FromDisp(IDispatch* pdispIn, LCID lcid, Out* out) {                       \
        return from_object(pdispIn, lcid, 0, vt_named(#T, vt_of<Out>()), out);               \
    }                                                                                        \
    STDAPI VarBstrFrom##T(Out in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) {                \
        return convert(variant_of(vt_named(#T, vt_of<Out>()), in), lcid, dwFlags | bool_words(#T), VT_BSTR, pbstrOut); \
    }
OLEAUTO_VAR_FROM_PAIRS(OLEAUTO_DEFINE_VAR_FROM)
OLEAUTO_VAR_SCALARS(OLEAUTO_DEFINE_VAR_FROM_TEXT)

STDAPI VarBstrFromDisp(IDispatch* pdispIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) {
    return from_object(pdispIn, lcid, dwFlags, VT_BSTR, pbstrOut);
}

STDAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR* pbstrResult) {
    if (!pbstrResult) return E_INVALIDARG;
    const UINT left = SysStringByteLen(bstrLeft), right = SysStringByteLen(bstrRight);
    BSTR b = SysAllocStringByteLen(nullptr, left + right);
    if (!b) return E_OUTOFMEMORY;
    if (left) std::memcpy(b, bstrLeft, left);
    if (right) std::memcpy(reinterpret_cast<char*>(b) + left, bstrRight, right);
    *pbstrResult = b;
    return S_OK;
}

STDAPI DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg, VARIANT* pvarResult, UINT* puArgErr) {
    if (!pdispparams || !pvarResult) return E_INVALIDARG;
    const UINT named = pdispparams->cNamedArgs, count = pdispparams->cArgs;
    UINT index = count;  // not found
    for (UINT j = 0; j < named; ++j)
        if (pdispparams->rgdispidNamedArgs && pdispparams->rgdispidNamedArgs[j] == static_cast<DISPID>(position)) index = j;
    if (index == count && position < count - named) index = count - 1 - position;
    if (index == count) return DISP_E_PARAMNOTFOUND;
    VariantInit(pvarResult);
    const HRESULT hr = VariantChangeType(pvarResult, &pdispparams->rgvarg[index], 0, vtTarg);
    if (FAILED(hr) && puArgErr && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)) *puArgErr = index;
    return hr;
}
