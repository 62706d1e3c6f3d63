// Administration: who may administer, groups, the staged tables, preferences.
#include "emulator_test.h"

#include <tests/support/late_bound.h>

namespace emu_test {
namespace {

bool has_user(const nlohmann::json& server, const std::string& name) {
    for (const auto& u : server.at("users"))
        if (u.at("name") == name) return true;
    return false;
}
nlohmann::json user_in(const nlohmann::json& server, const std::string& name) {
    for (const auto& u : server.at("users"))
        if (u.at("name") == name) return u;
    return nullptr;
}

TEST_F(EmuSessionTest, GroupStatuses) {
    LONG s = 9;
    // The status that the call just wrote.
    auto status = [&](HRESULT hr) {
        EXPECT_EQ(S_OK, hr) << error_text();
        return s;
    };
    EXPECT_EQ(1, status(api->CreateGroup(user.get(), B(u"builders"), &s)));
    EXPECT_EQ(0, status(api->CreateGroup(user.get(), B(u"builders"), &s))) << "the group exists";
    EXPECT_EQ(0, status(api->CreateGroup(user.get(), B(u"reviewers"), &s)));
    EXPECT_EQ(1, status(api->AssignUserToGroup(user.get(), B(u"builders"), B(u"joe"), &s)));
    EXPECT_EQ(0, status(api->AssignUserToGroup(user.get(), B(u"builders"), B(u"nobody"), &s)));
    EXPECT_EQ(0, status(api->AssignUserToGroup(user.get(), B(u"nogroup"), B(u"joe"), &s)));
    EXPECT_EQ(1, status(api->PrepareGroupDeletion(user.get(), B(u"reviewers"), &s)));
    EXPECT_EQ(0, status(api->PrepareGroupDeletion(user.get(), B(u"nogroup"), &s)));

    auto groups = saved_server().at("groups");
    ASSERT_EQ(2u, groups.size());
    EXPECT_EQ("builders", groups[1].at("name"));
    EXPECT_EQ(nlohmann::json({"joe"}), groups[1].at("members"));

    EXPECT_EQ(1, status(api->DeleteGroup(user.get(), B(u"builders"), &s)));
    EXPECT_EQ(0, status(api->DeleteGroup(user.get(), B(u"builders"), &s)));
    EXPECT_EQ(0, status(api->PrepareGroupDeletion(user.get(), B(u"builders"), &s)));
    EXPECT_EQ(1u, saved_server().at("groups").size());
}

TEST_F(EmuSessionTest, AdministrationNeedsAUserWhoHoldsAdmin) {
    com_ptr<IUser> joe = login(api.get(), u"joe", u"pw", u"developer");
    LONG s = 9;
    ASSERT_EQ(S_OK, api->CreateGroup(joe.get(), B(u"g"), &s));
    EXPECT_EQ(0, s);
    ASSERT_EQ(S_OK, api->PrepareGroupDeletion(joe.get(), B(u"reviewers"), &s));
    EXPECT_EQ(0, s);
    ASSERT_EQ(S_OK, api->DeleteGroup(joe.get(), B(u"reviewers"), &s));
    EXPECT_EQ(0, s);
    ASSERT_EQ(S_OK, api->AssignUserToGroup(joe.get(), B(u"reviewers"), B(u"joe"), &s));
    EXPECT_EQ(0, s);

    com_ptr<IUser> row = new_user();
    ASSERT_EQ(S_OK, row->SetUserInfo(B(u"kim"), B(u"pw"), B(u"developer"), B(u"/db/alpha")));
    IDispatch* rows[] = {row.get()};
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddUsers(joe.get(), rows, 1, message.put()));
    EXPECT_EQ("", u8(message));
    ASSERT_EQ(S_OK, api->AddAPreferenceForAUser(joe.get(), B(u"joe"), B(u"editor"), B(u"vi"), VARIANT_TRUE,
                                                message.put()));
    EXPECT_EQ("", u8(message));
    EXPECT_FALSE(has_user(saved_server(), "kim"));
    EXPECT_EQ(1u, saved_server().at("groups").size());
}

TEST_F(EmuSessionTest, AddUsersReadsExactlyCountRows) {
    com_ptr<IUser> kim = new_user(), lee = new_user();
    ASSERT_EQ(S_OK, kim->SetUserInfo(B(u"kim"), B(u"pw1"), B(u"developer"), B(u"/db/alpha")));
    ASSERT_EQ(S_OK, lee->SetUserInfo(B(u"joe"), B(u"new"), B(u"Admin"), B(u"/db/alpha")));
    guarded_rows<IDispatch*> table(2);
    table[0] = kim.get();
    table[1] = lee.get();
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddUsers(user.get(), table.rows(), 2, message.put())) << error_text();
    EXPECT_NE(std::string::npos, u8(message).find("kim")) << u8(message);

    auto server = saved_server();
    ASSERT_TRUE(has_user(server, "kim"));
    EXPECT_EQ("pw1", user_in(server, "kim").at("password"));
    EXPECT_EQ(nlohmann::json({"developer"}), user_in(server, "kim").at("roles"));
    EXPECT_EQ(nlohmann::json({"developer", "Admin"}), user_in(server, "joe").at("roles"))
        << "an existing user is updated";
    EXPECT_NE("", token(login(api.get(), u"kim", u"pw1", u"developer").get()));
}

TEST_F(EmuSessionTest, AUserNamedTwiceInOneBatchIsCreatedOnceThenUpdated) {
    com_ptr<IUser> first = new_user(), existing = new_user(), again = new_user();
    ASSERT_EQ(S_OK, first->SetUserInfo(B(u"kim"), B(u"pw1"), B(u"developer"), B(u"/db/alpha")));
    ASSERT_EQ(S_OK, existing->SetUserInfo(B(u"joe"), B(u"new"), B(u""), B(u"/db/alpha")));
    ASSERT_EQ(S_OK, again->SetUserInfo(B(u"kim"), B(u"pw2"), B(u"reviewer"), B(u"/db/alpha")));
    guarded_rows<IDispatch*> table(3);
    table[0] = first.get();
    table[1] = existing.get();
    table[2] = again.get();
    const std::size_t users_before = saved_server().at("users").size();
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddUsers(user.get(), table.rows(), 3, message.put())) << error_text();
    EXPECT_EQ("AddUsers: created 1 user(s): kim; updated 2 user(s): joe, kim", u8(message));

    auto server = saved_server();
    EXPECT_EQ(users_before + 1, server.at("users").size());
    EXPECT_EQ("pw2", user_in(server, "kim").at("password")) << "the later row wins";
    EXPECT_EQ(nlohmann::json({"developer", "reviewer"}), user_in(server, "kim").at("roles"));
    EXPECT_EQ("new", user_in(server, "joe").at("password"));
    EXPECT_EQ(nlohmann::json({"developer"}), user_in(server, "joe").at("roles")) << "an empty role adds none";
}

TEST_F(EmuSessionTest, AnUnfilledRowOrACountBelowOneChangesNothing) {
    com_ptr<IUser> kim = new_user(), blank = new_user(), mapped = new_user();
    ASSERT_EQ(S_OK, kim->SetUserInfo(B(u"kim"), B(u"pw1"), B(u"developer"), B(u"/db/alpha")));
    ASSERT_EQ(S_OK, mapped->SetNameMapping(B(u"lee"), B(u"Lee")));  // filled, but by another operation
    for (IDispatch* second : {static_cast<IDispatch*>(blank.get()), static_cast<IDispatch*>(mapped.get()), static_cast<IDispatch*>(nullptr)}) {
        guarded_rows<IDispatch*> table(2);
        table[0] = kim.get();
        table[1] = second;
        oa::unique_bstr message;
        ASSERT_EQ(S_OK, api->AddUsers(user.get(), table.rows(), 2, message.put()));
        EXPECT_EQ("", u8(message));
        ASSERT_EQ(S_OK, api->AddUsersRoles(user.get(), table.rows(), 2, message.put()));
        EXPECT_EQ("", u8(message));
    }
    guarded_rows<IDispatch*> none(0);
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddUsers(user.get(), none.rows(), 0, message.put()));
    EXPECT_EQ("", u8(message));
    ASSERT_EQ(S_OK, api->AddUsers(user.get(), none.rows(), -3, message.put()));
    EXPECT_EQ("", u8(message));
    EXPECT_FALSE(has_user(saved_server(), "kim"));
}

TEST_F(EmuSessionTest, AddUsersRolesAddsBlankSeparatedRoles) {
    com_ptr<IUser> row = new_user(), ghost = new_user();
    ASSERT_EQ(S_OK, row->SetRoleInfo(B(u"joe"), B(u"tester  Admin developer"), B(u"/db/alpha")));
    ASSERT_EQ(S_OK, ghost->SetRoleInfo(B(u"nobody"), B(u"tester"), B(u"/db/alpha")));
    guarded_rows<IDispatch*> table(2);
    table[0] = row.get();
    table[1] = ghost.get();
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddUsersRoles(user.get(), table.rows(), 2, message.put()));
    EXPECT_NE(std::string::npos, u8(message).find("nobody")) << "the message names the skipped user";
    EXPECT_EQ(nlohmann::json({"developer", "tester", "Admin"}), user_in(saved_server(), "joe").at("roles"));
    com_ptr<IUser> joe;
    ASSERT_EQ(S_OK, api->AdminLogin(B(u"joe"), B(u"pw"), B(u"Admin"), B(u"/db/alpha"), joe.put()));
    EXPECT_NE("", token(joe.get()));
}

// A VARIANT row that refers to a User without owning it.
VARIANT row_of(IUser* user) {
    VARIANT v;
    VariantInit(&v);
    if (user) {
        v.vt = VT_DISPATCH;
        v.pdispVal = user;
    }
    return v;
}

TEST_F(EmuSessionTest, SetMerivexUsernamesReadsVariantRowsAndReportsTheRowsApplied) {
    com_ptr<IUser> jane = new_user(), ghost = new_user(), blank = new_user();
    ASSERT_EQ(S_OK, jane->SetNameMapping(B(u"jane"), B(u"Jane D.")));
    ASSERT_EQ(S_OK, ghost->SetNameMapping(B(u"nobody"), B(u"No Body")));
    guarded_rows<VARIANT> table(2);
    table[0] = row_of(jane.get());
    table[1] = row_of(ghost.get());
    SHORT count = 2;
    oa::unique_variant result;
    ASSERT_EQ(S_OK, api->SetMerivexUsernames(user.get(), table.rows(), &count, &result)) << error_text();
    EXPECT_EQ(1, count) << "the unknown user is not applied";
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_NE(std::string::npos, u8(result.bstrVal).find("jane"));
    auto maps = saved_server().at("name_mappings");
    ASSERT_EQ(1u, maps.size());
    EXPECT_EQ("Jane D.", maps[0].at("quellar_user"));

    // Nothing applied: the empty text and a count of 0.
    guarded_rows<VARIANT> only_ghost(1);
    only_ghost[0] = row_of(ghost.get());
    count = 1;
    ASSERT_EQ(S_OK, api->SetMerivexUsernames(user.get(), only_ghost.rows(), &count, result.put()));
    EXPECT_EQ(0, count);
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_EQ("", u8(result.bstrVal));

    // An unfilled row in the batch.
    table[1] = row_of(blank.get());
    count = 2;
    ASSERT_EQ(S_OK, api->SetMerivexUsernames(user.get(), table.rows(), &count, result.put()));
    EXPECT_EQ(0, count);
    EXPECT_EQ("", u8(result.bstrVal));
}

TEST_F(EmuSessionTest, SetMerivexUsernamesLateBoundByName) {
    using namespace q2mr_test;
    com_ptr<IUser> jane = new_user();
    ASSERT_EQ(S_OK, jane->SetNameMapping(B(u"jane"), B(u"J")));
    var u = var::object(user.get());
    by_ref row(var::object(jane.get()));
    by_ref count(var(SHORT{1}));
    call_outcome out = call_method(api.get(), u"SetMerivexUsernames", {arg(u), arg(row), arg(count)});
    ASSERT_EQ(S_OK, out.hr) << oa::utf16_to_utf8(out.description());
    EXPECT_EQ(VT_BSTR, out.result.vt);
    EXPECT_NE(u"", out.result.str());
    ASSERT_EQ(VT_I2, count.value.vt);
    EXPECT_EQ(1, count.value.iVal);

    // As the component calls it: a block of rows behind row 0, the count as the caller's Integer.
    com_ptr<IUser> ghost = new_user();
    ASSERT_EQ(S_OK, ghost->SetNameMapping(B(u"nobody"), B(u"N")));
    guarded_rows<VARIANT> table(2);
    table[0] = row_of(ghost.get());
    table[1] = row_of(jane.get());
    SHORT n = 2;
    VARIANT args[3];  // last first
    args[0].vt = VT_BYREF | VT_I2;
    args[0].piVal = &n;
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = table.rows();
    args[2].vt = VT_DISPATCH;
    args[2].pdispVal = user.get();
    call_outcome direct = invoke_id(api.get(), id_of(api.get(), u"SetMerivexUsernames"), DISPATCH_METHOD,
                                    {args[2], args[1], args[0]});
    ASSERT_EQ(S_OK, direct.hr) << oa::utf16_to_utf8(direct.description());
    EXPECT_EQ(1, n) << "one of the two rows names a known user";
}

TEST_F(EmuSessionTest, LateBoundTableCallsCarryOneRow) {
    using namespace q2mr_test;
    com_ptr<IUser> kim = new_user();
    ASSERT_EQ(S_OK, kim->SetUserInfo(B(u"kim"), B(u"pw1"), B(u"developer"), B(u"/db/alpha")));
    var u = var::object(user.get()), row = var::object(kim.get()), two(SHORT{2}), one(SHORT{1});
    call_outcome refused = call_method(api.get(), u"AddUsers", {arg(u), arg(row), arg(two)});
    EXPECT_EQ(mremu::errors::too_many_rows, refused.code());
    EXPECT_FALSE(has_user(saved_server(), "kim"));
    call_outcome done = call_method(api.get(), u"AddUsers", {arg(u), arg(row), arg(one)});
    ASSERT_EQ(S_OK, done.hr) << oa::utf16_to_utf8(done.description());
    EXPECT_NE(u"", done.result.str());
    EXPECT_TRUE(has_user(saved_server(), "kim"));
}

TEST_F(EmuSessionTest, PreferencesAreSetForKnownUsers) {
    oa::unique_bstr message;
    ASSERT_EQ(S_OK, api->AddAPreferenceForAUser(user.get(), B(u"joe"), B(u"editor"), B(u"emacs"), VARIANT_FALSE,
                                                message.put()));
    EXPECT_NE("", u8(message));
    ASSERT_EQ(S_OK, api->AddAPreferenceForAUser(user.get(), B(u"jane"), B(u"editor"), B(u"nano"), VARIANT_FALSE,
                                                message.put()));
    ASSERT_EQ(S_OK, api->AddAPreferenceForAUser(user.get(), B(u"nobody"), B(u"editor"), B(u"x"), VARIANT_TRUE,
                                                message.put()));
    EXPECT_EQ("", u8(message));
    auto prefs = saved_server().at("preferences");
    ASSERT_EQ(2u, prefs.size());
    EXPECT_EQ("nano", prefs[0].at("value"));
    EXPECT_EQ(false, prefs[0].at("all_dbs"));
    EXPECT_EQ("joe", prefs[1].at("user"));
}

}  // namespace
}  // namespace emu_test
