// Replaying a cassette: the library answers from it in order, and names each divergence at
// its call.
#include "emulator_test.h"

#include <tests/support/late_bound.h>

#include <unistd.h>

namespace emu_test {
namespace {

using q2mr_test::call_method;
using q2mr_test::var;

constexpr const char* tape = R"({"cassette":"quellar2mrapi cassette","version":1}
{"call":1,"on":"mrlib.api","op":"new","args":[],"result":["DISPATCH","api#1"]}
{"call":2,"on":"api#1","op":"OpenConnection","args":[["BSTR","tcp"],["BSTR","h"],["I4",1]],"result":["I4",1]}
{"call":3,"on":"api#1","op":"GetHostname","args":[["DISPATCH",null]],"failure":{"number":-2147220991,"description":"down","invoke":-2147352567}}
)";

// A missing User, as the component sends it.
var nobody() {
    var v;
    v.vt = VT_DISPATCH;
    v.pdispVal = nullptr;
    return v;
}

class ReplayTest : public EmulatorTest {
protected:
    HRESULT play(const std::string& text) {
        path = ::testing::TempDir() + "emu_replay_" + std::to_string(getpid()) + ".jsonl";
        std::ofstream(path, std::ios::binary) << text;
        return emulator->ReplayCassette(path_arg(path));
    }
    com_ptr<IDispatch> made() {
        com_ptr<IDispatch> api;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_api, nullptr, CLSCTX_INPROC_SERVER, iid_of<IDispatch>(), api.put_void()));
        return api;
    }
    std::string outcome() {
        oa::unique_bstr text;
        EXPECT_EQ(S_OK, emulator->ReplayOutcome(text.put()));
        return u8(text);
    }
    void TearDown() override {
        if (emulator) emulator->Reset();
        std::remove(path.c_str());
        EmulatorTest::TearDown();
    }
    std::string path;
    var tcp{u"tcp"}, h{u"h"}, x{u"x"}, one{1}, none = nobody();
};

TEST_F(ReplayTest, AnswersEveryCallFromTheCassetteInOrder) {
    ASSERT_EQ(S_OK, play(tape)) << error_text();
    com_ptr<IDispatch> api = made();
    const auto opened = call_method(api.get(), u"OpenConnection", {tcp, h, one});
    EXPECT_EQ(S_OK, opened.hr);
    EXPECT_EQ(VT_I4, opened.result.vt);
    EXPECT_EQ(1, opened.result.lVal);
    const auto host = call_method(api.get(), u"GetHostname", {none});
    EXPECT_EQ(-2147220991, host.code());
    EXPECT_EQ(u"down", host.description());
    EXPECT_EQ("", outcome());
}

TEST_F(ReplayTest, EachDivergenceIsNamedAtItsCallAndEveryLaterCallFails) {
    const struct {
        const char16_t* op;
        std::vector<var*> args;
        std::string message;
    } cases[] = {
        {u"OpenConnection", {&tcp, &x, &one}, R"(replay: call 2 OpenConnection argument 2 is "x", recorded "h")"},
        {u"OpenConnection", {&tcp, &one}, "replay: call 2 OpenConnection has 2 arguments, recorded 3"},
        {u"GetHostname", {&none}, "replay: call 2 is GetHostname, recorded OpenConnection"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, play(tape));
        com_ptr<IDispatch> api = made();
        std::vector<VARIANT> args;
        for (var* a : c.args) args.push_back(*a);
        const auto out = q2mr_test::invoke_id(api.get(), q2mr_test::id_of(api.get(), c.op), DISPATCH_METHOD, args);
        EXPECT_EQ(mremu::errors::replay_diverged, out.code()) << c.message;
        EXPECT_EQ(c.message, oa::utf16_to_utf8(out.description()));
        EXPECT_EQ(mremu::errors::replay_diverged, call_method(api.get(), u"Close").code()) << "after a divergence";
        EXPECT_EQ(c.message, outcome());
    }
}

TEST_F(ReplayTest, CallsLeftUnplayedAndCallsBeyondTheCassetteAreReported) {
    ASSERT_EQ(S_OK, play(tape));
    com_ptr<IDispatch> api = made();
    EXPECT_EQ("replay: 2 recorded calls were not made, from call 2 OpenConnection", outcome());
    call_method(api.get(), u"OpenConnection", {tcp, h, one});
    call_method(api.get(), u"GetHostname", {none});
    EXPECT_EQ(mremu::errors::replay_diverged, call_method(api.get(), u"Close").code());
    EXPECT_EQ("replay: call 4 Close was not recorded (the cassette holds 3 calls)", outcome());
}

TEST_F(ReplayTest, ACassetteThatCannotBeReadIsRefusedNamingItsLine) {
    const std::string first = R"({"cassette":"quellar2mrapi cassette","version":1})";
    const std::string made_api = R"({"call":1,"on":"mrlib.api","op":"new","args":[],"result":["DISPATCH","api#1"]})";
    const struct {
        std::string text, fault;
    } cases[] = {
        {"", ":0: empty"},
        {first + "\n{\"call\":1,", ":2: not a line of JSON"},
        {R"({"cassette":"quellar2mrapi cassette","version":2})", ":1: unknown version 2"},
        {R"({"journal":1})", ":1: not a cassette"},
        {first + "\n" + R"({"call":1,"on":"api#1","op":"Close","args":[],"result":["EMPTY",null]})",
         ":2: the handle api#1 is used as the object called before it was made"},
        {first + "\n" + made_api + "\n" + made_api, ":3: not call 2 of the cassette"},
        {first + "\n" + R"({"call":1,"on":"mrlib.api","op":"new","args":[]})", ":2: not call 1 of the cassette"},
        {first + "\n" + made_api + "\n" +
             R"({"call":2,"on":"api#1","op":"CreateGroup","args":[["DISPATCH","User#5"]],"result":["I4",1]})",
         ":3: the handle User#5 is used as an argument before it was made"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mremu::errors::bad_cassette, play(c.text)) << c.fault;
        const std::string text = error_text();
        EXPECT_NE(std::string::npos, text.find(path + c.fault)) << text;
    }
}

}  // namespace
}  // namespace emu_test
