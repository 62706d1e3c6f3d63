// The one late-bound client: how a callee's failure becomes the number and description a
// caller sees, and how the values a callee returns are read.
#include <oa/late_bound.h>
#include <oa/text.h>

#include "test_objects.h"

#include <gtest/gtest.h>

namespace {

// Fills what a callee's failed Invoke leaves: the code, and EXCEPINFO for DISP_E_EXCEPTION.
struct failing_callee {
    HRESULT hr;
    LONG scode;
    WORD wcode;
    const char16_t* description;
    bool deferred;  // the texts come only from the fill-in
};

HRESULT STDMETHODCALLTYPE fill_in(EXCEPINFO* e) {
    e->bstrDescription = oa::make_bstr(u"filled in").release();
    e->scode = static_cast<HRESULT>(0x80040201);
    return S_OK;
}

TEST(LateBound, AFailureIsTheNumberAndDescriptionAScriptSees) {
    const struct {
        failing_callee callee;
        LONG number;
        std::u16string description;
    } cases[] = {
        {{DISP_E_EXCEPTION, static_cast<LONG>(0x80040207), 0, u"No such attribute", false}, -2147220985,
         u"No such attribute"},
        {{DISP_E_EXCEPTION, 0, 1009, u"wCode", false}, 1009, u"wCode"},
        {{DISP_E_EXCEPTION, 0, 0, nullptr, true}, -2147220991, u"filled in"},
        {{DISP_E_UNKNOWNNAME, 0, 0, nullptr, false}, 438, u"Object doesn't support this property or method"},
        {{DISP_E_MEMBERNOTFOUND, 0, 0, nullptr, false}, 438, u"Object doesn't support this property or method"},
        {{DISP_E_TYPEMISMATCH, 0, 0, nullptr, false}, 13, u"Type mismatch"},
        {{DISP_E_OVERFLOW, 0, 0, nullptr, false}, 6, u"Overflow"},
    };
    for (const auto& c : cases) {
        oa::unique_excepinfo e;
        e.scode = c.callee.scode;
        e.wCode = c.callee.wcode;
        if (c.callee.description) e.bstrDescription = oa::make_bstr(c.callee.description).release();
        if (c.callee.deferred) e.pfnDeferredFillIn = &fill_in;
        const oa::com_error failure = oa::late::failure_of(c.callee.hr, e);
        EXPECT_EQ(c.number, failure.number()) << oa::utf16_to_utf8(c.description);
        EXPECT_EQ(c.description, failure.description());
    }
}

TEST(LateBound, ResultsAreReadAsTheCallerReliesOnThem) {
    oa::unique_variant v;
    v.vt = VT_I2;
    v.iVal = 7;
    EXPECT_EQ(7, oa::late::number_of(v));
    v.vt = VT_R8;
    v.dblVal = 2.0;
    EXPECT_EQ(2, oa::late::number_of(v));
    EXPECT_EQ(u"2", oa::view(oa::late::text_of(v).get()));
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(u"True", oa::view(oa::late::text_of(v).get()));
    v.vt = VT_EMPTY;
    EXPECT_EQ(u"", oa::view(oa::late::text_of(v).get()));
    EXPECT_EQ(nullptr, oa::late::object_of(v).get());
    v.vt = VT_NULL;
    EXPECT_THROW(oa::late::text_of(v), oa::com_error);

    // An object from VT_UNKNOWN is asked for IDispatch; one without it is a type mismatch.
    auto* object = new rt_test::TestObject;
    v.vt = VT_UNKNOWN;
    v.punkVal = object;
    EXPECT_EQ(static_cast<IDispatch*>(object), oa::late::object_of(v).get());
    object->dispatchable = false;
    try {
        oa::late::object_of(v);
        ADD_FAILURE() << "no failure";
    } catch (const oa::com_error& e) {
        EXPECT_EQ(13, e.number());
    }
}

TEST(LateBound, ANameTheObjectDoesNotKnowIs438) {
    auto* object = new rt_test::TestObject;  // answers no name
    try {
        oa::late::id_of(object, u"Anything");
        ADD_FAILURE() << "no failure";
    } catch (const oa::com_error& e) {
        EXPECT_EQ(438, e.number());
    }
    object->Release();
}

}  // namespace
