// The fault sweep: every public method of the session runs once with the journal on to
// learn which library operations it calls; then each of those operations is made to fail
// in turn, on a fresh session, and the run must end as the method's failure rules say:
// the trapping methods with their error text, False, the empty text or Empty, the
// others with the injected failure as the call's status. No library object may outlive
// the call, and the session may change only as its rules allow.
#include "reliability_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace q2mr_reliability {
namespace {

namespace fs = std::filesystem;

// Faults injected over the whole sweep, for the figures in the summary line.
int faults_injected = 0;
int methods_swept = 0;

class FaultSweep;

struct method_case {
    std::string label;
    // Runs before the learning run and before every faulted run, on the fresh session.
    std::function<void(FaultSweep&)> prepare;
    std::function<call_outcome(FaultSweep&)> run;
    // The outcome and the log of a run in which operation op failed.
    std::function<void(FaultSweep&, const std::string& op, const call_outcome&)> check;
    // The state after a faulted run; by default exactly the state before it.
    std::function<void(const std::string& op, session_state& expected)> allowed_change;
};

void PrintTo(const method_case& m, std::ostream* os) { *os << m.label; }

class FaultSweep : public ReliabilityTest, public ::testing::WithParamInterface<method_case> {
public:
    // A method call as a script makes it: every argument a variable, passed by reference.
    template <class... Values> call_outcome call(std::u16string_view name, Values&&... values) {
        std::vector<by_ref> refs;
        refs.reserve(sizeof...(values));
        (refs.emplace_back(var(std::forward<Values>(values))), ...);
        std::vector<VARIANT> args;
        for (auto& r : refs) args.push_back(r.arg());
        const DISPID id = id_of(dispatch(), name);
        EXPECT_NE(DISPID_UNKNOWN, id) << utf8(name);
        WORD flags = DISPATCH_METHOD;
        return invoke_id(dispatch(), id, flags, std::move(args));
    }
    call_outcome get(std::u16string_view name) { return get_property(dispatch(), name); }
    call_outcome put(std::u16string_view name, var value) { return put_property(dispatch(), name, std::move(value)); }

    std::vector<std::u16string>& lines() { return log; }
    std::string path_of(const char* file) { return files / file; }

    // A CR attribute as the emulated server holds it now.
    std::string cr_attribute(const std::string& id, const std::string& name) {
        const std::string state_file = files / "state.json";
        text_arg path(oa::ascii_to_utf16(state_file));
        EXPECT_EQ(S_OK, emulator->SaveState(path.value.get()));
        std::ifstream in(state_file);
        const auto doc = nlohmann::json::parse(in);
        for (const auto& cr : doc.at("servers").at(0).at("crs"))
            if (cr.at("id") == id) return cr.at("attributes").at(name).get<std::string>();
        return "<no such CR>";
    }

protected:
    void SetUp() override {
        ReliabilityTest::SetUp();
        files = fs::path(::testing::TempDir()) / ("q2mr_faults_" + std::to_string(::getpid()));
        fs::create_directories(files);
        std::ofstream(files / "a.txt") << "assigned";
        std::ofstream(files / "b.txt") << "Crash & <burn>";
    }
    void TearDown() override {
        ReliabilityTest::TearDown();
        fs::remove_all(files);
    }

    fs::path files;
};

// ---- expected outcomes ---------------------------------------------------------------

void expect_text(const call_outcome& out, std::u16string_view text, const std::string& op) {
    ASSERT_EQ(S_OK, out.hr) << op << " must be trapped";
    ASSERT_EQ(VT_BSTR, out.result.vt) << op;
    EXPECT_EQ(text, oa::view(out.result.bstrVal)) << op;
}

// The common error text: the method's prefix, the number with its sign and the description.
auto error_text(std::u16string prefix, std::vector<std::u16string> log_lines) {
    return [=](FaultSweep& t, const std::string& op, const call_outcome& out) {
        expect_text(out, injected_text(prefix), op);
        EXPECT_EQ(log_lines, t.lines()) << op;
    };
}

auto false_result(std::u16string entry) {
    return [=](FaultSweep& t, const std::string& op, const call_outcome& out) {
        ASSERT_EQ(S_OK, out.hr) << op;
        ASSERT_EQ(VT_BOOL, out.result.vt) << op;
        EXPECT_EQ(VARIANT_FALSE, out.result.boolVal) << op;
        EXPECT_EQ((std::vector<std::u16string>{entry, u"    Exit Function"}), t.lines()) << op;
    };
}

auto empty_text(std::vector<std::u16string> log_lines) {
    return [=](FaultSweep& t, const std::string& op, const call_outcome& out) {
        expect_text(out, u"", op);
        EXPECT_EQ(log_lines, t.lines()) << op;
    };
}

// A batch call: its error text after the entry line, any message line, then Exit Function.
auto batch_error(std::u16string prefix, std::u16string entry) {
    return [=](FaultSweep& t, const std::string& op, const call_outcome& out) {
        expect_text(out, injected_text(prefix), op);
        ASSERT_FALSE(t.lines().empty()) << op;
        EXPECT_EQ(entry, t.lines().front()) << op;
        EXPECT_EQ(u"    Exit Function", t.lines().back()) << op;
        for (const auto& line : t.lines()) EXPECT_EQ(std::u16string::npos, line.find(u"Injected")) << op;
    };
}

auto untrapped() {
    return [](FaultSweep& t, const std::string& op, const call_outcome& out) {
        EXPECT_EQ(DISP_E_EXCEPTION, out.hr) << op << " is not trapped";
        EXPECT_EQ(injected_code, out.code()) << op;
        EXPECT_EQ(u"Injected", out.description()) << op;
        EXPECT_EQ(VT_EMPTY, out.result.vt) << op;
        EXPECT_TRUE(t.lines().empty()) << op;
    };
}

// A CR update whose failure leaves the CR on the server as it was.
auto cr_update_failure(std::string crid, std::string attribute, std::string before) {
    return [=](FaultSweep& t, const std::string& op, const call_outcome& out) {
        expect_text(out, injected_text(u"VANT_SetCRattribute: "), op);
        ASSERT_FALSE(t.lines().empty()) << op;
        EXPECT_EQ(u"VANT_SetCRattribute():", t.lines().front()) << op;
        for (const auto& line : t.lines()) {
            EXPECT_EQ(std::u16string::npos, line.find(u"return from TransitionCR")) << op;
            EXPECT_EQ(std::u16string::npos, line.find(u"return from ModifyCR")) << op;
        }
        EXPECT_EQ(before, t.cr_attribute(crid, attribute)) << op << ": nothing reaches the server";
    };
}

// Row 0 of a table gets a blank object when the batch call finds it empty, unless that
// object is the operation that failed.
auto blank_row_zero(std::size_t table) {
    return [=](const std::string& op, session_state& expected) {
        if (op != "new User") expected.rows[table][0] = nullptr;  // any object: compared below
    };
}

var text(std::u16string_view s) { return var(s); }
var i2(SHORT v) { return var(v); }

std::vector<method_case> cases() {
    using V = std::vector<std::u16string>;
    std::vector<method_case> c;
    auto none = [](FaultSweep&) {};

    // Properties: plain data, no library call to fail.
    c.push_back({"get_User", none, [](FaultSweep& t) { return t.get(u"User"); }, {}, {}});
    c.push_back({"get_api", none, [](FaultSweep& t) { return t.get(u"api"); }, {}, {}});
    c.push_back({"get_GoodConnection", none, [](FaultSweep& t) { return t.get(u"GoodConnection"); }, {}, {}});
    c.push_back({"put_GoodConnection", none, [](FaultSweep& t) { return t.put(u"GoodConnection", var(true)); }, {}, {}});
    c.push_back({"put_User", none,
                 [](FaultSweep& t) {
                     auto u = t.get(u"User");
                     return t.put(u"User", var::object(u.result.pdispVal));
                 },
                 {}, {}});
    c.push_back({"put_api", none,
                 [](FaultSweep& t) {
                     auto a = t.get(u"api");
                     return t.put(u"api", var::object(a.result.pdispVal));
                 },
                 {}, {}});

    c.push_back({"Connect", none,
                 [](FaultSweep& t) { return t.call(u"Connect", text(u"localhost"), text(u"tcp"), i2(8400)); },
                 [](FaultSweep& t, const std::string& op, const call_outcome& out) {
                     ASSERT_EQ(S_OK, out.hr) << op;
                     const std::u16string result(oa::view(out.result.bstrVal));
                     if (op == "new api") {
                         // Without an object the open fails in its turn, and that failure stands.
                         EXPECT_EQ(0u, result.rfind(u"Connect Error: ", 0)) << utf8(result);
                         EXPECT_EQ(std::u16string::npos, result.find(u"Injected")) << utf8(result);
                     } else {
                         EXPECT_EQ(injected_text(u"Connect Error: "), result);
                     }
                     EXPECT_EQ((V{u"Connect():", u"    Error occured: " + result}), t.lines()) << op;
                 },
                 {}});
    c.push_back({"Login", none,
                 [](FaultSweep& t) {
                     return t.call(u"Login", text(u"jane"), text(u"s3cret"), text(u"developer"), text(u"/db/alpha"),
                                              text(u"tests"));
                 },
                 [](FaultSweep& t, const std::string& op, const call_outcome& out) {
                     if (op == "appLogin") {
                         expect_text(out, injected_text(u"Login Error: "), op);
                         EXPECT_EQ((V{u"Login(): loginAppID=tests", u"    appID=tests<end>",
                                      u"    User object is null, appLogin failed."}),
                                   t.lines());
                     } else {
                         expect_text(out, u"Unable to login jane as developer into database /db/alpha", op);
                         EXPECT_EQ((V{u"Login(): loginAppID=tests", u"    appID=tests<end>"}), t.lines()) << op;
                     }
                 },
                 {}});
    c.push_back({"Login as Admin",
                 [](FaultSweep&) {
                     namespace hl = forms::headless;
                     hl::enqueue(hl::type(u"s3cret"), hl::press("cmdOK"));
                 },
                 [](FaultSweep& t) {
                     return t.call(u"Login", text(u"jane"), text(u""), text(u"Admin"), text(u"/db/alpha"),
                                              text(u"tests"));
                 },
                 [](FaultSweep& t, const std::string& op, const call_outcome& out) {
                     if (op == "AdminLogin") {
                         expect_text(out, u"Login as Admin role failed.", op);
                         EXPECT_EQ((V{u"Login(): loginAppID=tests", u"    appID=tests<end>",
                                      u"    User object is null, Login as Admin role failed."}),
                                   t.lines());
                     } else {
                         expect_text(out, u"Unable to login jane as Admin into database /db/alpha", op);
                     }
                 },
                 {}});

    c.push_back({"CreateAGroup", none, [](FaultSweep& t) { return t.call(u"CreateAGroup", text(u"qa")); },
                 false_result(u"CreateAGroup():"), {}});
    c.push_back({"DeleteAGroup", none, [](FaultSweep& t) { return t.call(u"DeleteAGroup", text(u"reviewers")); },
                 false_result(u"DeleteAGroup():"), {}});
    c.push_back({"AddUserToGroup", none,
                 [](FaultSweep& t) { return t.call(u"AddUserToGroup", text(u"joe"), text(u"reviewers")); },
                 false_result(u"AddUserToGroup():"), {}});

    c.push_back({"AddUserToArray", none,
                 [](FaultSweep& t) {
                     return t.call(u"AddUserToArray", i2(3), text(u"joe"), text(u"pw"), text(u"developer"), text(u"/db/alpha"));
                 },
                 error_text(u"AddUserToArray Error: ", {u"AddUserToArray():"}), {}});
    c.push_back({"AddUserToNMXArray", none,
                 [](FaultSweep& t) { return t.call(u"AddUserToNMXArray", i2(3), text(u"joe"), text(u"Joe Q")); },
                 error_text(u"AddUserToNMXArray Error: ", {u"AddUserToNMXArray():"}), {}});
    c.push_back({"AddUserToRoleArray", none,
                 [](FaultSweep& t) {
                     return t.call(u"AddUserToRoleArray", i2(3), text(u"joe"), text(u"developer"), text(u"/db/alpha"));
                 },
                 error_text(u"AddUserToRoleArray Error: ", {u"AddUserToRoleArray():"}), {}});

    c.push_back({"CreateUsers with nothing staged", none,
                 [](FaultSweep& t) { return t.call(u"CreateUsers", i2(1)); },
                 batch_error(u"CreateUsersError Error: ", u"CreateUsers():"), blank_row_zero(0)});
    c.push_back({"CreateUsers",
                 [](FaultSweep& t) {
                     t.call(u"AddUserToArray", i2(0), text(u"kim"), text(u"pw"), text(u"developer"), text(u"/db/alpha"));
                 },
                 [](FaultSweep& t) { return t.call(u"CreateUsers", i2(1)); },
                 batch_error(u"CreateUsersError Error: ", u"CreateUsers():"), {}});
    c.push_back({"SetMerivexUsernames",
                 [](FaultSweep& t) { t.call(u"AddUserToNMXArray", i2(0), text(u"joe"), text(u"Joe Q")); },
                 [](FaultSweep& t) { return t.call(u"SetMerivexUsernames", i2(1)); },
                 batch_error(u"SetMerivexUsernames Error: ", u"SetMerivexUsernames():"), {}});
    c.push_back({"AddUserRoles",
                 [](FaultSweep& t) {
                     t.call(u"AddUserToRoleArray", i2(0), text(u"joe"), text(u"developer"), text(u"/db/alpha"));
                 },
                 [](FaultSweep& t) { return t.call(u"AddUserRoles", i2(1)); },
                 batch_error(u"AddUserRoles Error: ", u"AddUserRoles():"), {}});
    c.push_back({"AddUserPreference", none,
                 [](FaultSweep& t) {
                     return t.call(u"AddUserPreference", text(u"jane"), text(u"editor"), text(u"emacs"), var(true));
                 },
                 error_text(u"AddUserPreferenceError Error: ", {u"AddUserPreference():", u"    Exit Function"}), {}});

    c.push_back({"GetNewAttrs", none,
                 [](FaultSweep& t) { return t.call(u"GetNewAttrs", text(u"17"), text(u"/db/alpha")); },
                 empty_text({u"GetNewAttrs():"}), {}});
    c.push_back({"GetDynamicAttrs", none, [](FaultSweep& t) { return t.call(u"GetDynamicAttrs", text(u"4711")); },
                 empty_text({}), {}});
    c.push_back({"VANT_GetHostname", none, [](FaultSweep& t) { return t.call(u"VANT_GetHostname"); },
                 empty_text({u"    Exit Function"}), {}});
    c.push_back({"setDynamicAttrs", none,
                 [](FaultSweep& t) { return t.call(u"setDynamicAttrs", text(u"4711"), text(u"<attrs x=\"1\"/>")); },
                 untrapped(), {}});
    c.push_back({"createRCObject", none,
                 [](FaultSweep& t) {
                     return t.call(u"createRCObject", text(u"17"), text(u"associated_cv"), text(u"<attrs/>"), text(u"f.txt"));
                 },
                 [](FaultSweep& t, const std::string& op, const call_outcome& out) {
                     ASSERT_EQ(S_OK, out.hr) << op;
                     EXPECT_EQ(VT_EMPTY, out.result.vt) << op;
                     EXPECT_EQ((V{u"    Entered createRCObjects", u"    Exit Function"}), t.lines()) << op;
                 },
                 {}});
    c.push_back({"encodeXML", none, [](FaultSweep& t) { return t.call(u"encodeXML", text(u"a<b")); }, {}, {}});
    c.push_back({"VANT_SetCRattribute with a transition", none,
                 [](FaultSweep& t) {
                     return t.call(u"VANT_SetCRattribute", text(u"17"), text(u"crstatus"), text(u"assigned"),
                                                            text(u"problem_synopsis"), text(u"a & b"));
                 },
                 cr_update_failure("17", "crstatus", "entered"), {}});
    c.push_back({"VANT_SetCRattribute with a modification", none,
                 [](FaultSweep& t) {
                     return t.call(u"VANT_SetCRattribute", text(u"18"), text(u"problem_synopsis"), text(u"Slower"), text(u""), text(u""));
                 },
                 cr_update_failure("18", "problem_synopsis", "Slow start"), {}});
    c.push_back({"VANT_SetCRattributeByFile", none,
                 [](FaultSweep& t) {
                     const auto a = oa::ascii_to_utf16(t.path_of("a.txt")), b = oa::ascii_to_utf16(t.path_of("b.txt"));
                     return t.call(u"VANT_SetCRattributeByFile", text(u"17"), text(u"crstatus"), text(a), text(u"problem_synopsis"), text(b));
                 },
                 cr_update_failure("17", "crstatus", "entered"), {}});
    c.push_back({"CreateRelation", none,
                 [](FaultSweep& t) {
                     return t.call(u"CreateRelation", var(1), text(u"17"), text(u"4712"), text(u"associated_cv"),
                                                       text(u"normal"));
                 },
                 error_text(u"CreateRelation failed ", {}), {}});
    return c;
}

TEST_P(FaultSweep, EveryLibraryOperationFailingInTurn) {
    const method_case& m = GetParam();
    ++methods_swept;

    // The learning run: which operations does the method call?
    start_over();
    m.prepare(*this);
    log.clear();
    start_journal();
    const call_outcome normal = m.run(*this);
    ASSERT_EQ(S_OK, normal.hr) << "the method fails even without a fault";
    std::vector<std::string> ops;
    for (const auto& op : journal_ops())
        if (std::find(ops.begin(), ops.end(), op) == ops.end()) ops.push_back(op);
    if (!m.check) {
        EXPECT_TRUE(ops.empty()) << "calls the library: " << ops.front();
        return;
    }
    ASSERT_FALSE(ops.empty()) << "the method calls no library operation";

    for (const std::string& op : ops) {
        SCOPED_TRACE("failing " + op);
        start_over();
        m.prepare(*this);
        log.clear();
        session_state expected = state();
        inject_fault(oa::ascii_to_utf16(op), injected_code, injected_description, 1);
        ++faults_injected;
        const call_outcome out = m.run(*this);
        m.check(*this, op, out);

        session_state after = state();
        if (m.allowed_change) {
            m.allowed_change(op, expected);
            // A row that may be filled holds whatever object the method made.
            for (std::size_t t = 0; t < 3; ++t)
                for (auto& [row, object] : expected.rows[t])
                    if (!object && after.rows[t].count(row)) object = after.rows[t][row];
        }
        EXPECT_EQ(expected, after) << "the session changed beyond what the method's rules allow";
        expect_only_held_objects(after, op);
        EXPECT_EQ(0u, forms::headless::pending()) << op;
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Session, FaultSweep, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<method_case>& info) {
                             std::string name;
                             for (char c : info.param.label) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// The figures of the sweep, for the summary of what the reliability tests cover.
class sweep_figures : public ::testing::Environment {
    void TearDown() override {
        if (methods_swept)
            std::printf("fault sweep: %d faults injected over %d method runs\n", faults_injected, methods_swept);
    }
};
const auto* figures = ::testing::AddGlobalTestEnvironment(new sweep_figures);

}  // namespace
}  // namespace q2mr_reliability
