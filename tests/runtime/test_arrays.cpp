// SAFEARRAY vectors: descriptors, lock rules, resizing, element ownership.
#include "oleauto.h"
#include "test_objects.h"

#include <gtest/gtest.h>

#include <string>

using rt_test::TestObject;

namespace {

std::u16string text_of(BSTR b) { return std::u16string(b, SysStringLen(b)); }

struct Kind {
    VARTYPE vt;
    ULONG size;
    USHORT flags;
};

TEST(Arrays, CreateVectorDescribesEachElementType) {
    const Kind kinds[] = {
        {VT_UI1, 1, FADF_HAVEVARTYPE},
        {VT_I2, 2, FADF_HAVEVARTYPE},
        {VT_I4, 4, FADF_HAVEVARTYPE},
        {VT_BSTR, sizeof(void*), FADF_HAVEVARTYPE | FADF_BSTR},
        {VT_VARIANT, sizeof(VARIANT), FADF_HAVEVARTYPE | FADF_VARIANT},
        {VT_DISPATCH, sizeof(void*), FADF_HAVEIID | FADF_DISPATCH},  // interface arrays carry an IID
        {VT_UNKNOWN, sizeof(void*), FADF_HAVEIID | FADF_UNKNOWN},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.vt);
        SAFEARRAY* psa = SafeArrayCreateVector(k.vt, 0, 4);
        ASSERT_NE(psa, nullptr);
        EXPECT_EQ(SafeArrayGetDim(psa), 1u);
        EXPECT_EQ(SafeArrayGetElemsize(psa), k.size);
        EXPECT_EQ(psa->fFeatures, k.flags | FADF_CREATEVECTOR);
        VARTYPE vt = 0;
        ASSERT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
        EXPECT_EQ(vt, k.vt);
        const auto* bytes = static_cast<const unsigned char*>(psa->pvData);
        for (ULONG i = 0; i < 4 * k.size; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
}

TEST(Arrays, HugeSizesFailCleanly) {
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0x7FFFFFFF), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 1, 0xFFFFFFFF), nullptr);  // more elements than a LONG counts
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(psa, nullptr);
    SAFEARRAYBOUND huge{0x7FFFFFFF, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &huge), E_OUTOFMEMORY);
    EXPECT_EQ(psa->rgsabound[0].cElements, 2u);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(Arrays, Bounds) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 3, 5);
    LONG lb = 0, ub = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, 1, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &ub), S_OK);
    EXPECT_EQ(lb, 3);
    EXPECT_EQ(ub, 7);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lb), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &ub), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &lb), E_INVALIDARG);
    SafeArrayDestroy(psa);

    psa = SafeArrayCreateVector(VT_UI1, 0, 0);  // empty is legal
    ASSERT_NE(psa, nullptr);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &ub), S_OK);
    EXPECT_EQ(ub, -1);
    SafeArrayDestroy(psa);
}

TEST(Arrays, LockRules) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 4);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    EXPECT_EQ(psa->cLocks, 1u);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    SAFEARRAYBOUND b{8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &b), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);  // one lock left
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayRedim(psa, &b), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(Arrays, RedimKeepsRowsAndZeroFillsNewOnes) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = 10 + i;
        ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
    }
    SAFEARRAYBOUND grow{6, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &grow), S_OK);
    auto* data = static_cast<LONG*>(psa->pvData);
    EXPECT_EQ(data[0], 10);
    EXPECT_EQ(data[2], 12);
    EXPECT_EQ(data[3], 0);
    EXPECT_EQ(data[5], 0);
    SAFEARRAYBOUND shrink{2, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &shrink), S_OK);
    LONG ub = 0;
    SafeArrayGetUBound(psa, 1, &ub);
    EXPECT_EQ(ub, 1);
    EXPECT_EQ(static_cast<LONG*>(psa->pvData)[1], 11);
    SAFEARRAYBOUND none{0, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &none), S_OK);
    ASSERT_EQ(SafeArrayRedim(psa, &grow), S_OK);
    EXPECT_EQ(static_cast<LONG*>(psa->pvData)[0], 0);
    SafeArrayDestroy(psa);
}

TEST(Arrays, RedimOfAFixedSizeArrayIsRefused) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 2);
    psa->fFeatures |= FADF_FIXEDSIZE;
    SAFEARRAYBOUND b{4, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &b), DISP_E_ARRAYISLOCKED);  // as the standard runtime answers
    psa->fFeatures &= ~FADF_FIXEDSIZE;
    SafeArrayDestroy(psa);
}

TEST(Arrays, InterfaceElementsAreOwnedByTheArray) {
    auto* a = new TestObject;
    auto* b = new TestObject;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_DISPATCH, 0, 3);
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, static_cast<IDispatch*>(a)), S_OK);
    EXPECT_EQ(a->refs, 2u);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, static_cast<IDispatch*>(b)), S_OK);  // replaces a
    EXPECT_EQ(a->refs, 1u);
    EXPECT_EQ(b->refs, 2u);
    i = 2;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, static_cast<IDispatch*>(a)), S_OK);

    IDispatch* got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &got), S_OK);
    EXPECT_EQ(got, a);
    EXPECT_EQ(a->refs, 3u);
    got->Release();

    SAFEARRAYBOUND shrink{2, 0};  // removes a's row
    ASSERT_EQ(SafeArrayRedim(psa, &shrink), S_OK);
    EXPECT_EQ(a->refs, 1u);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(b->refs, 1u);
    a->Release();
    b->Release();
}

TEST(Arrays, StringAndVariantElementsAreCopies) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
    BSTR s = SysAllocString(u"hello");
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(strings, &i, s), S_OK);
    BSTR stored = static_cast<BSTR*>(strings->pvData)[1];
    EXPECT_NE(stored, s);
    EXPECT_EQ(text_of(stored), u"hello");
    SysFreeString(s);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &i, &out), S_OK);
    EXPECT_NE(out, stored);
    EXPECT_EQ(text_of(out), u"hello");
    SysFreeString(out);
    SAFEARRAYBOUND shrink{1, 0};
    ASSERT_EQ(SafeArrayRedim(strings, &shrink), S_OK);
    SAFEARRAYBOUND grow{2, 0};
    ASSERT_EQ(SafeArrayRedim(strings, &grow), S_OK);
    EXPECT_EQ(static_cast<BSTR*>(strings->pvData)[1], nullptr);  // removed, then a new empty row
    SafeArrayDestroy(strings);

    const int live_before = rt_test::g_live.load();
    auto* obj = new TestObject;
    SAFEARRAY* vars = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = obj;  // adopts
    i = 0;
    ASSERT_EQ(SafeArrayPutElement(vars, &i, &v), S_OK);
    EXPECT_EQ(obj->refs, 2u);
    VARIANT back;
    ASSERT_EQ(SafeArrayGetElement(vars, &i, &back), S_OK);
    EXPECT_EQ(back.vt, VT_UNKNOWN);
    EXPECT_EQ(obj->refs, 3u);
    VariantClear(&back);
    VariantClear(&v);
    EXPECT_EQ(SafeArrayDestroy(vars), S_OK);  // clears the VARIANT element
    EXPECT_EQ(rt_test::g_live.load(), live_before);
}

TEST(Arrays, BadIndices) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 1, 2);
    LONG v = 0;
    for (LONG i : {0, 3, -1}) {
        EXPECT_EQ(SafeArrayPutElement(psa, &i, &v), DISP_E_BADINDEX) << i;
        EXPECT_EQ(SafeArrayGetElement(psa, &i, &v), DISP_E_BADINDEX) << i;
        void* p = nullptr;
        EXPECT_EQ(SafeArrayPtrOfIndex(psa, &i, &p), DISP_E_BADINDEX) << i;
    }
    LONG last = 2;
    void* p = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(psa, &last, &p), S_OK);
    EXPECT_EQ(p, static_cast<LONG*>(psa->pvData) + 1);
    SafeArrayDestroy(psa);
}

TEST(Arrays, CopyIsDeep) {
    auto* obj = new TestObject;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 5, 2);
    LONG i = 6;
    SafeArrayPutElement(psa, &i, static_cast<IUnknown*>(obj));
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->pvData, psa->pvData);
    EXPECT_EQ(obj->refs, 3u);
    VARTYPE vt = 0;
    SafeArrayGetVartype(copy, &vt);
    EXPECT_EQ(vt, VT_UNKNOWN);
    LONG lb = 0;
    SafeArrayGetLBound(copy, 1, &lb);
    EXPECT_EQ(lb, 5);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(psa);
    EXPECT_EQ(obj->refs, 1u);
    obj->Release();

    copy = reinterpret_cast<SAFEARRAY*>(0x1);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
}

}  // namespace
