// The conformance suite: cases written once as tables, run against whichever runtime the
// program is built on. Each case answers an HRESULT, a result type and the result's value
// in a canonical text, so that the answers of two runtimes compare line by line.
#pragma once

#include <oa/com_ptr.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace conf {

struct answer {
    HRESULT hr = S_OK;
    std::string vt = "-";  // the result's type, "-" when the call has no variant result
    std::string value;
};

struct test_case {
    std::string id;
    std::function<answer()> run;
};

using cases = std::vector<test_case>;

// The case families; each appends its cases.
void add_change_type(cases& out);
void add_variants(cases& out);
void add_strings(cases& out);
void add_arrays(cases& out);
void add_dispatch(cases& out);
void add_entry_points(cases& out);
void add_var_from(cases& out);

// ---- canonical texts --------------------------------------------------------------

std::string hex(std::uint64_t v, int digits);
std::string quoted(std::u16string_view s);  // "...", with \t \n \\ \" and \uXXXX escapes
std::string text_of(BSTR b);                // null, or quoted with +odd for an odd byte count
std::string number_text(double d);          // shortest text that reads back exactly
std::string vt_name(VARTYPE vt);            // BYREF|ARRAY|I4, or the number in hex
std::string value_text(const VARIANT& v);   // by-reference values are described through the pointer
answer of(HRESULT hr, const VARIANT& v);
answer plain(HRESULT hr, std::string value);

// ---- input values -------------------------------------------------------------------

// Objects a value may hold: made fresh for each case, counted and logged.
enum class object_kind {
    none,
    dispatch,       // IDispatch with a default value
    dispatch_fail,  // IDispatch whose default value fails
    unknown_only,   // IUnknown without IDispatch
    unknown_disp,   // held as VT_UNKNOWN, but answers IDispatch too
};

struct val {
    VARTYPE vt = VT_EMPTY;
    std::int64_t i = 0;
    double d = 0;
    std::u16string s;
    bool null_bstr = false;
    object_kind object = object_kind::none;
    std::vector<val> inner;  // the default value of an object
};

val v_empty();
val v_null();
val v_int(VARTYPE vt, std::int64_t i);
val v_real(VARTYPE vt, double d);
val v_bool(std::int64_t b);
val v_error(std::int64_t code);
val v_str(std::u16string s);
val v_null_str();
val v_object(VARTYPE vt, object_kind kind, const val* inner = nullptr);

// Short label for case ids: I4(-1), BSTR(" 12"), DISPATCH(I4(42)).
std::string label(const val& v);
// Fills v (uninitialised) with a fresh copy of the value.
void make(const val& x, VARIANT& v);

// Objects made for the current case, their calls and whether all were released.
struct object_log {
    static void reset();
    static std::string calls();  // "" when nothing was called
    static long live();
};

// IDispatch that answers its default value (DISPID_VALUE, property get); it logs calls.
IDispatch* new_value_object(const VARIANT& value, bool fail, bool dispatch);
// A plain IUnknown.
IUnknown* new_unknown_object();
// The name of a known test object ("obj" for those made here), or "?".
std::string object_name(IUnknown* p);

// Appends the objects' calls and leaks to an answer once the case dropped its values.
answer with_objects(answer a);

// ---- numbers ----------------------------------------------------------------------

inline constexpr VARTYPE integer_types[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT};
// The range of an integer type.
void range_of(VARTYPE vt, std::int64_t& lo, std::uint64_t& hi);

}  // namespace conf
