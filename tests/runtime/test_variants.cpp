// VARIANT lifetime: clear, copy, copy through references.
#include "oleauto.h"
#include "test_objects.h"

#include <gtest/gtest.h>

#include <string>

using rt_test::TestObject;

namespace {

std::u16string text_of(BSTR b) { return std::u16string(b, SysStringLen(b)); }

VARIANT bstr_variant(const char16_t* s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s);
    return v;
}

TEST(Variants, InitSetsEmptyAndFreesNothing) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = reinterpret_cast<BSTR>(0x1);  // would crash if freed
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Variants, ClearReleasesObjectsButNotReferences) {
    auto* obj = new TestObject;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = obj;
    obj->AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(obj->refs, 1u);

    IDispatch* held = obj;
    v.vt = VT_DISPATCH | VT_BYREF;
    v.ppdispVal = &held;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(obj->refs, 1u);
    obj->Release();
}

TEST(Variants, ClearRejectsBadTypesAndLockedArrays) {
    VARIANT v;
    VariantInit(&v);
    v.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    EXPECT_EQ(v.vt, 0x0FFF);
    v.vt = VT_VARIANT;  // holds no value by itself: cleared as the standard runtime does
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(Variants, CopyIsDeepForStringsAndArrays) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringByteLen("a\0b", 3);  // odd byte length, embedded zero
    VARIANT dst = bstr_variant(u"old");
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    ASSERT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringByteLen(dst.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(dst.bstrVal, "a\0b", 3), 0);
    VariantClear(&dst);
    VariantClear(&src);

    src.vt = VT_ARRAY | VT_I4;
    src.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    static_cast<LONG*>(src.parray->pvData)[2] = 77;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    ASSERT_NE(dst.parray, src.parray);
    EXPECT_EQ(static_cast<LONG*>(dst.parray->pvData)[2], 77);
    VariantClear(&dst);
    VariantClear(&src);
}

TEST(Variants, CopyAddRefsAndReleasesWhatTheDestinationHeld) {
    auto* a = new TestObject;
    auto* b = new TestObject;
    VARIANT va, vb;
    VariantInit(&va);
    VariantInit(&vb);
    va.vt = VT_UNKNOWN;
    va.punkVal = a;  // adopts a's reference
    vb.vt = VT_DISPATCH;
    vb.pdispVal = b;
    b->AddRef();
    ASSERT_EQ(VariantCopy(&vb, &va), S_OK);
    EXPECT_EQ(vb.punkVal, a);
    EXPECT_EQ(a->refs, 2u);
    EXPECT_EQ(b->refs, 1u);
    EXPECT_EQ(VariantCopy(&va, &va), S_OK);  // onto itself: nothing changes
    EXPECT_EQ(a->refs, 2u);
    VariantClear(&va);
    VariantClear(&vb);
    b->Release();
}

TEST(Variants, CopyOfAReferenceCopiesThePointerOnly) {
    LONG n = 5;
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_I4 | VT_BYREF;
    src.plVal = &n;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_I4 | VT_BYREF);
    EXPECT_EQ(dst.plVal, &n);
}

TEST(Variants, CopyIndReadsThroughReferences) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);

    SHORT s = -3;
    src.vt = VT_I2 | VT_BYREF;
    src.piVal = &s;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_I2);
    EXPECT_EQ(dst.iVal, -3);

    BSTR text = SysAllocString(u"shared");
    src.vt = VT_BSTR | VT_BYREF;
    src.pbstrVal = &text;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    ASSERT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, text);
    EXPECT_EQ(text_of(dst.bstrVal), u"shared");
    VariantClear(&dst);
    SysFreeString(text);

    auto* obj = new TestObject;
    IDispatch* p = obj;
    src.vt = VT_DISPATCH | VT_BYREF;
    src.ppdispVal = &p;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_DISPATCH);
    EXPECT_EQ(obj->refs, 2u);
    VariantClear(&dst);
    obj->Release();

    VARIANT inner = bstr_variant(u"inner");
    src.vt = VT_VARIANT | VT_BYREF;
    src.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_EQ(text_of(dst.bstrVal), u"inner");
    VariantClear(&dst);
    VariantClear(&inner);

    // A typed reference inside a referenced VARIANT is followed too; a referenced VARIANT
    // inside one is one level too many, and the destination is emptied first.
    LONG n = 1;
    inner.vt = VT_I4 | VT_BYREF;
    inner.plVal = &n;
    dst.vt = VT_I4;
    dst.lVal = 9;
    ASSERT_EQ(VariantCopyInd(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_I4);
    EXPECT_EQ(dst.lVal, 1);
    VARIANT deeper;
    deeper.vt = VT_VARIANT | VT_BYREF;
    deeper.pvarVal = &src;
    EXPECT_EQ(VariantCopyInd(&dst, &deeper), E_INVALIDARG);
    EXPECT_EQ(dst.vt, VT_EMPTY);
}

TEST(Variants, CopyIndInPlaceDereferences) {
    LONG n = 41;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4 | VT_BYREF;
    v.plVal = &n;
    ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 41);
}

}  // namespace
