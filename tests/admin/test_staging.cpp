// The three staging tables: growth by one step per call, a new filled row object per
// call, the overflow of the bound as a failed call, and the tables' independence.
#include <tests/admin/admin_test.h>

using namespace q2mr_test;
using quellar2mrapi::staging_table;

namespace {

constexpr HRESULT overflow = static_cast<HRESULT>(0x800A0006u);

class Staging : public AdminTest {
protected:
    const staging_table& users() { return session->user_table(); }
    const staging_table& mappings() { return session->name_map_table(); }
    const staging_table& roles() { return session->role_table(); }

    // Grows UserTable to the largest bound there is, one step per call.
    void grow_users_to_the_largest_bound() {
        while (users().bound() < 32600) {
            const SHORT next = static_cast<SHORT>(users().bound() + 1);
            ASSERT_EQ(u"", stage_user(next, u"u")) << next;
        }
        ASSERT_EQ(32600, users().bound());
    }
};

// ---- AddUserToArray --------------------------------------------------------------

TEST_F(Staging, RowsUpToTheBoundAreStoredWithoutGrowthAndWithoutAConnection) {
    for (SHORT i = 0; i <= 500; ++i) ASSERT_EQ(u"", stage_user(i, u"user")) << i;
    EXPECT_EQ(500, users().bound());
    for (LONG i = 0; i <= 500; ++i) ASSERT_NE(nullptr, users().row(i)) << i;
    EXPECT_EQ(501, live(u"User"));
    EXPECT_EQ(lines(501, u"AddUserToArray():"), log) << "the entry line only, nothing of the arguments";
}

TEST_F(Staging, TheFillOperationReceivesTheArgumentsInOrder) {
    start_journal();
    EXPECT_EQ(u"", stage_user(4, u"ann", u"secret!", u"developer", u"/db/beta"));
    auto fills = journal_of("User.SetUserInfo");
    ASSERT_EQ(1u, fills.size());
    EXPECT_EQ(nlohmann::json::parse(R"(["ann", "***", "developer", "/db/beta"])"), fills[0].at("args"));
    EXPECT_EQ((std::vector<std::string>{"new User", "User.SetUserInfo"}), journal_ops());
}

TEST_F(Staging, IndexPastTheBoundGrowsByOneStepAndStores) {
    EXPECT_EQ(u"", stage_user(501, u"ann"));
    EXPECT_EQ(800, users().bound());
    EXPECT_EQ(801, users().rows());
    EXPECT_NE(nullptr, users().row(501));
    for (LONG i = 0; i <= 800; ++i) {
        if (i == 501) continue;
        ASSERT_EQ(nullptr, users().row(i)) << "new rows are empty: " << i;
    }
}

TEST_F(Staging, EveryRowSurvivesEachGrowthUpToTheLargestBound) {
    std::vector<IUnknown*> staged;
    for (SHORT i = 0; i <= 32600; ++i) {
        ASSERT_EQ(u"", stage_user(i, u"u")) << i;
        staged.push_back(users().row(i));
    }
    ASSERT_EQ(32600, users().bound());
    for (LONG i = 0; i <= 32600; ++i) ASSERT_EQ(staged[static_cast<std::size_t>(i)], users().row(i)) << i;
    EXPECT_EQ(nullptr, users().row(32601)) << "rows past the bound are out of reach";
}

TEST_F(Staging, IndexFarPastTheBoundGrowsOnceFailsAndKeepsTheGrowth) {
    stage_user(7, u"kept");
    IUnknown* seven = users().row(7);
    EXPECT_EQ(u"AddUserToArray Error:  9 Subscript out of range", stage_user(900, u"ann"));
    EXPECT_EQ(S_OK, last_hr) << "the trap turns the failure into the result";
    EXPECT_EQ(800, users().bound());
    EXPECT_EQ(seven, users().row(7)) << "growth keeps every row at its index";
    EXPECT_EQ(1, live(u"User")) << "the unstored row object is released";
    EXPECT_EQ(lines(2, u"AddUserToArray():"), log) << "the error text is not logged";

    EXPECT_EQ(u"", stage_user(900, u"ann"));
    EXPECT_EQ(1100, users().bound());
    EXPECT_NE(nullptr, users().row(900));
}

TEST_F(Staging, NegativeIndexIsOutOfRangeWithoutGrowthInEveryTable) {
    EXPECT_EQ(u"AddUserToArray Error:  9 Subscript out of range", stage_user(-1, u"ann"));
    EXPECT_EQ(u"AddUserToNMXArray Error:  9 Subscript out of range", stage_mapping(-1, u"ann", u"Ann"));
    EXPECT_EQ(u"AddUserToRoleArray Error:  9 Subscript out of range", stage_roles(-1, u"ann", u"developer"));
    EXPECT_EQ(u"AddUserToArray Error:  9 Subscript out of range", stage_user(-32768, u"ann"));
    for (const auto* t : {&users(), &mappings(), &roles()}) EXPECT_EQ(500, t->bound());
    EXPECT_EQ(0, live(u"User"));
}

TEST_F(Staging, OverflowOfTheBoundFailsTheCallAndChangesNothing) {
    grow_users_to_the_largest_bound();
    const LONG alive = live(u"User");
    log.clear();
    for (SHORT index : {SHORT(32601), SHORT(32700), SHORT(32767)}) {
        char16_t stale[] = u"stale";  // an out argument owns nothing on entry
        BSTR r = oa::ole(stale);
        SHORT i = index;
        EXPECT_EQ(overflow, session->AddUserToArray(&i, S(u"x"), S(u"p"), S(u"r"), S(u"d"), &r)) << index;
        EXPECT_EQ(nullptr, r) << "a failed call delivers the empty text";
        oa::com_ptr<IErrorInfo> info;
        ASSERT_EQ(S_OK, GetErrorInfo(0, info.put()));
        oa::unique_bstr description;
        info->GetDescription(description.put());
        EXPECT_EQ(u"Overflow", oa::view(description.get()));
    }
    EXPECT_EQ(32600, users().bound());
    EXPECT_EQ(32601, users().rows());
    EXPECT_EQ(alive, live(u"User")) << "no row object was made";
    EXPECT_EQ(lines(3, u"AddUserToArray():"), log) << "the entry line comes before the growth";
    // The bound itself is still a row that can be staged.
    EXPECT_EQ(u"", stage_user(32600, u"last"));
}

TEST_F(Staging, OverflowReachesALateBoundCallerAsFailureSix) {
    grow_users_to_the_largest_bound();
    by_ref index(var(SHORT(32700))), name(var(u"x")), password(var(u"p")), role(var(u"r")), db(var(u"d"));
    auto out = call_method(session.get(), u"AddUserToArray", {index, name, password, role, db});
    EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(overflow, out.code());
    EXPECT_EQ(u"Overflow", out.description());
    EXPECT_EQ(32600, users().bound());
}

TEST_F(Staging, AFailedFillLeavesTheRowAsItWasAndKeepsTheGrowth) {
    stage_user(3, u"first");
    IUnknown* before = users().row(3);
    inject_fault(u"User.SetUserInfo", injected, u"row refused", 2);
    EXPECT_EQ(u"AddUserToArray Error: -2147220839 row refused", stage_user(3, u"second"));
    EXPECT_EQ(before, users().row(3));
    EXPECT_EQ(u"AddUserToArray Error: -2147220839 row refused", stage_user(650, u"third"));
    EXPECT_EQ(800, users().bound());
    EXPECT_EQ(nullptr, users().row(650));
    EXPECT_EQ(1, live(u"User")) << "each failed call released its own row object";
}

TEST_F(Staging, AFailureToMakeTheRowObjectIsTrapped) {
    inject_fault(u"new User", injected, u"no more objects");
    EXPECT_EQ(u"AddUserToRoleArray Error: -2147220839 no more objects", stage_roles(0, u"ann", u"developer"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(nullptr, roles().row(0));
}

TEST_F(Staging, StagingAnIndexAgainReplacesAndReleasesTheEarlierObject) {
    stage_user(3, u"first");
    IUnknown* first = users().row(3);
    EXPECT_EQ(1, live(u"User"));
    stage_user(3, u"second");
    EXPECT_NE(first, users().row(3));
    EXPECT_EQ(1, live(u"User")) << "the first row object was released";
}

// ---- AddUserToNMXArray and AddUserToRoleArray --------------------------------------

TEST_F(Staging, NameMappingAndRoleRowsAreFilledByTheirOwnOperations) {
    start_journal();
    EXPECT_EQ(u"", stage_mapping(0, u"jane", u"Jane Q. Doe"));
    EXPECT_EQ(u"", stage_roles(0, u"joe", u"developer reviewer", u"/db/beta"));
    ASSERT_EQ(1u, journal_of("User.SetNameMapping").size());
    EXPECT_EQ(nlohmann::json::parse(R"(["jane", "Jane Q. Doe"])"), journal_of("User.SetNameMapping")[0].at("args"));
    ASSERT_EQ(1u, journal_of("User.SetRoleInfo").size());
    EXPECT_EQ(nlohmann::json::parse(R"(["joe", "developer reviewer", "/db/beta"])"),
              journal_of("User.SetRoleInfo")[0].at("args"));
    EXPECT_EQ((lines{u"AddUserToNMXArray():", u"AddUserToRoleArray():"}), log);
}

TEST_F(Staging, TheThreeTablesAreIndependent) {
    stage_user(3, u"ann");
    EXPECT_NE(nullptr, users().row(3));
    EXPECT_EQ(nullptr, mappings().row(3));
    EXPECT_EQ(nullptr, roles().row(3));
    stage_mapping(501, u"ann", u"Ann");
    EXPECT_EQ(800, mappings().bound());
    EXPECT_EQ(500, users().bound());
    EXPECT_EQ(500, roles().bound());
    stage_roles(3, u"ann", u"developer");
    EXPECT_NE(users().row(3), roles().row(3)) << "every row is an object of its own";
    EXPECT_EQ(u"AddUserToRoleArray Error:  9 Subscript out of range", stage_roles(900, u"ann", u"developer"));
    EXPECT_EQ(800, roles().bound());
    EXPECT_EQ(800, mappings().bound());
}

// ---- Lifetime of the rows ----------------------------------------------------------

TEST_F(Staging, TheSessionReleasesEveryRowWhenItEnds) {
    stage_user(0, u"a");
    stage_mapping(0, u"a", u"A");
    stage_roles(501, u"a", u"developer");
    EXPECT_EQ(3, live(u"User"));
    session = nullptr;
    EXPECT_EQ(0, live(u"User"));
}

}  // namespace
