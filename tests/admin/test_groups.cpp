// Group operations: a status becomes a Boolean; every failure becomes False with one log line.
#include <tests/admin/admin_test.h>

using namespace q2mr_test;

namespace {

class Groups : public AdminTest {
protected:
    VARIANT_BOOL create(std::u16string_view group) {
        VARIANT_BOOL r = 7;
        last_hr = session->CreateAGroup(S(group), &r);
        return r;
    }
    VARIANT_BOOL remove(std::u16string_view group) {
        VARIANT_BOOL r = 7;
        last_hr = session->DeleteAGroup(S(group), &r);
        return r;
    }
    VARIANT_BOOL assign(std::u16string_view user, std::u16string_view group) {
        VARIANT_BOOL r = 7;
        last_hr = session->AddUserToGroup(S(user), S(group), &r);
        return r;
    }
    bool group_exists(const std::string& name) { return has_entry(server_state().at("groups"), {{"name", name}}); }
};

TEST_F(Groups, CreateAGroupCreatesTheGroupAndAnswersTheStatusAsABoolean) {
    connect_and_login();
    EXPECT_EQ(VARIANT_TRUE, create(u"testers"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(lines{u"CreateAGroup():"}, log);
    EXPECT_TRUE(group_exists("testers"));
    // A second creation is refused by the server with status 0.
    log.clear();
    EXPECT_EQ(VARIANT_FALSE, create(u"testers"));
    EXPECT_EQ(lines{u"CreateAGroup():"}, log);
}

TEST_F(Groups, AnyNonZeroStatusIsTrue) {
    auto stub = use_stub_api();
    for (LONG status : {1, -1, 2, INT32_MIN}) {
        stub->create_status = stub->prepare_status = stub->delete_status = stub->assign_status = status;
        EXPECT_EQ(VARIANT_TRUE, create(u"g")) << status;
        EXPECT_EQ(VARIANT_TRUE, remove(u"g")) << status;
        EXPECT_EQ(VARIANT_TRUE, assign(u"u", u"g")) << status;
    }
    stub->create_status = stub->assign_status = 0;
    EXPECT_EQ(VARIANT_FALSE, create(u"g"));
    EXPECT_EQ(VARIANT_FALSE, assign(u"u", u"g"));
}

TEST_F(Groups, DeleteAGroupDeletesAfterThePreparationSucceeded) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(VARIANT_TRUE, remove(u"reviewers"));
    EXPECT_EQ((std::vector<std::string>{"PrepareGroupDeletion", "DeleteGroup"}), journal_ops());
    EXPECT_EQ(lines{u"DeleteAGroup():"}, log);
    EXPECT_FALSE(group_exists("reviewers"));
}

TEST_F(Groups, DeleteAGroupMakesNoSecondCallAfterAZeroPreparation) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(VARIANT_FALSE, remove(u"no such group"));
    EXPECT_EQ(std::vector<std::string>{"PrepareGroupDeletion"}, journal_ops());
    EXPECT_EQ(lines{u"DeleteAGroup():"}, log);
}

TEST_F(Groups, DeleteAGroupIsFalseWhenOnlyTheSecondStepReportsZero) {
    auto stub = use_stub_api();
    stub->delete_status = 0;
    EXPECT_EQ(VARIANT_FALSE, remove(u"g"));
    EXPECT_EQ((std::vector<std::string>{"PrepareGroupDeletion", "DeleteGroup"}), stub->calls);
}

TEST_F(Groups, AddUserToGroupHandsTheGroupBeforeTheUser) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(VARIANT_TRUE, assign(u"joe", u"reviewers"));
    auto calls = journal_of("AssignUserToGroup");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, "reviewers", "joe"])"), calls[0].at("args"));
    EXPECT_TRUE(has_entry(server_state().at("groups"), {{"name", "reviewers"}, {"members", {"jane", "joe"}}}));
    EXPECT_EQ(lines{u"AddUserToGroup():"}, log);
}

TEST_F(Groups, WithoutAConnectionEveryMethodIsFalseAndLogsExitFunction) {
    EXPECT_EQ(VARIANT_FALSE, create(u"g"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(VARIANT_FALSE, remove(u"g"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(VARIANT_FALSE, assign(u"u", u"g"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ((lines{u"CreateAGroup():", u"    Exit Function", u"DeleteAGroup():", u"    Exit Function",
                     u"AddUserToGroup():", u"    Exit Function"}),
              log);
}

TEST_F(Groups, ALibraryFailureIsFalseAndNothingOfItReachesTheScript) {
    connect_and_login();
    inject_fault(u"DeleteGroup", injected, u"disk full");
    EXPECT_EQ(VARIANT_FALSE, remove(u"reviewers"));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ((lines{u"DeleteAGroup():", u"    Exit Function"}), log);
    EXPECT_TRUE(group_exists("reviewers"));
    // Without a login the absent User goes to the library, which refuses it.
    log.clear();
    IDispatch* nobody = nullptr;
    ASSERT_EQ(S_OK, session->put_User(&nobody));
    EXPECT_EQ(VARIANT_FALSE, create(u"g"));
    EXPECT_EQ((lines{u"CreateAGroup():", u"    Exit Function"}), log);
}

}  // namespace
