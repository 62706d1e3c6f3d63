// VariantChangeType(Ex): every pair of the supported types, both directions, with edge values,
// texts in many forms, the Boolean flags and three locales.
#include "conformance.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace conf {

namespace {

constexpr VARTYPE targets[] = {VT_EMPTY, VT_NULL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8,
                               VT_INT, VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_BSTR, VT_DISPATCH, VT_UNKNOWN, VT_ERROR};
constexpr VARTYPE odd_targets[] = {VT_VARIANT, VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, VT_ARRAY | VT_I4,
                                   VT_BYREF | VT_I4, 0x0FFF, VT_I4 | 0x8000};
constexpr LCID en_us = 0x0409, invariant = 0x007F;
constexpr LCID locales[] = {en_us, invariant, LOCALE_USER_DEFAULT};
constexpr USHORT flag_sets[] = {0, VARIANT_ALPHABOOL, VARIANT_LOCALBOOL, VARIANT_ALPHABOOL | VARIANT_LOCALBOOL,
                                VARIANT_NOVALUEPROP};

std::string flags_text(USHORT f) {
    if (!f) return "0";
    std::string s;
    auto add = [&](USHORT bit, const char* name) {
        if (f & bit) s += (s.empty() ? "" : "|") + std::string(name);
    };
    add(VARIANT_NOVALUEPROP, "NOVALUEPROP");
    add(VARIANT_ALPHABOOL, "ALPHABOOL");
    add(VARIANT_LOCALBOOL, "LOCALBOOL");
    return s;
}

// Ids name flags and locale only where they are not 0 and English (United States).
std::string case_id(const std::string& from, VARTYPE to, USHORT flags, LCID lcid) {
    return "VariantChangeTypeEx " + from + " to " + vt_name(to) + (flags ? " flags=" + flags_text(flags) : "") +
           (lcid != en_us ? " lcid=" + hex(lcid, 4) : "");
}

// A destination that a failed conversion must leave alone.
void sentinel(VARIANT& v) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = -12345;
}

void add(cases& out, const val& from, VARTYPE to, USHORT flags, LCID lcid) {
    out.push_back({case_id(label(from), to, flags, lcid), [from, to, flags, lcid] {
                       oa::unique_variant src, dst;
                       make(from, src);
                       sentinel(dst);
                       const HRESULT hr = VariantChangeTypeEx(&dst, &src, lcid, flags, to);
                       return of(hr, dst);
                   }});
}

// ---- sources -----------------------------------------------------------------------

std::vector<val> integer_sources() {
    const std::int64_t i32max = INT32_MAX, i32min = INT32_MIN, u32max = UINT32_MAX;
    const std::int64_t edges[] = {0, 1, -1, 2, 127, 128, -128, -129, 255, 256, 32767, 32768, -32768, -32769, 65535,
                                  65536, i32max, i32max + 1, i32min, i32min - 1, u32max, u32max + 1, INT64_MAX,
                                  INT64_MIN};
    std::vector<val> out;
    for (VARTYPE vt : integer_types) {
        std::int64_t lo;
        std::uint64_t hi;
        range_of(vt, lo, hi);
        const bool brief = vt == VT_INT || vt == VT_UINT;  // the same values as I4 and UI4
        for (std::int64_t e : edges) {
            if (e < lo || (e > 0 && static_cast<std::uint64_t>(e) > hi)) continue;
            if (brief && e != 0 && e != -1 && e != 1 && e != lo && static_cast<std::uint64_t>(e) != hi) continue;
            out.push_back(v_int(vt, e));
        }
        if (vt == VT_UI8) {
            out.push_back(v_int(vt, static_cast<std::int64_t>(0x8000000000000000ull)));
            out.push_back(v_int(vt, -1));  // the largest
        }
    }
    return out;
}

std::vector<val> real_sources() {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<val> out;
    const double r8[] = {0, -0.0, 1, -1, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994, 0.1, 1.0 / 3,
                         2.0 / 3, 127.5, 128.5, -128.5, -129.5, 255.5, 256.5, -0.6, 32767.5, -32768.5, 32768,
                         -32769, 65535.5, 65536, 2147483647.5, -2147483648.5, 2147483648.0, -2147483649.0,
                         4294967295.5, 4294967296.0, 9223372036854775807.0, -9223372036854775808.0,
                         18446744073709551615.0, 1e15, 1e16, 123456789012345678.0, 1e-5, 0.0001, 1e20, 1e300, -1e300,
                         1e-300, 4.9e-324, FLT_MAX, 3.5e38, DBL_MAX, nan, -nan, inf, -inf};
    for (double d : r8) out.push_back(v_real(VT_R8, d));
    const double r4[] = {0, -0.0, 1, -1, 0.5, 1.5, 2.5, -0.5, 127.5, 255.5, 32767.5, 16777216, 1e10, 3.4e38, 1e-10,
                         0.1, 1.0 / 3, 1e20, nan, inf, -inf};
    for (double d : r4) out.push_back(v_real(VT_R4, d));
    return out;
}

std::vector<std::u16string> texts() {
    return {u"0", u"1", u"-1", u"+1", u" 12 ", u"\t12\t", u"12 ", u" 12", u"1 2", u"", u" ", u"abc", u"12abc",
            u"12.5", u"13.5", u"-12.5", u"0.5", u"1.5", u"2.5", u"-0.5", u"-1.5", u"1e3", u"1E3", u"1e+3", u"1.5e1",
            u"1e-3", u"1d2", u"1e", u"e1", u".5", u"5.", u"-.5", u".", u"-", u"+", u"1,000", u"1,2", u",5",
            u"1,000.5", u"$5", u"\u00A45", u"(5)", u"5-", u"5+", u"- 5", u"+-5", u"--5", u"&H10", u"&h10", u"&HFF",
            u"&HFFFF", u"&HFFFFFFFF", u"&H7FFFFFFF", u"&H80000000", u"&H100000000", u"&HFFFFFFFFFFFFFFFF", u"-&H10",
            u"&O17", u"&o17", u"&17", u"&O", u"&H", u"&HG", u"&O8", u"0x10", u"&B101", u"127", u"128", u"-128",
            u"-129", u"255", u"256", u"32767", u"32768", u"-32768", u"-32769", u"65535", u"65536", u"2147483647",
            u"2147483648", u"-2147483648", u"-2147483649", u"4294967295", u"4294967296", u"9223372036854775807",
            u"9223372036854775808", u"-9223372036854775808", u"-9223372036854775809", u"18446744073709551615",
            u"18446744073709551616", u"1e308", u"1e309", u"-1e309", u"1e-400", u"3.4028235e38", u"3.5e38",
            u"1.23456789012345678", u"0.1", u"123456789012345678901234567890", u"00012", u"-0", u"0.0", u"NaN",
            u"Infinity", u"True", u"False", u"true", u"FALSE", u" True ", u"#TRUE#", u"#FALSE#", u"#True#",
            u"#false#", u"# TRUE #", u"#TRUE", u"Yes", u"On", u"\u00A012", u"12\u00A0", u"\uFF11\uFF12",
            u"\u0661\u0662", std::u16string(u"1\0" u"2", 3),
            // Hexadecimal and octal around each width.
            u"&H7F", u"&H80", u"&H100", u"&H7FFF", u"&H8000", u"&H10000", u"&H7FFFFFFFFFFFFFFF",
            u"&H8000000000000000", u"&HFFFFFFFF0", u" &H10 ", u"&H 10", u"&H10.5", u"+&H10", u"&H-10", u"(&H10)",
            u"&H10-", u"&O377", u"&O37777777777", u"&O1777777777777777777777", u"&O7777777777777777777777",
            // Signs, parentheses, currency and grouping in their places.
            u"-+5", u"++5", u"+ 5", u"5 -", u"(5", u"5)", u"(-5)", u"-(5)", u"( 5 )", u"5$", u"-$5", u"$-5", u"$ 5",
            u"$5.5", u"$$5", u"($5)", u"1,,2", u"1,000,000", u"1.000,5", u"12,", u"1,000e3", u"1.2.3", u"1e1.5",
            u"1e+", u"1E-2", u".e1", u"0.5e", u"00.5", u"1000000000000000000000e-21", u"\u000B12", u"\u000C12",
            u"\u200012", u"\u300012", u"1\u00A02",
            // Halves at the limits of the integer types.
            u"2147483647.5", u"2147483646.5", u"-2147483648.5", u"255.5", u"254.5", u"0.5000000001",
            u"9223372036854775807.5", u"18446744073709551615.4", u"4294967295.5",
            // Booleans in their text forms.
            u"TRUE", u"tRuE", u"True ", u" False", u"#true#", u"#TRUE# ", u"0e5"};
}

std::vector<val> object_sources() {
    const val i4 = v_int(VT_I4, 42), text = v_str(u"7"), yes = v_bool(-1), empty = v_empty(), null = v_null();
    const val inner_object = v_object(VT_DISPATCH, object_kind::dispatch, &i4);
    return {v_object(VT_DISPATCH, object_kind::none),
            v_object(VT_DISPATCH, object_kind::dispatch, &i4),
            v_object(VT_DISPATCH, object_kind::dispatch, &text),
            v_object(VT_DISPATCH, object_kind::dispatch, &yes),
            v_object(VT_DISPATCH, object_kind::dispatch, &empty),
            v_object(VT_DISPATCH, object_kind::dispatch, &null),
            v_object(VT_DISPATCH, object_kind::dispatch, &inner_object),
            v_object(VT_DISPATCH, object_kind::dispatch_fail),
            v_object(VT_UNKNOWN, object_kind::none),
            v_object(VT_UNKNOWN, object_kind::unknown_only),
            v_object(VT_UNKNOWN, object_kind::unknown_disp, &i4)};
}

// A by-reference source: the value lives in a variable of the case.
void add_byref(cases& out, const val& target, VARTYPE to, bool null_pointer) {
    const std::string from = "BYREF|" + (null_pointer ? vt_name(target.vt) + "(null pointer)" : label(target));
    out.push_back({case_id(from, to, 0, en_us), [target, to, null_pointer] {
                       oa::unique_variant storage, src, dst;
                       make(target, storage);
                       src.vt = VT_BYREF | target.vt;
                       src.byref = null_pointer ? nullptr : &storage.llVal;
                       sentinel(dst);
                       const HRESULT hr = VariantChangeTypeEx(&dst, &src, en_us, 0, to);
                       return of(hr, dst);
                   }});
}

// VT_BYREF|VT_VARIANT around a value, or around a further reference.
void add_byref_variant(cases& out, const val& inner, bool nested, VARTYPE to) {
    const std::string from = std::string(nested ? "BYREF|VARIANT(BYREF|VARIANT(" : "BYREF|VARIANT(") + label(inner) +
                             (nested ? "))" : ")");
    out.push_back({case_id(from, to, 0, en_us), [inner, nested, to] {
                       oa::unique_variant value, middle, src, dst;
                       make(inner, value);
                       middle.vt = VT_BYREF | VT_VARIANT;
                       middle.pvarVal = &value;
                       src.vt = VT_BYREF | VT_VARIANT;
                       src.pvarVal = nested ? static_cast<VARIANT*>(&middle) : &value;
                       sentinel(dst);
                       const HRESULT hr = VariantChangeTypeEx(&dst, &src, en_us, 0, to);
                       return of(hr, dst);
                   }});
}

// The source converted in place.
void add_in_place(cases& out, const val& from, VARTYPE to) {
    out.push_back({"VariantChangeTypeEx in place " + label(from) + " to " + vt_name(to), [from, to] {
                       oa::unique_variant v;
                       make(from, v);
                       const HRESULT hr = VariantChangeTypeEx(&v, &v, en_us, 0, to);
                       return of(hr, v);
                   }});
}

}  // namespace

void add_change_type(cases& out) {
    std::vector<val> numbers = integer_sources();
    for (const val& r : real_sources()) numbers.push_back(r);
    for (std::int64_t b : {0, -1, 1, 2, -2, 255, 32767}) numbers.push_back(v_bool(b));
    for (std::int64_t e : {0ll, 1ll, -1ll, static_cast<long long>(DISP_E_PARAMNOTFOUND)}) numbers.push_back(v_error(e));
    numbers.push_back(v_empty());
    numbers.push_back(v_null());

    // Numbers, Booleans, errors, Empty and Null to every type; text in every locale.
    for (const val& from : numbers) {
        for (VARTYPE to : targets) add(out, from, to, 0, en_us);
        for (LCID lcid : {invariant, LOCALE_USER_DEFAULT}) add(out, from, VT_BSTR, 0, lcid);
    }
    // The flags that change how a Boolean, Empty or Null reads.
    for (const val& from : {v_bool(0), v_bool(-1), v_bool(1), v_empty(), v_null()})
        for (USHORT f : flag_sets)
            for (LCID lcid : locales)
                if (f) add(out, from, VT_BSTR, f, lcid);

    // Texts to every type in English (United States); to a few in the other locales.
    for (const std::u16string& t : texts()) {
        const val from = v_str(t);
        for (VARTYPE to : targets) add(out, from, to, 0, en_us);
        for (LCID lcid : {invariant, LOCALE_USER_DEFAULT})
            for (VARTYPE to : {VT_I4, VT_R8, VT_BOOL, VT_UI1})
                add(out, from, to, 0, lcid);
    }
    add(out, v_null_str(), VT_I4, 0, en_us);
    add(out, v_null_str(), VT_BSTR, 0, en_us);
    add(out, v_null_str(), VT_BOOL, 0, en_us);
    // Boolean words under the Boolean flags.
    for (const char16_t* t : {u"True", u"False", u"true", u"#TRUE#", u"#FALSE#", u"Yes", u"No", u"On", u"0", u"1"})
        for (USHORT f : flag_sets)
            for (LCID lcid : locales)
                if (f) add(out, v_str(t), VT_BOOL, f, lcid);

    // Objects: their default value, or the object itself.
    for (const val& from : object_sources())
        for (VARTYPE to : targets)
            for (USHORT f : {USHORT(0), USHORT(VARIANT_NOVALUEPROP)}) add(out, from, to, f, en_us);

    // Types that are no conversion target, and values that are no valid source.
    for (const val& from : {v_int(VT_I4, 1), v_str(u"1"), v_empty(), v_null()})
        for (VARTYPE to : odd_targets) add(out, from, to, 0, en_us);
    for (VARTYPE odd : {VARTYPE(VT_VARIANT), VARTYPE(VT_VOID), VARTYPE(VT_HRESULT), VARTYPE(0x0FFF), VARTYPE(VT_BYREF | VT_EMPTY),
                        VARTYPE(VT_BYREF | VT_NULL), VARTYPE(VT_I4 | 0x8000), VARTYPE(15)}) {
        for (VARTYPE to : {VT_I4, VT_BSTR, VT_EMPTY, VT_NULL}) {
            out.push_back({case_id("vt " + hex(odd, 4), to, 0, en_us), [odd, to] {
                               oa::unique_variant src, dst;
                               sentinel(dst);
                               src.llVal = 1;
                               src.vt = odd;
                               const HRESULT hr = VariantChangeTypeEx(&dst, &src, en_us, 0, to);
                               src.vt = VT_EMPTY;  // holds nothing to free
                               return of(hr, dst);
                           }});
        }
    }

    // Through references.
    const VARTYPE few[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_UI1, VT_R8, VT_BOOL, VT_BSTR, VT_DISPATCH, VT_ERROR};
    for (const val& target : {v_int(VT_I2, 5), v_int(VT_I4, -1), v_int(VT_UI1, 200), v_int(VT_I8, 1ll << 40),
                              v_real(VT_R8, 2.5), v_real(VT_R4, 0.5), v_bool(-1), v_str(u"12"), v_error(1)}) {
        for (VARTYPE to : few) add_byref(out, target, to, false);
        add_byref(out, target, VT_I4, true);
    }
    for (const val& inner : {v_int(VT_I4, 7), v_str(u"8"), v_empty(), v_null(), v_bool(-1)})
        for (VARTYPE to : few) {
            add_byref_variant(out, inner, false, to);
            add_byref_variant(out, inner, true, to);
        }
    for (const val& from : {v_int(VT_I4, 5), v_str(u"12"), v_str(u"x"), v_real(VT_R8, 2.5), v_bool(-1)})
        for (VARTYPE to : {VT_I4, VT_BSTR, VT_BOOL, VT_EMPTY})
            add_in_place(out, from, to);

    // VariantChangeType is VariantChangeTypeEx in the user's default locale.
    for (const val& from : {v_str(u"1.5"), v_str(u"1,000"), v_str(u"$5"), v_real(VT_R8, 1.5), v_bool(-1)})
        for (USHORT f : {USHORT(0), USHORT(VARIANT_ALPHABOOL)})
            for (VARTYPE to : {VT_BSTR, VT_R8, VT_I4}) {
                out.push_back({"VariantChangeType " + label(from) + " to " + vt_name(to) + (f ? " flags=" + flags_text(f) : ""),
                               [from, to, f] {
                                   oa::unique_variant src, dst;
                                   make(from, src);
                                   sentinel(dst);
                                   const HRESULT hr = VariantChangeType(&dst, &src, f, to);
                                   return of(hr, dst);
                               }});
            }
}

}  // namespace conf
