// CreateRelation: one request to the server, its answer passed on, an empty answer
// replaced, a failure turned into text; never a log line.
#include "crdata_fixture.h"

#include <emulator/emulator.h>
#include <tests/support/late_bound.h>

using namespace q2mr_test;

namespace {

using Relation = CrDataTest;

bool has_relation(const nlohmann::json& server, const std::string& from, const std::string& to,
                  const std::string& name) {
    for (const auto& r : server.at("relations"))
        if (r.at("from") == from && r.at("to") == to && r.at("name") == name) return true;
    return false;
}

TEST_F(Relation, AnAcceptedRelationReturnsTheServersAnswerAfterOneRequestAndLogsNothing) {
    connect_and_login();
    const LONG held = live_all();
    start_journal();
    const std::u16string answer = create_relation(0, u"18", u"4712");
    EXPECT_FALSE(answer.empty());
    EXPECT_NE(0u, answer.rfind(u"Create relation failed", 0)) << utf8(answer);
    EXPECT_EQ(std::vector<std::string>{"CreateRelationship"}, journal_ops());
    EXPECT_TRUE(has_relation(state(), "18", "4712", "associated_cv"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(held, live_all());
}

TEST_F(Relation, TheFlagAndTheTextsReachTheServerUnchanged) {
    connect_and_login();
    start_journal();
    create_relation(7, u"17", u"4713", u"parent cv", u"special");
    const auto entries = journal();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, 7, "17", "4713", "parent cv", "special"])"),
              entries[0].at("args"));
}

TEST_F(Relation, AnEmptyAnswerBecomesThePermissionText) {
    connect_and_login();
    // The emulated server refuses a relation to an object it does not know with an empty answer.
    EXPECT_EQ(u"Create relation failed: Permission Denied", create_relation(-1, u"17", u"9999"));
    EXPECT_FALSE(has_relation(state(), "17", "9999", "associated_cv"));
    EXPECT_TRUE(log.empty());
}

TEST_F(Relation, ALibraryFailureBecomesTheFailureTextWithItsSignPosition) {
    connect_and_login();
    inject_fault(u"CreateRelationship", mremu::errors::unknown_object, u"no object 99");
    EXPECT_EQ(u"CreateRelation failed -2147220981 no object 99", create_relation(0, u"99", u"4711"));
    inject_fault(u"CreateRelationship", oa::vb_hresult(5), u"bad call");
    EXPECT_EQ(u"CreateRelation failed  5 bad call", create_relation(0, u"17", u"4711"));
    EXPECT_TRUE(log.empty());
}

TEST_F(Relation, BeforeConnectNoRequestIsMade) {
    start_journal();
    EXPECT_EQ(u"CreateRelation failed  91 Object variable or With block variable not set",
              create_relation(0, u"17", u"4711"));
    EXPECT_TRUE(journal_ops().empty());
    EXPECT_TRUE(log.empty());
}

TEST_F(Relation, AfterConnectBeforeLoginTheRequestIsStillMadeWithAnAbsentUser) {
    connect();
    log.clear();
    start_journal();
    const std::u16string answer = create_relation(0, u"17", u"4711");
    ASSERT_EQ(1u, journal().size());
    EXPECT_EQ("CreateRelationship", journal()[0].at("op"));
    EXPECT_TRUE(journal()[0].at("args").at(0).is_null());
    // The emulated server fails a call without a user.
    EXPECT_EQ(0u, answer.rfind(u"CreateRelation failed -2147220990 ", 0)) << utf8(answer);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(1, live_all());  // the api object only
}

TEST_F(Relation, LateBoundCallAsAScriptMakesIt) {
    connect_and_login();
    by_ref both(var(0)), from(var(u"18")), to(var(u"4711")), name(var(u"associated_cv")), type(var(u"normal"));
    auto out = call_method(session.get(), u"CreateRelation", {both, from, to, name, type});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_BSTR, out.result.vt);
    EXPECT_TRUE(has_relation(state(), "18", "4711", "associated_cv"));
}

}  // namespace
