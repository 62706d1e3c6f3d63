// The session's state from construction to destruction, its properties, and the error
// text that every method composes.
#include <component/t2mrapp.h>
#include <session/conventions.h>
#include <value/t2DataClass.h>
#include <tests/support/late_bound.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

using namespace q2mr_test;
using quellar2mrapi::t2mrapp;

namespace {

struct log_lines {
    std::vector<std::u16string> lines;
    log_lines() {
        quellar2mrapi::set_log_observer([this](std::u16string_view l) { lines.emplace_back(l); });
    }
    ~log_lines() { quellar2mrapi::set_log_observer(nullptr); }
};

TEST(Session, ANewSessionIsNotConnectedAndHoldsThreeEmptyTablesOf501Rows) {
    auto session = oa::make_self<t2mrapp>();
    VARIANT_BOOL connected = VARIANT_TRUE;
    ASSERT_EQ(S_OK, session->get_GoodConnection(&connected));
    EXPECT_EQ(VARIANT_FALSE, connected);
    oa::com_ptr<IDispatch> api;
    ASSERT_EQ(S_OK, session->get_api(api.put()));
    EXPECT_FALSE(api);
    oa::com_ptr<IDispatch> user;
    ASSERT_EQ(S_OK, session->get_User(user.put()));
    EXPECT_FALSE(user);
    for (const auto* table : {&session->user_table(), &session->name_map_table(), &session->role_table()}) {
        EXPECT_EQ(500, table->bound());
        EXPECT_EQ(501, table->rows());
        for (LONG row = 0; row <= 500; ++row) ASSERT_EQ(nullptr, table->row(row)) << row;
    }
}

TEST(Session, ConstructionAndDestructionPassTheirLinesInOrder) {
    log_lines log;
    oa::make_self<t2mrapp>();
    EXPECT_EQ((std::vector<std::u16string>{u"============================================ debug on",
                                           u"Class_Initialize():", u"Class_Terminate():"}),
              log.lines);
}

TEST(Session, ANormalBuildNeverWritesTheLogFile) {
    struct stat before {};
    const bool existed = ::stat("/tmp/quellar2mrapilog.txt", &before) == 0;
    {
        auto session = oa::make_self<t2mrapp>();
        VARIANT_BOOL v = VARIANT_TRUE;
        session->put_GoodConnection(&v);
    }
    struct stat after {};
    const bool exists = ::stat("/tmp/quellar2mrapilog.txt", &after) == 0;
    EXPECT_EQ(existed, exists);
    if (existed && exists) {
        EXPECT_EQ(before.st_size, after.st_size);
    }
}

TEST(Session, PropertiesStoreWhatTheyAreGivenWithoutChecksAndHandOutReferences) {
    auto session = oa::make_self<t2mrapp>();
    auto other = oa::make_self<t2mrapp>();
    VARIANT_BOOL odd = 7;
    ASSERT_EQ(S_OK, session->put_GoodConnection(&odd));
    VARIANT_BOOL back = 0;
    session->get_GoodConnection(&back);
    EXPECT_EQ(7, back);

    auto out = get_property(session.get(), u"User");
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_DISPATCH, out.result.vt);
    EXPECT_EQ(nullptr, out.result.pdispVal);
    // Any object called by name fits the User property, the library decides what it takes;
    // only a session is refused, which would keep itself or the other alive.
    auto stand_in = oa::make_self<quellar2mrapi::t2DataClass>();
    var any = var::object(stand_in.get());
    EXPECT_EQ(S_OK, invoke(session.get(), u"User", DISPATCH_PROPERTYPUTREF, {any}).hr);
    EXPECT_EQ(static_cast<IDispatch*>(stand_in.get()), get_property(session.get(), u"User").result.pdispVal);
    for (auto* s : {session.get(), other.get()}) {
        var refused = var::object(s);
        auto out = invoke(session.get(), u"api", DISPATCH_PROPERTYPUTREF, {refused});
        EXPECT_EQ(oa::vb_hresult(oa::vb::type_mismatch), out.code());
    }
    EXPECT_EQ(E_POINTER, session->put_User(nullptr));
}

TEST(Session, AWriteFromAnotherThreadIsRefused) {
    auto session = oa::make_self<t2mrapp>();
    HRESULT hr = S_OK;
    std::thread([&] {
        VARIANT_BOOL v = VARIANT_TRUE;
        hr = session->put_GoodConnection(&v);
    }).join();
    EXPECT_EQ(RPC_E_WRONG_THREAD, hr);
    VARIANT_BOOL connected = VARIANT_TRUE;
    session->get_GoodConnection(&connected);
    EXPECT_EQ(VARIANT_FALSE, connected);
}

TEST(ErrorText, PutsABlankOrAMinusSignBeforeTheNumber) {
    using quellar2mrapi::error_text;
    EXPECT_EQ(u"Connect Error:  5 D", error_text(u"Connect Error: ", 5, u"D"));
    EXPECT_EQ(u"Connect Error: -1 D", error_text(u"Connect Error: ", -1, u"D"));
    EXPECT_EQ(u"P 0 ", error_text(u"P", 0, u""));
    EXPECT_EQ(u"P-2147220991 Server busy", error_text(u"P", static_cast<LONG>(0x80040201u), u"Server busy"));
    EXPECT_EQ(u"P-2147483648 x", error_text(u"P", INT32_MIN, u"x"));
    oa::com_error vb91(oa::vb_hresult(91), u"Object variable or With block variable not set");
    EXPECT_EQ(u"Login Error:  91 Object variable or With block variable not set", error_text(u"Login Error: ", vb91));
}

TEST(ErrorText, TheContinueStyleKeepsTheLastFailureAndRunsOn) {
    quellar2mrapi::continuing_trap trap(u"X Error: ");
    int ran = 0;
    trap.step([&] { oa::raise_vb(5); });
    trap.step([&] { ++ran; });
    EXPECT_TRUE(trap.failed);
    EXPECT_EQ(u"X Error:  5 Invalid procedure call or argument", trap.pending);
    trap.step([&] { oa::raise(static_cast<HRESULT>(0x80040202u), u"later"); });
    EXPECT_EQ(1, ran);
    EXPECT_EQ(u"X Error: -2147220990 later", trap.pending);
}

TEST(ErrorText, TheTrapsCatchEveryFailureOfTheComponentsSteps) {
    const struct {
        void (*fail)();
        const char16_t* text;
    } cases[] = {
        {[] { oa::raise_vb(91); }, u"X Error:  91 Object variable or With block variable not set"},
        {[] { throw std::bad_alloc(); }, u"X Error:  7 Out of memory"},
        {[] { throw std::length_error("too long"); }, u"X Error: -2147418113 Unexpected failure"},
        {[] { throw 42; }, u"X Error: -2147418113 Unexpected failure"},
    };
    for (const auto& c : cases) {
        quellar2mrapi::continuing_trap trap(u"X Error: ");
        trap.step(c.fail);
        EXPECT_EQ(c.text, trap.pending);
        EXPECT_EQ(c.text, quellar2mrapi::abandon_on_failure(
                              [&]() -> std::u16string {
                                  c.fail();
                                  return u"not reached";
                              },
                              [](const oa::com_error& e) { return quellar2mrapi::error_text(u"X Error: ", e); }));
    }
}

}  // namespace
