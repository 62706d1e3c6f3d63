// Batch commits: one table from row 0 in one library call, the message logged and
// returned, an empty message replaced, and failures turned into error texts.
#include <tests/admin/admin_test.h>

using namespace q2mr_test;

namespace {

const std::u16string add_users_line = u"    return from api.AddUsers(), ErrMsg=";
const std::u16string set_usernames_line = u"    return from api.SetMerivexUsernames(), ErrMsg=";
const std::u16string add_roles_line = u"    return from api.AddUsersRoles(), ErrMsg=";

class Batch : public AdminTest {
protected:
    // jane (an administrator) and joe, and a user the server does not know.
    void stage_three_mappings() {
        ASSERT_EQ(u"", stage_mapping(0, u"jane", u"Jane Q. Doe"));
        ASSERT_EQ(u"", stage_mapping(1, u"ghost", u"Nobody"));
        ASSERT_EQ(u"", stage_mapping(2, u"joe", u"Joe Bloggs"));
    }
    void login_without_admin_rights() {
        ASSERT_EQ(u"", connect());
        ASSERT_EQ(u"", login(u"joe", u"pw", u"developer"));
        log.clear();
    }
    static nlohmann::json rows_of(const nlohmann::json& entry) { return entry.at("args").at(1); }
    static nlohmann::json count_of(const nlohmann::json& entry) { return entry.at("args").at(2); }
};

// ---- CreateUsers -----------------------------------------------------------------

TEST_F(Batch, CreateUsersCreatesTheStagedUsersWhoCanThenLogIn) {
    connect_and_login();
    ASSERT_EQ(u"", stage_user(0, u"ann", u"pw-ann", u"developer"));
    ASSERT_EQ(u"", stage_user(1, u"bob", u"pw-bob", u"reviewer"));
    log.clear();
    start_journal();
    const std::u16string message = create_users(2);
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_NE(std::u16string::npos, message.find(u"ann")) << utf8(message);
    EXPECT_EQ((std::vector<std::string>{"AddUsers", "LoadConfigurationData"}), journal_ops());
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(u"CreateUsers():", log[0]);
    EXPECT_EQ(add_users_line + message, log[1]);
    EXPECT_EQ(0u, log[2].rfind(u"    LoadConfigurationData:", 0)) << utf8(log[2]);
    EXPECT_GT(log[2].size(), std::u16string_view(u"    LoadConfigurationData:").size()) << "its text follows";
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, {"class": "User"}])"), rows_of(journal_of("AddUsers")[0]));
    EXPECT_TRUE(logs_in(u"ann", u"pw-ann", u"developer"));
    EXPECT_TRUE(logs_in(u"bob", u"pw-bob", u"reviewer"));
    EXPECT_FALSE(logs_in(u"bob", u"wrong", u"reviewer"));
}

TEST_F(Batch, TheSameRowsAreSentAgainByASecondCall) {
    connect_and_login();
    stage_user(0, u"ann", u"pw-ann");
    IUnknown* row = session->user_table().row(0);
    const std::u16string first = create_users(1);
    const std::u16string second = create_users(1);
    EXPECT_NE(first, second) << "the server now knows the user and updates it";
    EXPECT_NE(std::u16string::npos, second.find(u"updated 1")) << utf8(second);
    EXPECT_EQ(row, session->user_table().row(0)) << "the table is not emptied";
    EXPECT_EQ(500, session->user_table().bound());
}

TEST_F(Batch, AnEmptyRowZeroReceivesABlankUserThatStays) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"Unknown error occured in Norvane Change", create_users(1));
    IUnknown* blank = session->user_table().row(0);
    EXPECT_NE(nullptr, blank);
    EXPECT_EQ((std::vector<std::string>{"new User", "AddUsers", "LoadConfigurationData"}), journal_ops());
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}])"), rows_of(journal_of("AddUsers")[0]));
    EXPECT_EQ(add_users_line, log.at(1)) << "the replacement comes after logging";
    create_users(1);
    EXPECT_EQ(blank, session->user_table().row(0)) << "a row 0 that holds an object is kept";
}

TEST_F(Batch, ACountOfZeroOrBelowGoesToTheLibraryUnchanged) {
    connect_and_login();
    stage_user(0, u"ann");
    stage_roles(0, u"joe", u"reviewer");
    start_journal();
    for (SHORT count : {SHORT(0), SHORT(-5), SHORT(-32768)}) {
        EXPECT_EQ(u"Unknown error occured in Norvane Change", create_users(count));
        EXPECT_EQ(u"Unknown error occured in Norvane Change", add_user_roles(count));
        SHORT n = count;
        EXPECT_EQ(u"Unknown error occured in ChangeMerivex", set_usernames(n));
    }
    std::vector<int> counts;
    for (const auto& e : journal())
        if (e.at("op") != "new User" && e.at("op") != "LoadConfigurationData") counts.push_back(count_of(e).get<int>());
    EXPECT_EQ((std::vector<int>{0, 0, 0, -5, -5, -5, -32768, -32768, -32768}), counts);
}

TEST_F(Batch, ACountAboveTheTableIsRefusedBeforeAnyCall) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"CreateUsersError Error:  9 Subscript out of range", create_users(502));
    EXPECT_EQ(u"AddUserRoles Error:  9 Subscript out of range", add_user_roles(502));
    SHORT n = 32767;
    EXPECT_EQ(u"SetMerivexUsernames Error:  9 Subscript out of range", set_usernames(n));
    EXPECT_EQ(32767, n);
    EXPECT_TRUE(journal_ops().empty()) << "not even row 0 was made";
    EXPECT_EQ(nullptr, session->user_table().row(0));
    EXPECT_EQ((lines{u"CreateUsers():", u"    Exit Function", u"AddUserRoles():", u"    Exit Function",
                     u"SetMerivexUsernames():", u"    Exit Function"}),
              log);
    // Every row of the table is within reach; a grown table reaches further.
    log.clear();
    create_users(501);
    ASSERT_EQ(1u, journal_of("AddUsers").size());
    EXPECT_EQ(501u, rows_of(journal_of("AddUsers")[0]).size());
    stage_user(501, u"ann");
    EXPECT_EQ(u"Unknown error occured in Norvane Change", create_users(801)) << "the server refuses empty rows";
}

TEST_F(Batch, ALoadConfigurationFailureReplacesTheMessageWhichIsOnlyLogged) {
    connect_and_login();
    stage_user(0, u"ann", u"pw-ann");
    log.clear();
    inject_fault(u"LoadConfigurationData", injected, u"configuration locked");
    EXPECT_EQ(u"CreateUsersError Error: -2147220839 configuration locked", create_users(1));
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(0u, log[1].rfind(add_users_line, 0));
    EXPECT_GT(log[1].size(), add_users_line.size()) << "the message is in the log";
    EXPECT_EQ(u"    Exit Function", log[2]);
    EXPECT_TRUE(logs_in(u"ann", u"pw-ann", u"developer")) << "AddUsers had run";
}

TEST_F(Batch, AFailingAddUsersGivesTheErrorTextAndSkipsTheRest) {
    connect_and_login();
    start_journal();
    inject_fault(u"AddUsers", injected, u"server busy");
    EXPECT_EQ(u"CreateUsersError Error: -2147220839 server busy", create_users(1));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ((std::vector<std::string>{"new User", "AddUsers"}), journal_ops());
    EXPECT_EQ((lines{u"CreateUsers():", u"    Exit Function"}), log);
}

// ---- AddUserRoles ----------------------------------------------------------------

TEST_F(Batch, AddUserRolesGivesTheStagedRolesTwiceWhenCalledTwice) {
    connect_and_login();
    stage_roles(0, u"joe", u"reviewer tester");
    log.clear();
    start_journal();
    const std::u16string message = add_user_roles(1);
    EXPECT_NE(std::u16string::npos, message.find(u"joe")) << utf8(message);
    EXPECT_EQ((lines{u"AddUserRoles():", add_roles_line + message}), log);
    EXPECT_TRUE(has_entry(server_state().at("users"), {{"name", "joe"}, {"roles", {"developer", "reviewer", "tester"}}}));
    EXPECT_EQ(message, add_user_roles(1));
    EXPECT_EQ((std::vector<std::string>{"AddUsersRoles", "AddUsersRoles"}), journal_ops());
}

TEST_F(Batch, TheRowsHandedOverAreTheTablesOwnFromRowZero) {
    auto stub = use_stub_api();
    stage_roles(0, u"a", u"r");
    stage_roles(1, u"b", u"r");
    stage_roles(2, u"c", u"r");
    EXPECT_EQ(u"taken", add_user_roles(3));
    const auto& table = session->role_table();
    EXPECT_EQ((std::vector<IDispatch*>{table.row(0), table.row(1), table.row(2)}), stub->rows_seen);
    stage_user(0, u"a");
    EXPECT_EQ(u"taken", create_users(1));
    EXPECT_EQ(std::vector<IDispatch*>{session->user_table().row(0)}, stub->rows_seen);
    EXPECT_EQ((std::vector<std::string>{"AddUsersRoles", "AddUsers", "LoadConfigurationData"}), stub->calls);
}

// ---- SetMerivexUsernames ---------------------------------------------------------

TEST_F(Batch, SetMerivexUsernamesMapsTheNamesAndTheLibraryReadsEveryRow) {
    connect_and_login();
    stage_three_mappings();
    log.clear();
    start_journal();
    SHORT count = 3;
    const std::u16string message = set_usernames(count);
    EXPECT_NE(std::u16string::npos, message.find(u"Joe Bloggs")) << utf8(message);
    EXPECT_EQ((lines{u"SetMerivexUsernames():", set_usernames_line + message}), log);
    auto calls = journal_of("SetMerivexUsernames");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, {"class": "User"}, {"class": "User"}])"), rows_of(calls[0]));
    EXPECT_EQ(3, count_of(calls[0]));
    auto mappings = server_state().at("name_mappings");
    EXPECT_TRUE(has_entry(mappings, {{"user", "jane"}, {"quellar_user", "Jane Q. Doe"}}));
    EXPECT_TRUE(has_entry(mappings, {{"user", "joe"}, {"quellar_user", "Joe Bloggs"}}));
    EXPECT_FALSE(has_entry(mappings, {{"user", "ghost"}}));
}

TEST_F(Batch, ACountChangedByTheLibraryReachesTheCallersVariable) {
    connect_and_login();
    stage_three_mappings();
    SHORT count = 3;
    set_usernames(count);
    EXPECT_EQ(2, count) << "the server mapped two of the three";
}

TEST_F(Batch, ACountChangedByTheLibraryReachesALateBoundScriptsVariable) {
    connect_and_login();
    stage_three_mappings();
    by_ref count(var(SHORT(3)));
    auto out = call_method(session.get(), u"SetMerivexUsernames", {count});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_NE(std::u16string::npos, out.result.str().find(u"mapped 2")) << utf8(out.result.str());
    EXPECT_EQ(VT_I2, count.value.vt);
    EXPECT_EQ(2, count.value.iVal);
    // A script variable of another type is converted, and still receives the new count.
    by_ref long_count(var(3));
    ASSERT_EQ(S_OK, call_method(session.get(), u"SetMerivexUsernames", {long_count}).hr);
    EXPECT_EQ(VT_I2, long_count.value.vt);
    EXPECT_EQ(2, long_count.value.iVal);
}

TEST_F(Batch, SetMerivexUsernamesIsLookedUpByNameOncePerConnection) {
    auto stub = use_stub_api();
    stub->set_merivex = [](DISPPARAMS& params, VARIANT* result) {
        EXPECT_EQ(3u, params.cArgs);
        EXPECT_EQ(VT_DISPATCH, params.rgvarg[2].vt) << "the User first";
        EXPECT_EQ(VT_BYREF | VT_VARIANT, params.rgvarg[1].vt) << "row 0 by reference";
        EXPECT_EQ(VT_BYREF | VT_I2, params.rgvarg[0].vt) << "the count by reference";
        result->vt = VT_BSTR;
        result->bstrVal = oa::make_bstr(u"done").release();
        return S_OK;
    };
    stage_mapping(0, u"a", u"A");
    EXPECT_EQ(u"done", set_usernames(1));
    EXPECT_EQ(u"done", set_usernames(1));
    EXPECT_EQ(1, stub->lookups);
    IDispatch* same = stub.get();
    ASSERT_EQ(S_OK, session->put_api(&same));
    EXPECT_EQ(u"done", set_usernames(1));
    EXPECT_EQ(2, stub->lookups) << "a connection stored anew is asked again";
    EXPECT_EQ(3, stub->invokes);
}

TEST_F(Batch, ALibraryWithoutSetMerivexUsernamesFailsTheCall) {
    use_stub_api();
    EXPECT_EQ(u"SetMerivexUsernames Error:  438 Object doesn't support this property or method", set_usernames(1));
    EXPECT_EQ((lines{u"SetMerivexUsernames():", u"    Exit Function"}), log);
}

TEST_F(Batch, TheLibraryReadsTheRowsItIsToldToReadInOneBlock) {
    auto stub = use_stub_api();
    std::vector<IDispatch*> seen;
    stub->set_merivex = [&](DISPPARAMS& params, VARIANT*) {
        const VARIANT* rows = params.rgvarg[1].pvarVal;
        for (SHORT i = 0; i < *params.rgvarg[0].piVal; ++i) {
            EXPECT_EQ(VT_DISPATCH, rows[i].vt) << i;
            seen.push_back(rows[i].pdispVal);
        }
        return S_OK;
    };
    stage_mapping(0, u"a", u"A");
    stage_mapping(2, u"c", u"C");
    stage_mapping(500, u"z", u"Z");
    EXPECT_EQ(u"Unknown error occured in ChangeMerivex", set_usernames(501)) << "an Empty value is the empty text";
    ASSERT_EQ(501u, seen.size());
    const auto& table = session->name_map_table();
    EXPECT_EQ(static_cast<IDispatch*>(table.row(0)), seen[0]);
    EXPECT_EQ(nullptr, seen[1]);
    EXPECT_EQ(static_cast<IDispatch*>(table.row(2)), seen[2]);
    EXPECT_EQ(static_cast<IDispatch*>(table.row(500)), seen[500]);
    EXPECT_EQ(3, live(u"User")) << "the block's references are gone";
}

TEST_F(Batch, WhatTheLibraryLeavesInRowZeroIsStoredBack) {
    auto stub = use_stub_api();
    oa::com_ptr<IDispatch> replacement = oa::late::create_object(u"mrlib.User");
    stub->set_merivex = [&](DISPPARAMS& params, VARIANT* result) {
        VARIANT* row0 = params.rgvarg[1].pvarVal;
        VariantClear(row0);
        row0->vt = VT_DISPATCH;
        row0->pdispVal = replacement.get();
        replacement->AddRef();
        result->vt = VT_I4;
        result->lVal = 42;
        return S_OK;
    };
    stage_mapping(0, u"a", u"A");
    EXPECT_EQ(u"42", set_usernames(1)) << "a number's text";
    EXPECT_EQ(replacement.get(), session->name_map_table().row(0));
    EXPECT_EQ(1, live(u"User")) << "the staged row was released";

    // Nothing in the copy empties row 0.
    stub->set_merivex = [](DISPPARAMS& params, VARIANT*) {
        VARIANT* row0 = params.rgvarg[1].pvarVal;
        VariantClear(row0);
        row0->vt = VT_DISPATCH;
        row0->pdispVal = nullptr;
        return S_OK;
    };
    replacement = nullptr;
    EXPECT_EQ(u"Unknown error occured in ChangeMerivex", set_usernames(1));
    EXPECT_EQ(nullptr, session->name_map_table().row(0));
    EXPECT_EQ(0, live(u"User"));
}

TEST_F(Batch, AnythingButAnObjectInRowZeroIsATypeMismatch) {
    auto stub = use_stub_api();
    stage_mapping(0, u"a", u"A");
    IUnknown* staged = session->name_map_table().row(0);
    oa::com_ptr<IClassFactory> no_dispatch = oa::late::class_object_of(u"mrlib.User");
    for (int round = 0; round < 2; ++round) {
        stub->set_merivex = [&](DISPPARAMS& params, VARIANT*) {
            VARIANT* row0 = params.rgvarg[1].pvarVal;
            VariantClear(row0);
            if (round == 0) {
                row0->vt = VT_BSTR;
                row0->bstrVal = oa::make_bstr(u"not a user").release();
            } else {
                row0->vt = VT_UNKNOWN;  // an object, but not one to call by name
                row0->punkVal = no_dispatch.get();
                no_dispatch->AddRef();
            }
            return S_OK;
        };
        log.clear();
        EXPECT_EQ(u"SetMerivexUsernames Error:  13 Type mismatch", set_usernames(1)) << round;
        EXPECT_EQ((lines{u"SetMerivexUsernames():", u"    Exit Function"}), log);
        EXPECT_EQ(staged, session->name_map_table().row(0));
    }
}

TEST_F(Batch, AValueWithoutATextFormAndAFailingLibraryAreTrapped) {
    auto stub = use_stub_api();
    stub->set_merivex = [](DISPPARAMS&, VARIANT* result) {
        result->vt = VT_NULL;
        return S_OK;
    };
    EXPECT_EQ(u"SetMerivexUsernames Error:  94 Invalid use of Null", set_usernames(1));
    stub->set_merivex = [](DISPPARAMS&, VARIANT*) { return E_INVALIDARG; };
    EXPECT_EQ(u"SetMerivexUsernames Error:  5 Invalid procedure call or argument", set_usernames(1));
    EXPECT_EQ(S_OK, last_hr);
}

TEST_F(Batch, ALibraryFailureInsideSetMerivexUsernamesKeepsItsNumberAndDescription) {
    connect_and_login();
    inject_fault(u"SetMerivexUsernames", injected, u"mapping locked");
    EXPECT_EQ(u"SetMerivexUsernames Error: -2147220839 mapping locked", set_usernames(1));
    EXPECT_EQ((lines{u"SetMerivexUsernames():", u"    Exit Function"}), log);
}

// ---- All three -------------------------------------------------------------------

TEST_F(Batch, EmptyMessagesAreReplacedAfterLogging) {
    login_without_admin_rights();
    stage_user(0, u"ann");
    stage_mapping(0, u"joe", u"Joe");
    stage_roles(0, u"joe", u"reviewer");
    log.clear();
    EXPECT_EQ(u"Unknown error occured in Norvane Change", create_users(1));
    EXPECT_EQ(u"Unknown error occured in ChangeMerivex", set_usernames(1));
    EXPECT_EQ(u"Unknown error occured in Norvane Change", add_user_roles(1));
    ASSERT_EQ(7u, log.size());
    EXPECT_EQ(u"CreateUsers():", log[0]);
    EXPECT_EQ(add_users_line, log[1]);
    EXPECT_EQ(0u, log[2].rfind(u"    LoadConfigurationData:", 0));
    EXPECT_EQ((lines{u"SetMerivexUsernames():", set_usernames_line, u"AddUserRoles():", add_roles_line}),
              lines(log.begin() + 3, log.end()));
}

TEST_F(Batch, WithoutAConnectionEveryMethodGivesItsErrorText) {
    stage_user(0, u"ann");
    log.clear();
    EXPECT_EQ(u"CreateUsersError Error:  91 Object variable or With block variable not set", create_users(1));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(u"SetMerivexUsernames Error:  91 Object variable or With block variable not set", set_usernames(1));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ(u"AddUserRoles Error:  91 Object variable or With block variable not set", add_user_roles(1));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ((lines{u"CreateUsers():", u"    Exit Function", u"SetMerivexUsernames():", u"    Exit Function",
                     u"AddUserRoles():", u"    Exit Function"}),
              log);
}

TEST_F(Batch, AnAbsentUserGoesToTheLibraryWhichRefusesIt) {
    ASSERT_EQ(u"", connect());
    stage_user(0, u"ann");
    start_journal();
    const std::u16string text = create_users(1);
    EXPECT_EQ(0u, text.rfind(u"CreateUsersError Error: -", 0)) << utf8(text);
    auto calls = journal_of("AddUsers");
    ASSERT_EQ(1u, calls.size());
    EXPECT_TRUE(calls[0].at("args").at(0).is_null());
}

}  // namespace
