// VariantChangeType(Ex): the standard coercion rules, table-driven.
#include "oleauto.h"
#include "test_objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

using rt_test::TestObject;

namespace {

// A value description that the table can hold by value.
struct Val {
    VARTYPE vt = VT_EMPTY;
    long long i = 0;
    double d = 0;
    std::u16string s;
};
Val mk(VARTYPE vt, long long i = 0, double d = 0, std::u16string s = {}) {
    Val v;
    v.vt = vt;
    v.i = i;
    v.d = d;
    v.s = std::move(s);
    return v;
}
Val Empty() { return mk(VT_EMPTY); }
Val Null() { return mk(VT_NULL); }
Val I2(long long v) { return mk(VT_I2, v); }
Val I4(long long v) { return mk(VT_I4, v); }
Val UI1(long long v) { return mk(VT_UI1, v); }
Val R8(double v) { return mk(VT_R8, 0, v); }
Val Bool(bool b) { return mk(VT_BOOL, b ? -1 : 0); }
Val Err(long long code) { return mk(VT_ERROR, code); }
Val Str(const char16_t* s) { return mk(VT_BSTR, 0, 0, s); }

void make(const Val& x, VARIANT& v) {
    VariantInit(&v);
    v.vt = x.vt;
    switch (x.vt) {
    case VT_I2: v.iVal = static_cast<SHORT>(x.i); break;
    case VT_I4: v.lVal = static_cast<LONG>(x.i); break;
    case VT_ERROR: v.scode = static_cast<SCODE>(x.i); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(x.i); break;
    case VT_R8: v.dblVal = x.d; break;
    case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(x.i); break;
    case VT_BSTR: v.bstrVal = SysAllocStringLen(x.s.data(), static_cast<UINT>(x.s.size())); break;
    default: break;
    }
}

std::string describe(const VARIANT& v) {
    std::string out = "vt=" + std::to_string(v.vt) + " ";
    switch (v.vt) {
    case VT_I2: return out + std::to_string(v.iVal);
    case VT_I4: return out + std::to_string(v.lVal);
    case VT_UI1: return out + std::to_string(v.bVal);
    case VT_R8: return out + std::to_string(v.dblVal);
    case VT_BOOL: return out + std::to_string(v.boolVal);
    case VT_BSTR: {
        std::string s = "\"";
        for (UINT k = 0; k < SysStringLen(v.bstrVal); ++k) s += static_cast<char>(v.bstrVal[k]);
        return out + s + "\"";
    }
    default: return out;
    }
}

::testing::AssertionResult equal(const VARIANT& got, const Val& want) {
    VARIANT w;
    make(want, w);
    bool same = got.vt == w.vt;
    if (same) {
        switch (w.vt) {
        case VT_I2: same = got.iVal == w.iVal; break;
        case VT_I4: same = got.lVal == w.lVal; break;
        case VT_UI1: same = got.bVal == w.bVal; break;
        case VT_R8: same = got.dblVal == w.dblVal; break;
        case VT_BOOL: same = got.boolVal == w.boolVal; break;
        case VT_BSTR:
            same = got.bstrVal && SysStringLen(got.bstrVal) == SysStringLen(w.bstrVal) &&
                   std::memcmp(got.bstrVal, w.bstrVal, SysStringByteLen(w.bstrVal)) == 0;
            break;
        default: break;
        }
    }
    auto r = same ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "got " << describe(got)
                                                                                  << ", want " << describe(w);
    VariantClear(&w);
    return r;
}

struct Case {
    Val from;
    VARTYPE to;
    USHORT flags;
    HRESULT hr;
    Val want;  // when hr succeeds
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    VARIANT v;
    make(c.from, v);
    os << describe(v) << " -> vt " << c.to << " flags " << c.flags;
    VariantClear(&v);
    return os;
}

class Conversion : public ::testing::TestWithParam<Case> {};

TEST_P(Conversion, FollowsTheStandardRules) {
    const Case& c = GetParam();
    VARIANT src, dst;
    make(c.from, src);
    make(I4(-12345), dst);  // a sentinel that a failure must leave alone
    const HRESULT hr = VariantChangeType(&dst, &src, c.flags, c.to);
    EXPECT_EQ(hr, c.hr) << std::hex << "hr 0x" << static_cast<unsigned>(hr);
    if (SUCCEEDED(c.hr))
        EXPECT_TRUE(equal(dst, c.want));
    else
        EXPECT_TRUE(equal(dst, I4(-12345)));
    VariantClear(&dst);
    VariantClear(&src);
}

constexpr HRESULT OK = S_OK;
constexpr HRESULT MISMATCH = DISP_E_TYPEMISMATCH;
constexpr HRESULT OVERFLOW_ = DISP_E_OVERFLOW;

INSTANTIATE_TEST_SUITE_P(ToText, Conversion, ::testing::Values(
    Case{I2(-123), VT_BSTR, 0, OK, Str(u"-123")},
    Case{I4(-2147483647 - 1), VT_BSTR, 0, OK, Str(u"-2147483648")},
    Case{I4(1234567), VT_BSTR, 0, OK, Str(u"1234567")},  // no grouping
    Case{UI1(255), VT_BSTR, 0, OK, Str(u"255")},
    Case{R8(3.5), VT_BSTR, 0, OK, Str(u"3.5")},
    Case{R8(1e20), VT_BSTR, 0, OK, Str(u"1E+20")},
    Case{R8(1e15), VT_BSTR, 0, OK, Str(u"1E+15")},
    Case{R8(1e14), VT_BSTR, 0, OK, Str(u"100000000000000")},
    Case{R8(-0.0), VT_BSTR, 0, OK, Str(u"0")},
    Case{R8(-2.25), VT_BSTR, 0, OK, Str(u"-2.25")},
    Case{R8(0.1), VT_BSTR, 0, OK, Str(u"0.1")},
    Case{R8(1.0 / 3), VT_BSTR, 0, OK, Str(u"0.333333333333333")},
    Case{R8(123456789012345678.0), VT_BSTR, 0, OK, Str(u"1.23456789012346E+17")},
    Case{R8(0.0001), VT_BSTR, 0, OK, Str(u"0.0001")},
    Case{R8(0.00001), VT_BSTR, 0, OK, Str(u"1E-05")},
    Case{Empty(), VT_BSTR, 0, OK, Str(u"")},
    Case{Bool(true), VT_BSTR, 0, OK, Str(u"-1")},
    Case{Bool(false), VT_BSTR, 0, OK, Str(u"0")},
    Case{Bool(true), VT_BSTR, VARIANT_ALPHABOOL, OK, Str(u"True")},
    Case{Bool(false), VT_BSTR, VARIANT_ALPHABOOL, OK, Str(u"False")},
    Case{Null(), VT_BSTR, 0, MISMATCH, {}},
    Case{Err(5), VT_BSTR, 0, MISMATCH, {}}));

INSTANTIATE_TEST_SUITE_P(ToShort, Conversion, ::testing::Values(
    Case{I4(32767), VT_I2, 0, OK, I2(32767)},
    Case{I4(-32768), VT_I2, 0, OK, I2(-32768)},
    Case{I4(32768), VT_I2, 0, OVERFLOW_, {}},
    Case{I4(-32769), VT_I2, 0, OVERFLOW_, {}},
    Case{Str(u"12"), VT_I2, 0, OK, I2(12)},
    Case{Str(u" 12 "), VT_I2, 0, OK, I2(12)},
    Case{Str(u"\t+7"), VT_I2, 0, OK, I2(7)},
    Case{Str(u"abc"), VT_I2, 0, MISMATCH, {}},
    Case{Str(u"12abc"), VT_I2, 0, MISMATCH, {}},
    Case{Str(u""), VT_I2, 0, MISMATCH, {}},
    Case{Str(u" "), VT_I2, 0, MISMATCH, {}},
    Case{Str(u"1 2"), VT_I2, 0, MISMATCH, {}},
    Case{Str(u"32768"), VT_I2, 0, OVERFLOW_, {}},
    Case{Str(u"-32768"), VT_I2, 0, OK, I2(-32768)},
    Case{Str(u"99999999999999999999999"), VT_I2, 0, OVERFLOW_, {}},
    Case{Str(u"12.6"), VT_I2, 0, OK, I2(13)},
    Case{Str(u"0.5"), VT_I2, 0, OK, I2(0)},
    Case{Str(u"1.5"), VT_I2, 0, OK, I2(2)},
    Case{Str(u"2.5"), VT_I2, 0, OK, I2(2)},
    Case{Str(u"-1.5"), VT_I2, 0, OK, I2(-2)},
    Case{Str(u"2.5000001"), VT_I2, 0, OK, I2(3)},
    Case{Str(u"-0.4"), VT_I2, 0, OK, I2(0)},
    Case{Str(u"0.05"), VT_I2, 0, OK, I2(0)},
    Case{Str(u"32766.5"), VT_I2, 0, OK, I2(32766)},
    Case{Str(u"32767.5"), VT_I2, 0, OVERFLOW_, {}},
    Case{Str(u"1e3"), VT_I2, 0, OK, I2(1000)},
    Case{Str(u"1250E-2"), VT_I2, 0, OK, I2(12)},
    Case{Str(u".5e1"), VT_I2, 0, OK, I2(5)},
    Case{R8(0.5), VT_I2, 0, OK, I2(0)},
    Case{R8(1.5), VT_I2, 0, OK, I2(2)},
    Case{R8(2.5), VT_I2, 0, OK, I2(2)},
    Case{R8(-2.5), VT_I2, 0, OK, I2(-2)},
    Case{R8(3.5), VT_I2, 0, OK, I2(4)},
    Case{R8(-32768.5), VT_I2, 0, OK, I2(-32768)},
    Case{R8(1e10), VT_I2, 0, OVERFLOW_, {}},
    Case{R8(std::numeric_limits<double>::quiet_NaN()), VT_I2, 0, OVERFLOW_, {}},
    Case{Bool(true), VT_I2, 0, OK, I2(-1)},
    Case{Empty(), VT_I2, 0, OK, I2(0)},
    Case{Null(), VT_I2, 0, MISMATCH, {}},
    Case{Err(1), VT_I2, 0, MISMATCH, {}}));

INSTANTIATE_TEST_SUITE_P(ToOtherNumbers, Conversion, ::testing::Values(
    Case{Str(u"2147483647"), VT_I4, 0, OK, I4(2147483647)},
    Case{Str(u"-2147483648"), VT_I4, 0, OK, I4(-2147483647 - 1)},
    Case{Str(u"2147483648"), VT_I4, 0, OVERFLOW_, {}},
    Case{I2(-5), VT_I4, 0, OK, I4(-5)},
    Case{R8(2147483647.4), VT_I4, 0, OK, I4(2147483647)},
    Case{R8(2147483647.5), VT_I4, 0, OVERFLOW_, {}},
    Case{I4(255), VT_UI1, 0, OK, UI1(255)},
    Case{I4(256), VT_UI1, 0, OVERFLOW_, {}},
    Case{I4(-1), VT_UI1, 0, OVERFLOW_, {}},
    Case{Str(u"-1"), VT_UI1, 0, OVERFLOW_, {}},
    Case{Bool(true), VT_UI1, 0, OK, UI1(255)},
    Case{Str(u"3.5"), VT_R8, 0, OK, R8(3.5)},
    Case{Str(u" -1E3 "), VT_R8, 0, OK, R8(-1000)},
    Case{Str(u".25"), VT_R8, 0, OK, R8(0.25)},
    Case{Str(u"0.1"), VT_R8, 0, OK, R8(0.1)},
    Case{Str(u"1e400"), VT_R8, 0, OVERFLOW_, {}},
    Case{Str(u"1e-400"), VT_R8, 0, OK, R8(0)},
    Case{Str(u"1e"), VT_R8, 0, MISMATCH, {}},
    Case{I4(-7), VT_R8, 0, OK, R8(-7)},
    Case{Bool(true), VT_R8, 0, OK, R8(-1)},
    Case{Empty(), VT_R8, 0, OK, R8(0)}));

INSTANTIATE_TEST_SUITE_P(ToBoolean, Conversion, ::testing::Values(
    Case{Str(u"true"), VT_BOOL, 0, OK, Bool(true)},
    Case{Str(u"FALSE"), VT_BOOL, 0, OK, Bool(false)},
    Case{Str(u"TrUe"), VT_BOOL, 0, OK, Bool(true)},
    Case{Str(u"0"), VT_BOOL, 0, OK, Bool(false)},
    Case{Str(u"0.0"), VT_BOOL, 0, OK, Bool(false)},
    Case{Str(u"2"), VT_BOOL, 0, OK, Bool(true)},
    Case{Str(u"-1"), VT_BOOL, 0, OK, Bool(true)},
    Case{Str(u"Yes"), VT_BOOL, 0, MISMATCH, {}},
    Case{Str(u"On"), VT_BOOL, 0, MISMATCH, {}},
    Case{I4(0), VT_BOOL, 0, OK, Bool(false)},
    Case{I4(5), VT_BOOL, 0, OK, Bool(true)},
    Case{R8(0.25), VT_BOOL, 0, OK, Bool(true)},
    Case{Bool(true), VT_BOOL, 0, OK, Bool(true)},
    Case{Empty(), VT_BOOL, 0, OK, Bool(false)},
    Case{Null(), VT_BOOL, 0, MISMATCH, {}}));

INSTANTIATE_TEST_SUITE_P(ErrorValues, Conversion, ::testing::Values(
    Case{Err(5), VT_ERROR, 0, OK, Err(5)},
    Case{I4(7), VT_ERROR, 0, MISMATCH, {}},  // a number never poses as a missing argument
    Case{Err(5), VT_I4, 0, MISMATCH, {}},
    Case{Str(u"5"), VT_ERROR, 0, MISMATCH, {}}));

TEST(Conversions, UnsupportedTargetsAreBadVartypes) {
    VARIANT src, dst;
    make(I4(1), src);
    make(I4(9), dst);
    // References and variants are no values to convert to; unknown types are bad types.
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4 | VT_BYREF), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_VARIANT), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, 0x0FFF), DISP_E_BADVARTYPE);
    EXPECT_EQ(dst.lVal, 9);
}

TEST(Conversions, ReferencesAreReadThrough) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    LONG big = 40000;
    src.vt = VT_I4 | VT_BYREF;
    src.plVal = &big;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), DISP_E_OVERFLOW);
    big = 300;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
    EXPECT_TRUE(equal(dst, I2(300)));

    BSTR text = SysAllocString(u"21");
    src.vt = VT_BSTR | VT_BYREF;
    src.pbstrVal = &text;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
    EXPECT_TRUE(equal(dst, I4(21)));
    SysFreeString(text);

    VARIANT inner;
    make(Str(u"7"), inner);
    src.vt = VT_VARIANT | VT_BYREF;
    src.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
    EXPECT_TRUE(equal(dst, I2(7)));
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);  // copies, leaves the referenced value
    EXPECT_TRUE(equal(dst, Str(u"7")));
    EXPECT_NE(dst.bstrVal, inner.bstrVal);
    VariantClear(&dst);
    VariantClear(&inner);

    src.vt = VT_I4 | VT_BYREF;
    src.plVal = nullptr;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), DISP_E_TYPEMISMATCH);
}

TEST(Conversions, InPlace) {
    VARIANT v;
    make(Str(u" 42 "), v);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);
    EXPECT_TRUE(equal(v, I2(42)));
    ASSERT_EQ(VariantChangeType(&v, &v, VARIANT_ALPHABOOL, VT_BOOL), S_OK);
    ASSERT_EQ(VariantChangeType(&v, &v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_TRUE(equal(v, Str(u"True")));
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(equal(v, Str(u"True")));  // failure leaves the value
    VariantClear(&v);
}

TEST(Conversions, TextToTextCopiesEmbeddedZeros) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    const OLECHAR raw[] = {u'x', 0, u'y'};
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringLen(raw, 3);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringLen(dst.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(dst.bstrVal, raw, sizeof raw), 0);
    VariantClear(&dst);
    VariantClear(&src);
}

TEST(Conversions, ObjectsGiveTheirDefaultValue) {
    auto* obj = new TestObject;
    obj->value.vt = VT_I4;
    obj->value.lVal = 7;
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_DISPATCH;
    src.pdispVal = obj;  // adopts

    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_TRUE(equal(dst, Str(u"7")));
    EXPECT_EQ(obj->invokes, 1);
    EXPECT_EQ(obj->last_id, DISPID_VALUE);
    EXPECT_EQ(obj->last_flags, DISPATCH_PROPERTYGET);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
    EXPECT_TRUE(equal(dst, I2(7)));
    EXPECT_EQ(obj->refs, 1u);  // the conversion keeps no reference

    EXPECT_EQ(VariantChangeType(&dst, &src, VARIANT_NOVALUEPROP, VT_I2), DISP_E_TYPEMISMATCH);
    obj->fail = true;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(equal(dst, I2(7)));

    // An IUnknown has no default value, even when it answers IDispatch: it is not asked.
    obj->fail = false;
    src.vt = VT_UNKNOWN;
    const int invokes = obj->invokes;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(obj->invokes, invokes);
    obj->dispatchable = false;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_DISPATCH), E_NOINTERFACE);
    EXPECT_EQ(obj->refs, 1u);
    VariantClear(&src);
}

TEST(Conversions, ObjectToObjectKeepsOneReferencePerCopy) {
    const int live_before = rt_test::g_live.load();
    auto* obj = new TestObject;
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_DISPATCH;
    src.pdispVal = obj;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(dst.vt, VT_UNKNOWN);
    EXPECT_EQ(dst.punkVal, static_cast<IUnknown*>(obj));
    EXPECT_EQ(obj->refs, 2u);
    EXPECT_EQ(VariantChangeType(&dst, &dst, 0, VT_DISPATCH), S_OK);  // in place
    EXPECT_EQ(dst.vt, VT_DISPATCH);
    EXPECT_EQ(obj->refs, 2u);
    VariantClear(&dst);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);  // default value: VT_EMPTY -> 0
    EXPECT_TRUE(equal(dst, I4(0)));
    VariantClear(&src);
    EXPECT_EQ(rt_test::g_live.load(), live_before);
}

}  // namespace
