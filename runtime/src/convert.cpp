// VariantChangeType(Ex): coercion between the automation value types.
// The result is built in a local VARIANT and moved into the destination only on success,
// so a failed conversion leaves the destination alone and in-place conversion is safe.
#include "internal.h"
#include "variant_types.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

using namespace oa_detail;

namespace {

// A number on its way between two types.
struct Num {
    enum Kind { Signed, Unsigned, Double } kind;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    bool wraps = false;  // a Boolean: stored by truncation into unsigned types (True is all ones)
};

struct IntRange {
    std::int64_t lo;
    std::uint64_t hi;
};

bool int_range(VARTYPE vt, IntRange& r) {
    switch (vt) {
    case VT_I1: r = {INT8_MIN, INT8_MAX}; return true;
    case VT_UI1: r = {0, UINT8_MAX}; return true;
    case VT_I2: r = {INT16_MIN, INT16_MAX}; return true;
    case VT_UI2: r = {0, UINT16_MAX}; return true;
    case VT_I4: case VT_INT: case VT_ERROR: r = {INT32_MIN, INT32_MAX}; return true;
    case VT_UI4: case VT_UINT: r = {0, UINT32_MAX}; return true;
    case VT_I8: r = {INT64_MIN, INT64_MAX}; return true;
    case VT_UI8: r = {0, UINT64_MAX}; return true;
    default: return false;
    }
}

bool is_number_type(VARTYPE vt) {
    IntRange r;
    return (int_range(vt, r) && vt != VT_ERROR) || vt == VT_R4 || vt == VT_R8;
}

Num num_of(const VARIANT& v) {
    switch (v.vt) {
    case VT_I1: return {Num::Signed, static_cast<std::int8_t>(v.bVal)};
    case VT_UI1: return {Num::Signed, v.bVal};
    case VT_I2: return {Num::Signed, v.iVal};
    case VT_UI2: return {Num::Signed, static_cast<USHORT>(v.iVal)};
    case VT_I4: case VT_INT: case VT_ERROR: return {Num::Signed, v.lVal};
    case VT_UI4: case VT_UINT: return {Num::Signed, static_cast<ULONG>(v.lVal)};
    case VT_I8: return {Num::Signed, v.llVal};
    case VT_UI8: return {Num::Unsigned, 0, static_cast<std::uint64_t>(v.llVal)};
    case VT_R4: return {Num::Double, 0, 0, v.fltVal};
    case VT_R8: return {Num::Double, 0, 0, v.dblVal};
    case VT_BOOL: return {Num::Signed, v.boolVal ? -1 : 0, 0, 0, true};
    default: return {Num::Signed};
    }
}

// Rounds half to even, independent of the floating-point environment.
double round_half_even(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

void store_int(VARIANT& out, VARTYPE vt, std::uint64_t bits) {
    out.llVal = 0;
    switch (value_size(vt)) {
    case 1: out.bVal = static_cast<BYTE>(bits); break;
    case 2: out.iVal = static_cast<SHORT>(bits); break;
    case 4: out.lVal = static_cast<LONG>(bits); break;
    default: out.llVal = static_cast<LONGLONG>(bits); break;
    }
    out.vt = vt;
}

HRESULT num_to_int(const Num& n, VARTYPE vt, VARIANT& out) {
    IntRange r;
    int_range(vt, r);
    if (n.wraps && r.lo == 0) {  // Boolean into an unsigned type
        store_int(out, vt, static_cast<std::uint64_t>(n.i));
        return S_OK;
    }
    switch (n.kind) {
    case Num::Signed:
        if (n.i < r.lo || (n.i > 0 && static_cast<std::uint64_t>(n.i) > r.hi)) return DISP_E_OVERFLOW;
        store_int(out, vt, static_cast<std::uint64_t>(n.i));
        return S_OK;
    case Num::Unsigned:
        if (n.u > r.hi) return DISP_E_OVERFLOW;
        store_int(out, vt, n.u);
        return S_OK;
    case Num::Double: {
        if (std::isnan(n.d)) return DISP_E_OVERFLOW;
        const double x = round_half_even(n.d);
        // hi + 1 is a power of two, exact as a double even for 64-bit ranges.
        if (x < static_cast<double>(r.lo) || x >= static_cast<double>(r.hi) + 1.0) return DISP_E_OVERFLOW;
        if (x < 0)
            store_int(out, vt, static_cast<std::uint64_t>(static_cast<std::int64_t>(x)));
        else
            store_int(out, vt, static_cast<std::uint64_t>(x));
        return S_OK;
    }
    }
    return E_UNEXPECTED;
}

double num_to_double(const Num& n) {
    switch (n.kind) {
    case Num::Signed: return static_cast<double>(n.i);
    case Num::Unsigned: return static_cast<double>(n.u);
    default: return n.d;
    }
}

bool num_is_zero(const Num& n) { return n.kind == Num::Double ? n.d == 0 : (n.kind == Num::Signed ? n.i == 0 : n.u == 0); }

HRESULT num_to(const Num& n, VARTYPE vt, VARIANT& out) {
    switch (vt) {
    case VT_R8:
        out.llVal = 0;
        out.dblVal = num_to_double(n);
        out.vt = VT_R8;
        return S_OK;
    case VT_R4: {
        const double d = num_to_double(n);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
        out.llVal = 0;
        out.fltVal = static_cast<float>(d);
        out.vt = VT_R4;
        return S_OK;
    }
    case VT_BOOL:
        out.llVal = 0;
        out.boolVal = num_is_zero(n) ? VARIANT_FALSE : VARIANT_TRUE;
        out.vt = VT_BOOL;
        return S_OK;
    case VT_ERROR:
        if (n.kind == Num::Double || n.wraps) return DISP_E_TYPEMISMATCH;
        return num_to_int(n, vt, out);
    default:
        return num_to_int(n, vt, out);
    }
}

// ---- text to number ---------------------------------------------------------------

// A decimal number read from text: value = digits * 10^exp, sign apart.
struct Decimal {
    static constexpr int kMaxDigits = 40;
    bool neg = false;
    char digits[kMaxDigits];
    int count = 0;        // significant digits kept, no leading zeros
    long exp = 0;
    bool sticky = false;  // a nonzero digit beyond those kept
};

bool is_blank(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool is_digit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

bool parse_decimal(const OLECHAR* s, std::size_t n, Decimal& d) {
    std::size_t i = 0;
    while (i < n && is_blank(s[i])) ++i;
    while (n > i && is_blank(s[n - 1])) --n;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) d.neg = s[i++] == u'-';
    bool any = false;
    auto take = [&](OLECHAR c, bool fraction) {
        any = true;
        if (d.count == 0 && c == u'0') {
            if (fraction) --d.exp;
            return;
        }
        if (d.count < Decimal::kMaxDigits) {
            d.digits[d.count++] = static_cast<char>(c);
            if (fraction) --d.exp;
        } else {
            if (c != u'0') d.sticky = true;
            if (!fraction) ++d.exp;
        }
    };
    while (i < n && is_digit(s[i])) take(s[i++], false);
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && is_digit(s[i])) take(s[i++], true);
    }
    if (!any) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        ++i;
        bool eneg = false;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) eneg = s[i++] == u'-';
        if (i >= n || !is_digit(s[i])) return false;
        long e = 0;
        while (i < n && is_digit(s[i])) {
            if (e < 100000) e = e * 10 + (s[i] - u'0');
            ++i;
        }
        d.exp += eneg ? -e : e;
    }
    return i == n;
}

// Rounds half to even to an integer; false when the magnitude exceeds 64 bits.
bool decimal_to_integer(const Decimal& d, std::uint64_t& mag) {
    mag = 0;
    if (d.count == 0) return true;
    const long int_digits = d.count + d.exp;
    if (int_digits > 20) return false;
    for (long k = 0; k < int_digits; ++k) {
        const unsigned digit = k < d.count ? static_cast<unsigned>(d.digits[k] - '0') : 0;
        if (mag > (UINT64_MAX - digit) / 10) return false;
        mag = mag * 10 + digit;
    }
    // Fraction: digits from index int_digits (may be negative: leading zeros of the fraction).
    const long first = int_digits;
    int first_digit = 0;
    bool rest_nonzero = d.sticky;
    if (first >= 0 && first < d.count) {
        first_digit = d.digits[first] - '0';
        for (long k = first + 1; k < d.count; ++k) rest_nonzero |= d.digits[k] != '0';
    } else if (first < 0) {
        rest_nonzero = true;  // all digits lie below the first fraction place, and one is nonzero
        first_digit = 0;
    }
    const bool up = first_digit > 5 || (first_digit == 5 && (rest_nonzero || (mag & 1)));
    if (up) {
        if (mag == UINT64_MAX) return false;
        ++mag;
    }
    return true;
}

HRESULT decimal_to_double(const Decimal& d, double& out) {
    if (d.count == 0) {
        out = d.neg ? -0.0 : 0.0;
        return S_OK;
    }
    char buf[Decimal::kMaxDigits + 32];
    char* p = buf;
    if (d.neg) *p++ = '-';
    std::memcpy(p, d.digits, d.count);
    p += d.count;
    if (d.sticky) *p++ = '1';  // keeps the direction of rounding
    *p++ = 'e';
    p = std::to_chars(p, buf + sizeof buf, d.exp - (d.sticky ? 1 : 0)).ptr;
    auto [end, ec] = std::from_chars(buf, p, out);
    if (ec == std::errc::result_out_of_range) {
        if (d.count + d.exp <= 0) {  // too small: underflows to zero
            out = d.neg ? -0.0 : 0.0;
            return S_OK;
        }
        return DISP_E_OVERFLOW;
    }
    if (ec != std::errc() || end != p) return DISP_E_TYPEMISMATCH;
    return S_OK;
}

bool equals_nocase(const OLECHAR* s, std::size_t n, const char* word) {
    std::size_t i = 0;
    while (i < n && is_blank(s[i])) ++i;
    while (n > i && is_blank(s[n - 1])) --n;
    const std::size_t len = std::strlen(word);
    if (n - i != len) return false;
    for (std::size_t k = 0; k < len; ++k) {
        OLECHAR c = s[i + k];
        if (c >= u'A' && c <= u'Z') c = static_cast<OLECHAR>(c - u'A' + u'a');
        if (c != static_cast<OLECHAR>(word[k])) return false;
    }
    return true;
}

HRESULT text_to(BSTR text, VARTYPE vt, VARIANT& out) {
    const std::size_t n = SysStringLen(text);
    if (vt == VT_BOOL) {
        const bool t = equals_nocase(text, n, "true");
        if (t || equals_nocase(text, n, "false")) {
            out.llVal = 0;
            out.boolVal = t ? VARIANT_TRUE : VARIANT_FALSE;
            out.vt = VT_BOOL;
            return S_OK;
        }
    }
    Decimal d;
    if (!parse_decimal(text, n, d)) return DISP_E_TYPEMISMATCH;
    if (vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (vt == VT_BOOL) {
        out.llVal = 0;
        out.boolVal = d.count ? VARIANT_TRUE : VARIANT_FALSE;
        out.vt = VT_BOOL;
        return S_OK;
    }
    if (vt == VT_R8 || vt == VT_R4) {
        Num num{Num::Double};
        HRESULT hr = decimal_to_double(d, num.d);
        if (FAILED(hr)) return hr;
        return num_to(num, vt, out);
    }
    std::uint64_t mag;
    if (!decimal_to_integer(d, mag)) return DISP_E_OVERFLOW;
    Num num{Num::Unsigned, 0, mag};
    if (d.neg && mag) {
        if (mag > static_cast<std::uint64_t>(INT64_MAX) + 1) return DISP_E_OVERFLOW;
        num.kind = Num::Signed;
        num.i = static_cast<std::int64_t>(0 - mag);
    }
    return num_to_int(num, vt, out);
}

// ---- number to text -----------------------------------------------------------------

HRESULT make_text(const char* s, std::size_t n, VARIANT& out) {
    OLECHAR wide[64];
    for (std::size_t k = 0; k < n; ++k) wide[k] = static_cast<OLECHAR>(s[k]);
    BSTR b = n ? SysAllocStringLen(wide, static_cast<UINT>(n)) : SysAllocStringLen(u"", 0);
    if (!b) return E_OUTOFMEMORY;
    out.llVal = 0;
    out.bstrVal = b;
    out.vt = VT_BSTR;
    return S_OK;
}

HRESULT float_text(double x, int precision, VARIANT& out) {
    if (x == 0) x = 0;  // -0 reads "0"
    char buf[48];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, precision);
    if (ec != std::errc()) return E_UNEXPECTED;
    for (char* p = buf; p != end; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return make_text(buf, static_cast<std::size_t>(end - buf), out);
}

HRESULT to_text(const VARIANT& v, USHORT flags, VARIANT& out) {
    char buf[32];
    switch (v.vt) {
    case VT_EMPTY:
        return make_text("", 0, out);
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
            return v.boolVal ? make_text("True", 4, out) : make_text("False", 5, out);
        }
        return v.boolVal ? make_text("-1", 2, out) : make_text("0", 1, out);
    case VT_R8:
        return float_text(v.dblVal, 15, out);
    case VT_R4:
        return float_text(v.fltVal, 7, out);
    default: {
        const Num n = num_of(v);
        auto r = n.kind == Num::Unsigned ? std::to_chars(buf, buf + sizeof buf, n.u) : std::to_chars(buf, buf + sizeof buf, n.i);
        return make_text(buf, static_cast<std::size_t>(r.ptr - buf), out);
    }
    }
}

// ---- objects ---------------------------------------------------------------------

HRESULT change(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out, int depth);

HRESULT object_to(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out, int depth) {
    IUnknown* unk = src.punkVal;
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        out.llVal = 0;
        out.vt = vt;
        if (!unk) return S_OK;
        void* p = nullptr;
        if (FAILED(unk->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p))) return DISP_E_TYPEMISMATCH;
        out.punkVal = static_cast<IUnknown*>(p);
        return S_OK;
    }
    // Anything else reads the object's default value.
    if ((flags & VARIANT_NOVALUEPROP) || !unk || depth > 4) return DISP_E_TYPEMISMATCH;
    Ref<IDispatch> disp;
    if (src.vt == VT_DISPATCH) {
        unk->AddRef();
        disp.reset(src.pdispVal);
    } else if (FAILED(unk->QueryInterface(IID_IDispatch, disp.put_void()))) {
        return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Var value;
    if (FAILED(disp->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value.v, nullptr, nullptr)))
        return DISP_E_TYPEMISMATCH;
    return change(value.v, lcid, flags, vt, out, depth + 1);
}

// Reads through a reference: a shallow, non-owning view of the value.
HRESULT view_of(const VARIANT& src, VARIANT& view) {
    std::memcpy(static_cast<void*>(&view), &src, sizeof view);
    if (!(src.vt & VT_BYREF)) return S_OK;
    if (!src.byref) return DISP_E_TYPEMISMATCH;
    const VARTYPE base = src.vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        const VARIANT& inner = *src.pvarVal;
        if (inner.vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
        return view_of(inner, view);
    }
    const std::size_t size = value_size(base);
    if (!size || base == VT_DECIMAL) return DISP_E_BADVARTYPE;
    view.llVal = 0;
    std::memcpy(&view.llVal, src.byref, size);
    view.vt = base;
    return S_OK;
}

bool is_target(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_BOOL: case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: case VT_ERROR:
        return true;
    default:
        return is_number_type(vt);
    }
}

HRESULT change(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out, int depth) {
    VARIANT v;
    HRESULT hr = view_of(src, v);
    if (FAILED(hr)) return hr;
    if (v.vt == vt) return copy_value(&out, &v);
    if (vt & (VT_ARRAY | VT_BYREF)) return (vt & VT_BYREF) ? DISP_E_BADVARTYPE : DISP_E_TYPEMISMATCH;
    if (!is_target(vt)) return DISP_E_BADVARTYPE;
    if (v.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY || vt == VT_NULL) {  // the value is discarded
        VariantInit(&out);
        out.vt = vt;
        return S_OK;
    }
    switch (v.vt) {
    case VT_NULL:
        return DISP_E_TYPEMISMATCH;
    case VT_EMPTY:
        if (vt == VT_BSTR) return to_text(v, flags, out);
        if (vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            VariantInit(&out);
            out.punkVal = nullptr;
            out.vt = vt;
            return S_OK;
        }
        return num_to(Num{Num::Signed}, vt, out);
    case VT_ERROR:
        return DISP_E_TYPEMISMATCH;  // an error value converts to nothing but itself
    case VT_BSTR:
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
        return text_to(v.bstrVal, vt, out);
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return object_to(v, lcid, flags, vt, out, depth);
    case VT_BOOL:
        if (vt == VT_BSTR) return to_text(v, flags, out);
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
        return num_to(num_of(v), vt, out);
    default:
        if (!is_number_type(v.vt)) return DISP_E_BADVARTYPE;
        if (vt == VT_BSTR) return to_text(v, flags, out);
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
        return num_to(num_of(v), vt, out);
    }
}

}  // namespace

STDAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!is_valid_vartype(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = change(*pvarSrc, lcid, wFlags, vt, result, 0);
    if (FAILED(hr)) return hr;
    result.wReserved1 = result.wReserved2 = result.wReserved3 = 0;
    return assign(pvargDest, &result);
}

STDAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
