// The typed value record through the late-bound path, as scripts use it.
#include <value/t2DataClass.h>
#include <tests/support/late_bound.h>

#include <gtest/gtest.h>

using namespace q2mr_test;

namespace {

class ValueRecord : public ::testing::Test {
protected:
    oa::com_ptr<quellar2mrapi::t2DataClass> record = oa::make_self<quellar2mrapi::t2DataClass>();
    IDispatch* d() { return record.get(); }
    std::u16string text(const char16_t* name) {
        auto out = get_property(d(), name);
        EXPECT_EQ(S_OK, out.hr);
        EXPECT_EQ(VT_BSTR, out.result.vt);
        return out.result.str();
    }
    SHORT number(const char16_t* name) {
        auto out = get_property(d(), name);
        EXPECT_EQ(S_OK, out.hr);
        return out.result.iVal;
    }
    void put(const char16_t* name, var v) { ASSERT_EQ(S_OK, put_property(d(), name, std::move(v)).hr) << oa::utf16_to_utf8(name); }
};

TEST_F(ValueRecord, ANewRecordIsEmpty) {
    EXPECT_EQ(u"", text(u"ValueType"));
    EXPECT_EQ(u"", text(u"StringValue"));
    EXPECT_EQ(u"", text(u"ErrMsg"));
    EXPECT_EQ(0, number(u"StringValueSize"));
    EXPECT_EQ(0, number(u"IntegerValue"));
    auto flag = get_property(d(), u"BooleanValue");
    EXPECT_EQ(VT_BOOL, flag.result.vt);
    EXPECT_EQ(VARIANT_FALSE, flag.result.boolVal);
}

TEST_F(ValueRecord, EachPutSetsTheTypeTagItOwns) {
    put(u"IntegerValue", var(12));
    EXPECT_EQ(u"", text(u"ValueType")) << "IntegerValue leaves the tag alone";
    put(u"StringValue", var(u"abc"));
    EXPECT_EQ(u"String", text(u"ValueType"));
    put(u"IntegerValue", var(13));
    EXPECT_EQ(u"String", text(u"ValueType"));
    put(u"StringValueSize", var(99));
    EXPECT_EQ(u"Integer", text(u"ValueType")) << "the size's put tags Integer";
    EXPECT_EQ(u"abc", text(u"StringValue"));
    put(u"BooleanValue", var(true));
    EXPECT_EQ(u"Boolean", text(u"ValueType"));
    put(u"ValueType", var(u"anything at all"));
    EXPECT_EQ(u"anything at all", text(u"ValueType"));
    put(u"ErrMsg", var(u"broken"));
    EXPECT_EQ(u"anything at all", text(u"ValueType"));
    EXPECT_EQ(u"broken", text(u"ErrMsg"));
    put(u"StringValue", var(u"abc"));
    EXPECT_EQ(u"String", text(u"ValueType")) << "a put of the same value still tags";
}

TEST_F(ValueRecord, NumbersAreStoredUnchangedAndUnrelatedToTheText) {
    put(u"StringValue", var(u"four"));
    put(u"StringValueSize", var(-7));
    EXPECT_EQ(-7, number(u"StringValueSize"));
    EXPECT_EQ(u"four", text(u"StringValue"));
    put(u"BooleanValue", var(SHORT{5}));
    auto flag = get_property(d(), u"BooleanValue");
    // A Boolean coerced from 5 is True, as the standard conversion makes it.
    EXPECT_EQ(VARIANT_TRUE, flag.result.boolVal);
    SHORT raw = 5;
    ASSERT_EQ(S_OK, record->put_BooleanValue(&raw));
    VARIANT_BOOL back = 0;
    ASSERT_EQ(S_OK, record->get_BooleanValue(&back));
    EXPECT_EQ(5, back) << "the 16-bit value is kept, not normalised";
    EXPECT_EQ(DISP_E_OVERFLOW, put_property(d(), u"IntegerValue", var(70000)).hr);
}

TEST_F(ValueRecord, TextsKeepEmbeddedZerosAndReadBackAsCopies) {
    std::u16string with_zero(u"a\0b", 3);
    put(u"StringValue", var(std::u16string_view(with_zero)));
    EXPECT_EQ(with_zero, text(u"StringValue"));
    oa::unique_bstr first, second;
    ASSERT_EQ(S_OK, record->get_StringValue(first.put()));
    ASSERT_EQ(S_OK, record->get_StringValue(second.put()));
    EXPECT_NE(first.get(), second.get());
}

}  // namespace
