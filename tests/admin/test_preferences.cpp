// AddUserPreference: both names converted to text as the language's CStr does, the value and
// the flag handed on unchanged, the message returned as it came.
#include <tests/admin/admin_test.h>

using namespace q2mr_test;

namespace {

const std::u16string message_line = u"    return from api.AddAPreferenceForAUser(), ErrMsg=";

class Preferences : public AdminTest {
protected:
    std::u16string add(var user, var pref, std::u16string_view value, VARIANT_BOOL all_dbs) {
        text_result r;
        last_hr = session->AddUserPreference(&user, &pref, S(value), &all_dbs, r);
        return r.str();
    }
    // The arguments of the one AddAPreferenceForAUser call journaled.
    nlohmann::json sent() {
        auto calls = journal_of("AddAPreferenceForAUser");
        EXPECT_EQ(1u, calls.size());
        return calls.empty() ? nlohmann::json() : calls[0].at("args");
    }
};

TEST_F(Preferences, SetsThePreferenceAndReturnsTheMessage) {
    connect_and_login();
    start_journal();
    const std::u16string message = add(var(u"joe"), var(u"editor"), u"emacs -nw", VARIANT_TRUE);
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_NE(std::u16string::npos, message.find(u"emacs -nw")) << utf8(message);
    EXPECT_EQ((lines{u"AddUserPreference():", message_line + message}), log);
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, "joe", "editor", "emacs -nw", -1])"), sent());
    EXPECT_TRUE(has_entry(server_state().at("preferences"),
                          {{"user", "joe"}, {"name", "editor"}, {"value", "emacs -nw"}, {"all_dbs", true}}));
}

TEST_F(Preferences, NamesAreConvertedToTextAsCStrDoes) {
    connect_and_login();
    struct case_ {
        var user, pref;
        const char* user_text;
        const char* pref_text;
    };
    case_ cases[] = {
        {var(42), var(u"editor"), "42", "editor"},
        {var(SHORT(-7)), var(3.5), "-7", "3.5"},
        {var(u"joe"), var(true), "joe", "True"},
        {var(u"joe"), var(false), "joe", "False"},
        {var(), var(u"editor"), "", "editor"},
    };
    for (auto& c : cases) {
        start_journal();
        add(std::move(c.user), std::move(c.pref), u"v", VARIANT_FALSE);
        const auto args = sent();
        ASSERT_EQ(5u, args.size());
        EXPECT_EQ(c.user_text, args[1].get<std::string>());
        EXPECT_EQ(c.pref_text, args[2].get<std::string>());
        EXPECT_EQ(0, args[4].get<int>()) << "False as 0";
        emulator->StopJournal();
    }
}

TEST_F(Preferences, AnEmptyMessageIsReturnedAsTheEmptyText) {
    ASSERT_EQ(u"", connect());
    ASSERT_EQ(u"", login(u"joe", u"pw", u"developer"));
    log.clear();
    EXPECT_EQ(u"", add(var(u"jane"), var(u"editor"), u"ed", VARIANT_TRUE));
    EXPECT_EQ((lines{u"AddUserPreference():", message_line}), log);
}

TEST_F(Preferences, ANullPrefFailsBeforeTheLibraryIsCalled) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"AddUserPreferenceError Error:  94 Invalid use of Null", add(var(u"joe"), var::null(), u"v", 0));
    EXPECT_EQ(u"AddUserPreferenceError Error:  94 Invalid use of Null", add(var::null(), var(u"x"), u"v", 0));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_TRUE(journal_of("AddAPreferenceForAUser").empty());
    EXPECT_EQ((lines{u"AddUserPreference():", u"    Exit Function", u"AddUserPreference():", u"    Exit Function"}),
              log);
}

TEST_F(Preferences, PrefIsConvertedFirst) {
    connect_and_login();
    // An object without a default value has no text form either: the Null of pref wins.
    auto stub = oa::make_self<stub_api>();
    EXPECT_EQ(u"AddUserPreferenceError Error:  94 Invalid use of Null",
              add(var::object(stub.get()), var::null(), u"v", 0));
    EXPECT_EQ(u"AddUserPreferenceError Error:  13 Type mismatch", add(var::null(), var::object(stub.get()), u"v", 0));
    // Nothing has no text either (the runtime calls it a bad type; the script sees a mismatch).
    EXPECT_EQ(u"AddUserPreferenceError Error:  13 Type mismatch", add(var::null(), var::object(nullptr), u"v", 0));
}

TEST_F(Preferences, WithoutAConnectionTheErrorTextIsReturned) {
    EXPECT_EQ(u"AddUserPreferenceError Error:  91 Object variable or With block variable not set",
              add(var(u"joe"), var(u"editor"), u"v", VARIANT_TRUE));
    EXPECT_EQ(S_OK, last_hr);
    EXPECT_EQ((lines{u"AddUserPreference():", u"    Exit Function"}), log);
}

TEST_F(Preferences, ALibraryFailureKeepsItsNumberAndDescription) {
    connect_and_login();
    inject_fault(u"AddAPreferenceForAUser", injected, u"preferences frozen");
    EXPECT_EQ(u"AddUserPreferenceError Error: -2147220839 preferences frozen",
              add(var(u"joe"), var(u"editor"), u"v", VARIANT_TRUE));
    EXPECT_EQ((lines{u"AddUserPreference():", u"    Exit Function"}), log);
}

TEST_F(Preferences, ALateBoundCallTakesScriptVariables) {
    connect_and_login();
    start_journal();
    by_ref user(var(42)), pref(var(u"editor")), value(var(u"nano")), all(var(true));
    auto out = call_method(session.get(), u"AddUserPreference", {user, pref, value, all});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_BSTR, out.result.vt);
    EXPECT_EQ(nlohmann::json::parse(R"([{"class": "User"}, "42", "editor", "nano", -1])"), sent());
    EXPECT_EQ(VT_I4, user.value.vt) << "the script's variables stay as they were";
    EXPECT_EQ(42, user.value.lVal);
}

}  // namespace
