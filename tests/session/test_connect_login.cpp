// Connect and Login against the emulated server; the "Admin" path through the headless
// dialog, driven as a person would drive it.
#include <tests/support/late_bound.h>
#include <tests/support/session_fixture.h>

#include <forms/headless.h>

#include <gtest/gtest.h>

using namespace q2mr_test;
namespace hl = forms::headless;

namespace {

constexpr HRESULT server_busy = static_cast<HRESULT>(0x80040201u);

class ConnectLogin : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        forms::use_backend(forms::Backend::Headless);
        hl::reset();
    }
    void TearDown() override {
        EXPECT_EQ(0u, hl::pending()) << "the dialog did not play every queued step";
        hl::reset();
        SessionTest::TearDown();
    }
    bool connected() {
        VARIANT_BOOL v = 0;
        session->get_GoodConnection(&v);
        return v != VARIANT_FALSE;
    }
    oa::com_ptr<IDispatch> api() {
        oa::com_ptr<IDispatch> a;
        session->get_api(a.put());
        return a;
    }
    oa::com_ptr<IDispatch> user() {
        oa::com_ptr<IDispatch> u;
        session->get_User(u.put());
        return u;
    }
    void expect_log(std::vector<std::u16string> lines) { EXPECT_EQ(lines, log); }
    void expect_no_password(std::u16string_view password) {
        for (const auto& line : log) EXPECT_EQ(std::u16string::npos, line.find(password)) << utf8(line);
    }
};

// ---- Connect ---------------------------------------------------------------------

TEST_F(ConnectLogin, ConnectWithStatusOneKeepsTheNewConnection) {
    start_journal();
    EXPECT_EQ(u"", connect());
    EXPECT_TRUE(connected());
    EXPECT_TRUE(api());
    expect_log({u"Connect():"});
    EXPECT_EQ(1, live(u"api"));
    auto calls = journal();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("new api", calls[0].at("op"));
    EXPECT_EQ("OpenConnection", calls[1].at("op"));
    EXPECT_EQ(nlohmann::json::parse(R"(["tcp", "localhost", 8400])"), calls[1].at("args"))
        << "protocol first, then host and port";
}

TEST_F(ConnectLogin, ConnectReportsAnyOtherStatusWithItsSignPosition) {
    EXPECT_EQ(u"Connect Error: status =  0", connect(u"nowhere", u"tcp", 8400));
    expect_log({u"Connect():", u"    Error occured: status =  0"});
    EXPECT_FALSE(connected());
    EXPECT_FALSE(api());
    EXPECT_EQ(0, live(u"api")) << "the failed call's own object is released";
    log.clear();
    EXPECT_EQ(u"Connect Error: status = -1", connect(u"localhost", u"udp", 8400));
    expect_log({u"Connect():", u"    Error occured: status = -1"});
}

TEST_F(ConnectLogin, ConnectKeepsThePortsSign) {
    start_journal();
    connect(u"localhost", u"tcp", -5);
    EXPECT_EQ(-5, journal().back().at("args").at(2));
}

TEST_F(ConnectLogin, AFailedConnectAfterAGoodOneLeavesTheFirstConnection) {
    ASSERT_EQ(u"", connect());
    auto first = api();
    EXPECT_NE(u"", connect(u"nowhere", u"tcp", 1));
    EXPECT_TRUE(connected());
    EXPECT_EQ(first.get(), api().get());
    EXPECT_EQ(1, live(u"api"));
    ASSERT_EQ(u"", connect());
    EXPECT_NE(first.get(), api().get()) << "a second good Connect replaces the connection";
}

TEST_F(ConnectLogin, ALibraryFailureBecomesTheErrorText) {
    inject_fault(u"OpenConnection", server_busy, u"Server busy");
    EXPECT_EQ(u"Connect Error: -2147220991 Server busy", connect());
    expect_log({u"Connect():", u"    Error occured: Connect Error: -2147220991 Server busy"});
    EXPECT_FALSE(connected());
    EXPECT_EQ(0, live(u"api"));
}

TEST_F(ConnectLogin, WhenNoConnectionObjectCanBeMadeTheLaterFailureStands) {
    inject_fault(u"new api", server_busy, u"No objects today");
    EXPECT_EQ(u"Connect Error:  91 Object variable or With block variable not set", connect());
    EXPECT_FALSE(connected());
}

// ---- Login, other roles ------------------------------------------------------------

TEST_F(ConnectLogin, LoginOnANewSessionIsNotAttempted) {
    start_journal();
    EXPECT_EQ(u"Connection Not Good - Login Not Attempted", login(u"jane", u"s3cret", u"developer"));
    expect_log({u"Login(): loginAppID=tests"});
    EXPECT_TRUE(journal().empty()) << "no library call";
}

TEST_F(ConnectLogin, LoginWithAGoodTokenKeepsTheUser) {
    ASSERT_EQ(u"", connect());
    log.clear();
    start_journal();
    EXPECT_EQ(u"", login(u"jane", u"s3cret", u"developer", u"/db/alpha", u"app7"));
    expect_log({u"Login(): loginAppID=app7", u"    appID=app7<end>"});
    EXPECT_TRUE(user());
    EXPECT_EQ(1, live(u"User"));
    auto calls = journal();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("appLogin", calls[0].at("op"));
    EXPECT_EQ(nlohmann::json::parse(R"(["jane", "***", "developer", "/db/alpha", "app7"])"), calls[0].at("args"));
    expect_no_password(u"s3cret");
}

TEST_F(ConnectLogin, LowerCaseAdminTakesTheApplicationPath) {
    ASSERT_EQ(u"", connect());
    EXPECT_EQ(u"Unable to login admin as admin into database /db/alpha", login(u"admin", u"admin", u"admin"));
    EXPECT_TRUE(hl::shown_forms().empty()) << "no dialog for \"admin\"";
}

TEST_F(ConnectLogin, AnEmptyTokenGivesTheUnableText) {
    ASSERT_EQ(u"", connect());
    log.clear();
    EXPECT_EQ(u"Unable to login jane as developer into database /db/alpha", login(u"jane", u"wrong", u"developer"));
    expect_log({u"Login(): loginAppID=tests", u"    appID=tests<end>"});
    EXPECT_FALSE(user());
    EXPECT_EQ(0, live(u"User")) << "the refused user object is released";
}

TEST_F(ConnectLogin, NoUserObjectGivesTheNullLineAndTheUnableText) {
    ASSERT_EQ(u"", connect());
    log.clear();
    EXPECT_EQ(u"Unable to login nobody as developer into database /db/alpha", login(u"nobody", u"x", u"developer"));
    expect_log({u"Login(): loginAppID=tests", u"    appID=tests<end>", u"    User object is null, appLogin failed."});
}

TEST_F(ConnectLogin, AFailingAppLoginGivesTheLoginErrorText) {
    ASSERT_EQ(u"", connect());
    log.clear();
    inject_fault(u"appLogin", server_busy, u"Server busy");
    EXPECT_EQ(u"Login Error: -2147220991 Server busy", login(u"jane", u"s3cret", u"developer"));
    expect_log({u"Login(): loginAppID=tests", u"    appID=tests<end>", u"    User object is null, appLogin failed."});
    EXPECT_FALSE(user());
}

TEST_F(ConnectLogin, ASecondGoodLoginReplacesTheUser) {
    ASSERT_EQ(u"", connect());
    ASSERT_EQ(u"", login(u"jane", u"s3cret", u"developer"));
    auto first = user();
    ASSERT_EQ(u"", login(u"joe", u"pw", u"developer"));
    EXPECT_NE(first.get(), user().get());
    first = nullptr;
    EXPECT_EQ(1, live(u"User"));
    EXPECT_NE(u"", login(u"joe", u"bad", u"developer"));
    EXPECT_TRUE(user()) << "a failed Login keeps the user";
}

TEST_F(ConnectLogin, AnEmptyApplicationIdReachesTheLibraryAsEmptyText) {
    ASSERT_EQ(u"", connect());
    log.clear();
    start_journal();
    EXPECT_EQ(u"", login(u"jane", u"s3cret", u"developer", u"/db/alpha", u""));
    expect_log({u"Login(): loginAppID=", u"    appID=<end>"});
    EXPECT_EQ("", journal().at(0).at("args").at(4));
}

TEST_F(ConnectLogin, GoodConnectionSetByHandWithoutAConnection) {
    VARIANT_BOOL yes = VARIANT_TRUE;
    session->put_GoodConnection(&yes);
    EXPECT_EQ(u"Login Error:  91 Object variable or With block variable not set",
              login(u"jane", u"s3cret", u"developer"));
    hl::enqueue(hl::type(u"pw"), hl::press("cmdOK"));
    EXPECT_EQ(u"Login as Admin role failed.", login(u"admin", u"", u"Admin"));
}

// ---- Login as "Admin" through the dialog ----------------------------------------------

TEST_F(ConnectLogin, AdminOkWithTheNameAsFilledInWritesBackWhatWasTyped) {
    ASSERT_EQ(u"", connect());
    log.clear();
    hl::enqueue(
        [](const hl::Screen& s) {
            EXPECT_EQ(u"Norvane Change Login", s.caption());
            EXPECT_EQ(u"admin", s.shown_text("txtUserName"));
            EXPECT_EQ("txtPassword", s.focus());
        },
        hl::type(u"admin"), hl::press("cmdOK"));
    text_arg name(u"admin"), password(u"ignored");
    text_result result;
    ASSERT_EQ(S_OK, session->Login(name, password, S(u"Admin"), S(u"/db/alpha"), S(u"a1"), result));
    EXPECT_EQ(u"", result.str());
    EXPECT_EQ(u"admin", name.str());
    EXPECT_EQ(u"admin", password.str());
    EXPECT_TRUE(user());
    expect_log({u"Login(): loginAppID=a1", u"    appID=a1<end>"});
    EXPECT_EQ(1u, hl::shown_forms().size());
}

TEST_F(ConnectLogin, AdminOkWithAnEditedNameThatTheServerRefuses) {
    ASSERT_EQ(u"", connect());
    log.clear();
    hl::enqueue(hl::type(u"secret!"), hl::click("txtUserName"), hl::type(u"x"), hl::press("cmdOK"));
    text_arg name(u"admin"), password(u"");
    text_result result;
    ASSERT_EQ(S_OK, session->Login(name, password, S(u"Admin"), S(u"/db/alpha"), S(u"a1"), result));
    EXPECT_EQ(u"Login as Admin role failed.", result.str());
    EXPECT_EQ(u"adminx", name.str()) << "the typed name reaches the caller's variable";
    EXPECT_EQ(u"secret!", password.str());
    expect_log({u"Login(): loginAppID=a1", u"    appID=a1<end>", u"    User object is null, Login as Admin role failed."});
    expect_no_password(u"secret!");
    EXPECT_FALSE(user());
}

TEST_F(ConnectLogin, AdminCancelOrCloseLeavesTheCallersVariables) {
    ASSERT_EQ(u"", connect());
    for (auto action : {hl::press("cmdCancel"), hl::close()}) {
        log.clear();
        hl::enqueue(hl::type(u"typed"), action);
        text_arg name(u"admin"), password(u"mine");
        text_result result;
        ASSERT_EQ(S_OK, session->Login(name, password, S(u"Admin"), S(u"/db/alpha"), S(u"a1"), result));
        EXPECT_EQ(u"Login Cancelled.", result.str());
        EXPECT_EQ(u"admin", name.str());
        EXPECT_EQ(u"mine", password.str());
        expect_log({u"Login(): loginAppID=a1", u"    appID=a1<end>", u"    Login as Admin role cancelled."});
    }
    EXPECT_EQ(0, live(u"User"));
}

TEST_F(ConnectLogin, AFreshDialogForEveryAdminLogin) {
    ASSERT_EQ(u"", connect());
    hl::enqueue(hl::type(u"first"), hl::press("cmdCancel"));
    login(u"admin", u"", u"Admin");
    hl::enqueue([](const hl::Screen& s) { EXPECT_EQ(u"", s.shown_text("txtPassword")); }, hl::press("cmdCancel"));
    login(u"admin", u"", u"Admin");
    EXPECT_EQ(2u, hl::shown_forms().size());
}

TEST_F(ConnectLogin, LateBoundLoginWritesTheTypedNameAndPasswordIntoTheScriptsVariables) {
    auto dispatch = session.get();
    var host(u"localhost"), protocol(u"tcp"), port(8400);
    ASSERT_EQ(u"", call_method(dispatch, u"connect", {host, protocol, port}).result.str());
    hl::enqueue(hl::click("txtUserName"), hl::key(forms::Key::ShiftHome), hl::type(u"admin"), hl::tab(),
                hl::type(u"admin"), hl::enter());
    by_ref name(var(u"someone")), password(var(u""));
    var role(u"Admin"), database(u"/db/alpha"), app(u"late");
    auto out = call_method(dispatch, u"Login", {name, password, role, database, app});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"", out.result.str());
    EXPECT_EQ(u"admin", name.value.str());
    EXPECT_EQ(u"admin", password.value.str());
}

}  // namespace
