// BSTR layout and the Sys* functions.
#include "oleauto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::u16string text_of(BSTR b) { return std::u16string(b, SysStringLen(b)); }

std::uint32_t prefix_of(BSTR b) {
    std::uint32_t n;
    std::memcpy(&n, reinterpret_cast<const char*>(b) - 4, 4);
    return n;
}

TEST(Strings, LayoutIsLengthPrefixedAlignedAndTerminated) {
    BSTR b = SysAllocString(u"abc");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(prefix_of(b), 6u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % sizeof(void*), 0u);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    SysFreeString(b);
}

TEST(Strings, EmbeddedZerosAreKept) {
    const OLECHAR text[] = {u'a', 0, u'b', 0, 0};
    BSTR b = SysAllocStringLen(text, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 4u);  // the allocated length, not up to the first zero
    EXPECT_EQ(text_of(b), std::u16string(text, 4));
    EXPECT_EQ(b[4], 0);
    SysFreeString(b);
}

TEST(Strings, NullAndEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST(Strings, AllocWithoutSourceIsZeroFilled) {
    BSTR b = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_EQ(text_of(b), std::u16string(5, u'\0'));
    SysFreeString(b);
}

TEST(Strings, ByteLenKeepsOddLengths) {
    BSTR b = SysAllocStringByteLen("xyz", 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringByteLen(b), 3u);
    EXPECT_EQ(SysStringLen(b), 1u);
    EXPECT_EQ(std::memcmp(b, "xyz", 3), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(b)[3], 0);
    EXPECT_EQ(reinterpret_cast<const char*>(b)[4], 0);
    SysFreeString(b);
}

TEST(Strings, OverflowingSizesReturnNull) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
    BSTR b = SysAllocString(u"keep");
    EXPECT_FALSE(SysReAllocStringLen(&b, nullptr, 0xFFFFFFFFu));
    EXPECT_EQ(text_of(b), u"keep");
    SysFreeString(b);
}

TEST(Strings, ReAlloc) {
    BSTR b = nullptr;
    ASSERT_TRUE(SysReAllocString(&b, u"first"));
    EXPECT_EQ(text_of(b), u"first");
    ASSERT_TRUE(SysReAllocString(&b, u"second one"));
    EXPECT_EQ(text_of(b), u"second one");
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    SysFreeString(b);
}

TEST(Strings, ReAllocFromItselfKeepsTheText) {
    BSTR b = SysAllocString(u"abc");
    ASSERT_TRUE(SysReAllocStringLen(&b, b, 6));  // growing from its own text
    EXPECT_EQ(SysStringLen(b), 6u);
    EXPECT_EQ(text_of(b).substr(0, 3), u"abc");
    ASSERT_TRUE(SysReAllocStringLen(&b, b + 1, 2));  // a piece of itself
    EXPECT_EQ(text_of(b), u"bc");
    SysFreeString(b);
}

}  // namespace
