// VariantChangeType(Ex): coercion between the automation value types, as the standard
// runtime does it (tests/conformance holds its answers). The result is built in a local
// VARIANT and moved into the destination only on success, so a failed conversion leaves
// the destination alone and in-place conversion is safe.
#include "internal.h"
#include "variant_types.h"

#include <oa/ascii.h>
#include <oa/unique.h>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

using namespace oa_detail;

namespace {

// A number on its way between two types.
struct Num {
    enum Kind { Signed, Unsigned, Double } kind = Signed;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    std::size_t width = 0;  // bytes of the integer type it came from; 0 for text
    bool truncates = false;  // a Boolean: its bits are cut to the target's width
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
    case VT_I4: case VT_INT: r = {INT32_MIN, INT32_MAX}; return true;
    case VT_UI4: case VT_UINT: r = {0, UINT32_MAX}; return true;
    case VT_I8: r = {INT64_MIN, INT64_MAX}; return true;
    case VT_UI8: r = {0, UINT64_MAX}; return true;
    default: return false;
    }
}

bool is_integer_type(VARTYPE vt) {
    IntRange r;
    return int_range(vt, r);
}
bool is_number_type(VARTYPE vt) { return is_integer_type(vt) || vt == VT_R4 || vt == VT_R8; }

Num num_of(const VARIANT& v) {
    Num n;
    n.width = value_size(v.vt);
    switch (v.vt) {
    case VT_I1: n.i = static_cast<std::int8_t>(v.bVal); break;
    case VT_UI1: n.i = v.bVal; break;
    case VT_I2: n.i = v.iVal; break;
    case VT_UI2: n.i = static_cast<USHORT>(v.iVal); break;
    case VT_I4: case VT_INT: n.i = v.lVal; break;
    case VT_UI4: case VT_UINT: n.i = static_cast<ULONG>(v.lVal); break;
    case VT_I8: n.i = v.llVal; break;
    case VT_UI8:
        n.kind = Num::Unsigned;
        n.u = static_cast<std::uint64_t>(v.llVal);
        break;
    case VT_R4: n.kind = Num::Double; n.d = v.fltVal; break;
    case VT_R8: n.kind = Num::Double; n.d = v.dblVal; break;
    case VT_BOOL:
        n.i = v.boolVal;
        n.truncates = true;
        break;
    default: break;
    }
    return n;
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
    IntRange r{};
    int_range(vt, r);
    // A Boolean is cut to the width; an integer of the same width is read as the
    // target's type, bit for bit; anything else must fit.
    const bool same_width = n.width && n.width == value_size(vt);
    switch (n.kind) {
    case Num::Signed:
        if (n.truncates || (n.i >= r.lo && (n.i < 0 || static_cast<std::uint64_t>(n.i) <= r.hi)) || same_width) {
            store_int(out, vt, static_cast<std::uint64_t>(n.i));
            return S_OK;
        }
        return DISP_E_OVERFLOW;
    case Num::Unsigned:
        if (n.u > r.hi && !same_width) return DISP_E_OVERFLOW;
        store_int(out, vt, n.u);
        return S_OK;
    case Num::Double: {
        if (std::isnan(n.d)) return DISP_E_OVERFLOW;  // no number at all
        const double x = round_half_even(n.d);
        // hi + 1 is a power of two, exact as a double even for 64-bit ranges; the
        // standard runtime keeps the lowest 64-bit value out as well.
        const double lo = static_cast<double>(r.lo);
        if (x < lo || (vt == VT_I8 && x <= lo) || x >= static_cast<double>(r.hi) + 1.0) return DISP_E_OVERFLOW;
        store_int(out, vt, x < 0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(x)) : static_cast<std::uint64_t>(x));
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

HRESULT store_r4(double d, VARIANT& out) {
    const float f = static_cast<float>(d);
    if (std::isinf(f)) return DISP_E_OVERFLOW;  // also an infinite source
    out.llVal = 0;
    out.fltVal = f;
    out.vt = VT_R4;
    return S_OK;
}

HRESULT num_to(const Num& n, VARTYPE vt, VARIANT& out) {
    switch (vt) {
    case VT_R8:
        out.llVal = 0;
        out.dblVal = num_to_double(n);
        out.vt = VT_R8;
        return S_OK;
    case VT_R4:
        return store_r4(num_to_double(n), out);
    case VT_BOOL:
        out.llVal = 0;
        out.boolVal = num_is_zero(n) ? VARIANT_FALSE : VARIANT_TRUE;
        out.vt = VT_BOOL;
        return S_OK;
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

// What a text holds: a decimal number, or the bits of a hexadecimal or octal one.
struct Parsed {
    Decimal dec;
    bool radix = false;
    std::uint64_t bits = 0;
};

bool is_digit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

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

// Reads a number as the standard runtime does in the English (United States) and the
// invariant locale: blanks around; a sign, parentheses and the currency symbol before or
// after it; thousands separators after the first digit; a fraction and an exponent; or
// &H / &O with hexadecimal or octal digits, whose sign is ignored. The text ends at a zero.
class number_reader {
public:
    number_reader(const OLECHAR* s, std::size_t n, LCID lcid) : s_(s), n_(n), currency_(oa_detail::currency_of(lcid)) {
        for (std::size_t k = 0; k < n_; ++k)
            if (!s_[k]) n_ = k;
    }

    bool read(Parsed& p) {
        bool plus = false, minus = false, paren = false, currency = false;
        skip_blanks();
        for (;;) {  // each of the leading marks at most once, in any order
            if (at(u'+') && !plus) plus = true;
            else if (at(u'-') && !minus) minus = true;
            else if (at(u'(') && !paren) paren = true;
            else if (at(currency_) && !currency) currency = true;
            else break;
            ++i_;
            skip_blanks();
        }
        if (at(u'&') && i_ + 1 < n_) {
            if (!read_radix(p)) return false;
        } else if (!read_decimal(p.dec)) {
            return false;
        }
        bool closed = false;
        skip_blanks();
        for (;;) {
            if (at(u')') && paren && !closed) closed = true;
            else if (at(u'-') && !minus) minus = true;
            else if (at(u'+') && !plus) plus = true;
            else if (at(currency_) && !currency) currency = true;
            else break;
            ++i_;
            skip_blanks();
        }
        if (i_ != n_ || paren != closed) return false;
        p.dec.neg = minus || paren;
        return true;
    }
    // Hexadecimal or octal digits beyond 64 bits.
    bool overflowed() const { return overflow_; }

private:
    bool at(OLECHAR c) const { return i_ < n_ && s_[i_] == c; }
    void skip_blanks() {
        while (i_ < n_ && oa_detail::is_blank(s_[i_])) ++i_;
    }

    bool read_radix(Parsed& p) {
        const OLECHAR kind = s_[i_ + 1];
        int shift;
        if (kind == u'H' || kind == u'h') shift = 4;
        else if (kind == u'O' || kind == u'o') shift = 3;
        else return false;
        i_ += 2;
        const std::size_t start = i_;
        std::uint64_t v = 0;
        for (; i_ < n_; ++i_) {
            int digit;
            const OLECHAR c = s_[i_];
            if (c >= u'0' && c <= u'7') digit = c - u'0';
            else if (shift == 4 && (c == u'8' || c == u'9')) digit = c - u'0';
            else if (shift == 4 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
            else if (shift == 4 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
            else break;
            // The standard runtime's bound: a digit that could carry out of 64 bits overflows.
            if (v > (UINT64_MAX >> shift) - static_cast<unsigned>(digit)) {
                overflow_ = true;
                v = 0;
            }
            v = (v << shift) + static_cast<unsigned>(digit);
        }
        p.radix = true;
        p.bits = v;
        return i_ > start;
    }

    bool read_decimal(Decimal& d) {
        bool any = false, point = false;
        auto take = [&](OLECHAR c) {
            any = true;
            if (d.count == 0 && c == u'0') {
                if (point) --d.exp;
                return;
            }
            if (d.count < Decimal::kMaxDigits) {
                d.digits[d.count++] = static_cast<char>(c);
                if (point) --d.exp;
            } else {
                if (c != u'0') d.sticky = true;
                if (!point) ++d.exp;
            }
        };
        for (; i_ < n_; ++i_) {
            const OLECHAR c = s_[i_];
            if (is_digit(c)) take(c);
            else if (c == u',' && any) continue;  // thousands separator
            else if (c == u'.' && !point) point = true;
            else break;
        }
        if (!any) return false;
        if (at(u'e') || at(u'E')) {
            ++i_;
            bool eneg = false;
            if (at(u'+') || at(u'-')) eneg = s_[i_++] == u'-';
            if (i_ >= n_ || !is_digit(s_[i_])) return false;
            long e = 0;
            for (; i_ < n_ && is_digit(s_[i_]); ++i_)
                if (e < 100000) e = e * 10 + (s_[i_] - u'0');
            d.exp += eneg ? -e : e;
        }
        return true;
    }

    const OLECHAR* s_;
    std::size_t n_;
    std::size_t i_ = 0;
    OLECHAR currency_;
    bool overflow_ = false;
};

// A hexadecimal or octal number into a type: integer types read the bits in their own
// width (so &HFFFF is -1 as I2), the others take values up to &H80000000 as a Long.
HRESULT radix_to(std::uint64_t v, VARTYPE vt, VARIANT& out) {
    IntRange r;
    if (int_range(vt, r)) {
        const std::size_t width = value_size(vt);
        const std::uint64_t max = width == 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * width)) - 1;
        if (v > max) return DISP_E_OVERFLOW;
        store_int(out, vt, v);
        return S_OK;
    }
    if (v > 0x80000000u) return DISP_E_OVERFLOW;
    Num n;
    n.i = v == 0x80000000u ? INT32_MIN : static_cast<std::int64_t>(v);
    return num_to(n, vt, out);
}

bool equals_nocase(const OLECHAR* s, std::size_t n, const char* word) {
    return oa::same_ascii_case(std::u16string_view(s, n), word);
}

bool equals(const OLECHAR* s, std::size_t n, const char* word) {
    const std::size_t len = std::strlen(word);
    if (n != len) return false;
    for (std::size_t k = 0; k < len; ++k)
        if (s[k] != static_cast<OLECHAR>(word[k])) return false;
    return true;
}

HRESULT make_bool(bool b, VARIANT& out) {
    out.llVal = 0;
    out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    out.vt = VT_BOOL;
    return S_OK;
}

HRESULT text_to(BSTR text, LCID lcid, VARTYPE vt, VARIANT& out) {
    const std::size_t n = SysStringLen(text);
    if (vt == VT_BOOL) {
        // The words in any case, or the literals of the VB language; without blanks.
        if (equals_nocase(text, n, "true") || equals(text, n, "#TRUE#")) return make_bool(true, out);
        if (equals_nocase(text, n, "false") || equals(text, n, "#FALSE#")) return make_bool(false, out);
    }
    Parsed p;
    number_reader reader(text, n, lcid);
    if (!text || !reader.read(p)) return DISP_E_TYPEMISMATCH;
    if (reader.overflowed()) return DISP_E_OVERFLOW;
    if (p.radix) return radix_to(p.bits, vt, out);
    const Decimal& d = p.dec;
    if (vt == VT_R8 || vt == VT_R4 || vt == VT_BOOL) {
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
    OLECHAR wide[64] = {};
    for (std::size_t k = 0; k < n; ++k) wide[k] = static_cast<OLECHAR>(s[k]);
    BSTR b = SysAllocStringLen(wide, static_cast<UINT>(n));
    if (!b) return E_OUTOFMEMORY;
    out.llVal = 0;
    out.bstrVal = b;
    out.vt = VT_BSTR;
    return S_OK;
}

HRESULT make_text(const char* s, VARIANT& out) { return make_text(s, std::strlen(s), out); }

HRESULT float_text(double x, int precision, VARIANT& out) {
    if (std::isnan(x)) return make_text(std::signbit(x) ? "-NAN(IND)" : "NAN", out);
    if (std::isinf(x)) return make_text(x < 0 ? "-INF" : "INF", out);
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
    case VT_R8:
        return float_text(v.dblVal, 15, out);
    case VT_R4:
        return float_text(v.fltVal, 7, out);
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) return make_text(v.boolVal ? "True" : "False", out);
        [[fallthrough]];
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
        const HRESULT hr = unk->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
        if (FAILED(hr)) return hr;
        out.punkVal = static_cast<IUnknown*>(p);
        return S_OK;
    }
    if (vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    // Only an automation object has a default value; an IUnknown is not asked for one.
    if (src.vt == VT_UNKNOWN || (flags & VARIANT_NOVALUEPROP)) {
        if (vt == VT_EMPTY || vt == VT_NULL) {
            if (src.vt == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
            VariantInit(&out);
            out.vt = vt;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {  // the value is discarded unread
        VariantInit(&out);
        out.vt = vt;
        return S_OK;
    }
    if (!unk) return DISP_E_BADVARTYPE;
    if (depth > 4) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    oa::unique_variant value;
    if (FAILED(src.pdispVal->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)))
        return DISP_E_TYPEMISMATCH;
    return change(value, lcid, flags, vt, out, depth + 1);
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

// Which types the runtime converts to; a reference, an array or a variant is no value to
// convert to (DISP_E_TYPEMISMATCH), other types are unknown (DISP_E_BADVARTYPE).
HRESULT check_target(VARTYPE vt) {
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return DISP_E_BADVARTYPE;
    if ((vt & (VT_ARRAY | VT_BYREF)) || vt == VT_VARIANT) return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_BOOL: case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: case VT_ERROR:
        return S_OK;
    default:
        return is_number_type(vt) ? S_OK : DISP_E_BADVARTYPE;
    }
}

HRESULT discard(VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    out.vt = vt;
    return S_OK;
}

HRESULT change(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out, int depth) {
    VARIANT v;
    HRESULT hr = view_of(src, v);
    if (FAILED(hr)) return hr;
    hr = check_target(vt);
    if (FAILED(hr)) return hr;
    if (v.vt == vt) {
        hr = copy_value(&out, &v);
        if (SUCCEEDED(hr) && vt == VT_BSTR && !out.bstrVal) {  // a null text copies as the empty one
            out.bstrVal = SysAllocStringLen(nullptr, 0);
            if (!out.bstrVal) return E_OUTOFMEMORY;
        }
        return hr;
    }
    if (v.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    const bool to_nothing = vt == VT_EMPTY || vt == VT_NULL;
    switch (v.vt) {
    case VT_NULL:
    case VT_ERROR:  // converts to nothing but itself
        return DISP_E_TYPEMISMATCH;
    case VT_VARIANT:  // no value: it may only be discarded
        return to_nothing ? discard(vt, out) : DISP_E_TYPEMISMATCH;
    case VT_EMPTY:
        if (to_nothing) return discard(vt, out);
        if (vt == VT_BSTR) return to_text(v, flags, out);
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
        return num_to(Num{}, vt, out);
    case VT_BSTR:
        if (to_nothing) return discard(vt, out);
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
        return text_to(v.bstrVal, lcid, vt, out);
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return object_to(v, lcid, flags, vt, out, depth);
    default:
        if (v.vt != VT_BOOL && !is_number_type(v.vt)) return DISP_E_BADVARTYPE;
        if (to_nothing) return discard(vt, out);
        if (vt == VT_BSTR) return to_text(v, flags, out);
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
        return num_to(num_of(v), vt, out);
    }
}

}  // namespace

namespace oa_detail {

bool is_blank(OLECHAR c) {
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

OLECHAR currency_of(LCID lcid) { return lcid == LOCALE_INVARIANT ? u'\u00A4' : u'$'; }

HRESULT coerce(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    return change(src, lcid, flags, vt, out, 0);
}

}  // namespace oa_detail

STDAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!is_valid_vartype(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT result;
    HRESULT hr = coerce(*pvarSrc, lcid, wFlags, vt, result);
    if (FAILED(hr)) return hr;
    result.wReserved1 = result.wReserved2 = result.wReserved3 = 0;
    return assign(pvargDest, &result);
}

STDAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
