// encodeXML: the result of three replacement passes (& first, then <, then >), made in one.
#include <component/t2mrapp.h>
#include <tests/support/late_bound.h>
#include <tests/support/session_fixture.h>

#include <gtest/gtest.h>

#include <random>

using namespace q2mr_test;

namespace {

class EncodeXml : public ::testing::Test {
protected:
    std::u16string encode(std::u16string_view text) {
        text_result result;
        EXPECT_EQ(S_OK, session->encodeXML(S(text), result));
        return result.str();
    }
    oa::com_ptr<quellar2mrapi::t2mrapp> session = oa::make_self<quellar2mrapi::t2mrapp>();
};

// The three passes as they read, one after the other.
std::u16string three_passes(std::u16string text) {
    const std::pair<char16_t, std::u16string_view> passes[] = {{u'&', u"&amp;"}, {u'<', u"&lt;"}, {u'>', u"&gt;"}};
    for (const auto& [c, entity] : passes) {
        std::u16string next;
        for (char16_t u : text) {
            if (u == c) next.append(entity);
            else next.push_back(u);
        }
        text = std::move(next);
    }
    return text;
}

TEST_F(EncodeXml, EmptyTextStaysEmpty) { EXPECT_EQ(u"", encode(u"")); }

TEST_F(EncodeXml, TextWithoutTheThreeCharactersComesBackUnchanged) {
    EXPECT_EQ(u"plain text, \"quoted\" and 'single'; tabs\tand\r\nbreaks",
              encode(u"plain text, \"quoted\" and 'single'; tabs\tand\r\nbreaks"));
}

TEST_F(EncodeXml, EachCharacterBecomesItsEntityAndAmpersandsOfEntitiesAreEscapedAgain) {
    EXPECT_EQ(u"a &amp; b", encode(u"a & b"));
    EXPECT_EQ(u"&lt;tag attr=\"v\"&gt;", encode(u"<tag attr=\"v\">"));
    EXPECT_EQ(u"&amp;lt; is not recognised", encode(u"&lt; is not recognised"));
    EXPECT_EQ(u"&amp;&amp;&lt;&lt;&gt;&gt;", encode(u"&&<<>>"));
}

TEST_F(EncodeXml, LookAlikesZeroCharactersAndNonAsciiPassUnchanged) {
    // Full-width ampersand, less-than and greater-than; '=' and '?' sit next to '<' and '>'.
    const std::u16string text(u"\uFF06\uFF1C\uFF1E=?;\u00E9\u20AC\0x", 10);
    EXPECT_EQ(text, encode(text));
}

TEST_F(EncodeXml, MatchesTheThreePassesOnTextsOfEveryLengthAroundTheScanBlocks) {
    std::mt19937 random(6);
    const char16_t alphabet[] = u"&<>ab=?\u00FC\uFF06";
    for (std::size_t length = 0; length < 700; ++length) {
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) text.push_back(alphabet[random() % 9]);
        ASSERT_EQ(three_passes(text), encode(text)) << "length " << length;
        // Long clean stretches with one special character at the end.
        std::u16string sparse(length, u'x');
        sparse.push_back(u'>');
        ASSERT_EQ(three_passes(sparse), encode(sparse)) << "length " << length;
    }
}

TEST_F(EncodeXml, LateBoundCallAsAScriptMakesIt) {
    by_ref text(var(u"R&D <lab>"));
    auto out = call_method(session.get(), u"encodeXML", {text});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"R&amp;D &lt;lab&gt;", out.result.str());
    EXPECT_EQ(u"R&D <lab>", text.value.str());
}

}  // namespace
