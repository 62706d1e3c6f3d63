// The VarXxxFromYyy conversions: every pair of scalar types with edge values of the source,
// from text in two locales, from an object's default value, and to text with the flags.
#include "conformance.h"

#include <cstring>
#include <limits>

namespace conf {

namespace {

// Every pair of distinct scalar types (target, its type, source, its type) that the standard
// runtime exports: all but I8 and UI8 from I4.
#define SCALAR_PAIRS(X)                                                                                            \
    X(UI1, BYTE, I2, SHORT) X(UI1, BYTE, I4, LONG) X(UI1, BYTE, I8, LONG64) X(UI1, BYTE, R4, FLOAT)               \
    X(UI1, BYTE, R8, DOUBLE) X(UI1, BYTE, Bool, VARIANT_BOOL) X(UI1, BYTE, I1, CHAR) X(UI1, BYTE, UI2, USHORT)    \
    X(UI1, BYTE, UI4, ULONG) X(UI1, BYTE, UI8, ULONG64) X(I2, SHORT, UI1, BYTE) X(I2, SHORT, I4, LONG)            \
    X(I2, SHORT, I8, LONG64) X(I2, SHORT, R4, FLOAT) X(I2, SHORT, R8, DOUBLE) X(I2, SHORT, Bool, VARIANT_BOOL)    \
    X(I2, SHORT, I1, CHAR) X(I2, SHORT, UI2, USHORT) X(I2, SHORT, UI4, ULONG) X(I2, SHORT, UI8, ULONG64)          \
    X(I4, LONG, UI1, BYTE) X(I4, LONG, I2, SHORT) X(I4, LONG, I8, LONG64) X(I4, LONG, R4, FLOAT)                  \
    X(I4, LONG, R8, DOUBLE) X(I4, LONG, Bool, VARIANT_BOOL) X(I4, LONG, I1, CHAR) X(I4, LONG, UI2, USHORT)        \
    X(I4, LONG, UI4, ULONG) X(I4, LONG, UI8, ULONG64) X(I8, LONG64, UI1, BYTE) X(I8, LONG64, I2, SHORT)           \
    X(I8, LONG64, R4, FLOAT) X(I8, LONG64, R8, DOUBLE) X(I8, LONG64, Bool, VARIANT_BOOL)  \
    X(I8, LONG64, I1, CHAR) X(I8, LONG64, UI2, USHORT) X(I8, LONG64, UI4, ULONG) X(I8, LONG64, UI8, ULONG64)      \
    X(R4, FLOAT, UI1, BYTE) X(R4, FLOAT, I2, SHORT) X(R4, FLOAT, I4, LONG) X(R4, FLOAT, I8, LONG64)               \
    X(R4, FLOAT, R8, DOUBLE) X(R4, FLOAT, Bool, VARIANT_BOOL) X(R4, FLOAT, I1, CHAR) X(R4, FLOAT, UI2, USHORT)    \
    X(R4, FLOAT, UI4, ULONG) X(R4, FLOAT, UI8, ULONG64) X(R8, DOUBLE, UI1, BYTE) X(R8, DOUBLE, I2, SHORT)         \
    X(R8, DOUBLE, I4, LONG) X(R8, DOUBLE, I8, LONG64) X(R8, DOUBLE, R4, FLOAT) X(R8, DOUBLE, Bool, VARIANT_BOOL)  \
    X(R8, DOUBLE, I1, CHAR) X(R8, DOUBLE, UI2, USHORT) X(R8, DOUBLE, UI4, ULONG) X(R8, DOUBLE, UI8, ULONG64)      \
    X(Bool, VARIANT_BOOL, UI1, BYTE) X(Bool, VARIANT_BOOL, I2, SHORT) X(Bool, VARIANT_BOOL, I4, LONG)             \
    X(Bool, VARIANT_BOOL, I8, LONG64) X(Bool, VARIANT_BOOL, R4, FLOAT) X(Bool, VARIANT_BOOL, R8, DOUBLE)          \
    X(Bool, VARIANT_BOOL, I1, CHAR) X(Bool, VARIANT_BOOL, UI2, USHORT) X(Bool, VARIANT_BOOL, UI4, ULONG)          \
    X(Bool, VARIANT_BOOL, UI8, ULONG64) X(I1, CHAR, UI1, BYTE) X(I1, CHAR, I2, SHORT) X(I1, CHAR, I4, LONG)       \
    X(I1, CHAR, I8, LONG64) X(I1, CHAR, R4, FLOAT) X(I1, CHAR, R8, DOUBLE) X(I1, CHAR, Bool, VARIANT_BOOL)        \
    X(I1, CHAR, UI2, USHORT) X(I1, CHAR, UI4, ULONG) X(I1, CHAR, UI8, ULONG64) X(UI2, USHORT, UI1, BYTE)          \
    X(UI2, USHORT, I2, SHORT) X(UI2, USHORT, I4, LONG) X(UI2, USHORT, I8, LONG64) X(UI2, USHORT, R4, FLOAT)       \
    X(UI2, USHORT, R8, DOUBLE) X(UI2, USHORT, Bool, VARIANT_BOOL) X(UI2, USHORT, I1, CHAR)                        \
    X(UI2, USHORT, UI4, ULONG) X(UI2, USHORT, UI8, ULONG64) X(UI4, ULONG, UI1, BYTE) X(UI4, ULONG, I2, SHORT)     \
    X(UI4, ULONG, I4, LONG) X(UI4, ULONG, I8, LONG64) X(UI4, ULONG, R4, FLOAT) X(UI4, ULONG, R8, DOUBLE)          \
    X(UI4, ULONG, Bool, VARIANT_BOOL) X(UI4, ULONG, I1, CHAR) X(UI4, ULONG, UI2, USHORT)                          \
    X(UI4, ULONG, UI8, ULONG64) X(UI8, ULONG64, UI1, BYTE) X(UI8, ULONG64, I2, SHORT)   \
    X(UI8, ULONG64, I8, LONG64) X(UI8, ULONG64, R4, FLOAT) X(UI8, ULONG64, R8, DOUBLE)                            \
    X(UI8, ULONG64, Bool, VARIANT_BOOL) X(UI8, ULONG64, I1, CHAR) X(UI8, ULONG64, UI2, USHORT)                    \
    X(UI8, ULONG64, UI4, ULONG)
// The scalar types: (name, type).
#define SCALARS(X)                                                                                                 \
    X(UI1, BYTE) X(I2, SHORT) X(I4, LONG) X(I8, LONG64) X(R4, FLOAT) X(R8, DOUBLE) X(Bool, VARIANT_BOOL) X(I1, CHAR) \
    X(UI2, USHORT) X(UI4, ULONG) X(UI8, ULONG64)

// The variant type of a scalar type's name.
VARTYPE vt_of(const std::string& name) {
    const std::pair<const char*, VARTYPE> names[] = {{"UI1", VT_UI1}, {"I2", VT_I2}, {"I4", VT_I4}, {"I8", VT_I8},
                                                     {"R4", VT_R4},   {"R8", VT_R8}, {"Bool", VT_BOOL}, {"I1", VT_I1},
                                                     {"UI2", VT_UI2}, {"UI4", VT_UI4}, {"UI8", VT_UI8}, {"Bstr", VT_BSTR}};
    for (const auto& [n, vt] : names)
        if (name == n) return vt;
    return VT_EMPTY;
}

// Edge values of a source type, as doubles (exact for the integers chosen).
std::vector<double> edges(VARTYPE vt) {
    if (vt == VT_R4 || vt == VT_R8) return {0, 0.5, 1.5, -0.5, -1.5, 255.5, 32767.5, 1e10, -1e10, 3.5e38};
    if (vt == VT_BOOL) return {0, -1, 1};
    std::int64_t lo;
    std::uint64_t hi;
    range_of(vt, lo, hi);
    std::vector<double> out;
    for (double d : {0.0, 1.0, -1.0, 127.0, 128.0, 255.0, 256.0, 32768.0, 65536.0, 4294967295.0,
                     static_cast<double>(lo), static_cast<double>(hi)}) {
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) continue;
        bool seen = false;
        for (double e : out) seen |= e == d;
        if (!seen) out.push_back(d);
    }
    return out;
}

template <class T> T from_double(double d) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(d);
    } else {  // the type's limits are not all exact as doubles
        if (d >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
        if (d <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
        return static_cast<T>(d);
    }
}

// The output as a variant of its type, for its text; bytes a failure left alone show too.
template <class Out> answer out_answer(HRESULT hr, const Out& out, VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    std::memcpy(&v.llVal, &out, sizeof out);
    v.vt = vt;
    return {hr, "-", value_text(v)};
}

template <class Out> Out sentinel() {
    Out out;
    std::memset(static_cast<void*>(&out), 0x5A, sizeof out);
    return out;
}

template <class Out, class In>
void add_scalar(cases& out, const std::string& name, VARTYPE to, VARTYPE from, HRESULT (STDAPICALLTYPE* f)(In, Out*)) {
    for (double d : edges(from)) {
        const In in = from_double<In>(d);
        oa::unique_variant shown;
        std::memcpy(&shown.llVal, &in, sizeof in);
        shown.vt = from;
        out.push_back({name + "(" + value_text(shown) + ")", [f, in, to] {
                           Out result = sentinel<Out>();
                           const HRESULT hr = f(in, &result);
                           return out_answer(hr, result, to);
                       }});
    }
}

template <class Out>
void add_text(cases& out, const std::string& name, VARTYPE to, HRESULT (STDAPICALLTYPE* f)(OLECHAR*, LCID, ULONG, Out*)) {
    const std::u16string texts[] = {u"12", u" -12.5 ", u"&HFF", u"1,000", u"$5", u"(5)", u"1e3", u"True", u"#FALSE#",
                                    u"x", u"", u"99999999999", u"0.5"};
    for (const auto& t : texts)
        for (LCID lcid : {LCID(0x0409), LCID(0x007F)})
            out.push_back({name + "(" + quoted(t) + ", lcid=" + hex(lcid, 4) + ")", [f, t, lcid, to] {
                               std::u16string text = t;
                               Out result = sentinel<Out>();
                               const HRESULT hr = f(oa::ole(text.data()), lcid, 0, &result);
                               return out_answer(hr, result, to);
                           }});
    out.push_back({name + "(null)", [f, to] {
                       Out result = sentinel<Out>();
                       return out_answer(f(nullptr, 0x0409, 0, &result), result, to);
                   }});
}

template <class Out>
void add_object(cases& out, const std::string& name, VARTYPE to, HRESULT (STDAPICALLTYPE* f)(IDispatch*, LCID, Out*)) {
    const val i4 = v_int(VT_I4, 42), text = v_str(u"7"), word = v_str(u"x");
    for (const val& v : {v_object(VT_DISPATCH, object_kind::dispatch, &i4), v_object(VT_DISPATCH, object_kind::dispatch, &text),
                         v_object(VT_DISPATCH, object_kind::dispatch, &word), v_object(VT_DISPATCH, object_kind::dispatch_fail),
                         v_object(VT_DISPATCH, object_kind::none)}) {
        out.push_back({name + "(" + label(v) + ")", [f, v, to] {
                           oa::unique_variant object;
                           make(v, object);
                           Out result = sentinel<Out>();
                           const HRESULT hr = f(object.pdispVal, 0x0409, &result);
                           return out_answer(hr, result, to);
                       }});
    }
}

template <class In>
void add_to_text(cases& out, const std::string& name, VARTYPE from, HRESULT (STDAPICALLTYPE* f)(In, LCID, ULONG, BSTR*)) {
    for (double d : edges(from)) {
        const In in = from_double<In>(d);
        oa::unique_variant shown;
        std::memcpy(&shown.llVal, &in, sizeof in);
        shown.vt = from;
        const std::vector<ULONG> flag_sets = from == VT_BOOL ? std::vector<ULONG>{0, 0x2, 0x10} : std::vector<ULONG>{0};
        for (ULONG flags : flag_sets)
            for (LCID lcid : {LCID(0x0409), LCID(0x007F)})
                out.push_back({name + "(" + value_text(shown) + ", lcid=" + hex(lcid, 4) + ", flags=" + hex(flags, 2) + ")",
                               [f, in, lcid, flags] {
                                   BSTR result = nullptr;
                                   const HRESULT hr = f(in, lcid, flags, &result);
                                   oa::unique_bstr owner(result);
                                   return plain(hr, text_of(result));
                               }});
    }
}

}  // namespace

void add_var_from(cases& out) {
#define ADD_SCALAR(T, Out, S, In) add_scalar<Out, In>(out, "Var" #T "From" #S, vt_of(#T), vt_of(#S), &Var##T##From##S);
    SCALAR_PAIRS(ADD_SCALAR)
#undef ADD_SCALAR
#define ADD_TEXT(T, Out)                                                       \
    add_text<Out>(out, "Var" #T "FromStr", vt_of(#T), &Var##T##FromStr);      \
    add_object<Out>(out, "Var" #T "FromDisp", vt_of(#T), &Var##T##FromDisp);  \
    add_to_text<Out>(out, "VarBstrFrom" #T, vt_of(#T), &VarBstrFrom##T);
    SCALARS(ADD_TEXT)
#undef ADD_TEXT
    const val i4 = v_int(VT_I4, 42), yes = v_bool(-1);
    for (const val& v : {v_object(VT_DISPATCH, object_kind::dispatch, &i4), v_object(VT_DISPATCH, object_kind::dispatch, &yes),
                         v_object(VT_DISPATCH, object_kind::none)})
        for (ULONG flags : {0x0ul, 0x2ul})
            out.push_back({"VarBstrFromDisp(" + label(v) + ", flags=" + hex(flags, 2) + ")", [v, flags] {
                               oa::unique_variant object;
                               make(v, object);
                               BSTR result = nullptr;
                               const HRESULT hr = VarBstrFromDisp(object.pdispVal, 0x0409, flags, &result);
                               oa::unique_bstr owner(result);
                               return plain(hr, text_of(result));
                           }});
}

}  // namespace conf
