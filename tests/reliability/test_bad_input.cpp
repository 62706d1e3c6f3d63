// The bad-input sweep: every public member of both classes is called late-bound with one
// argument at a time replaced by a bad value (Empty, Null, Nothing, an object or array or
// error value where a scalar belongs, texts with zeros or unpaired surrogates, extreme
// numbers), by value and in a VT_BYREF|VT_VARIANT box, and with one argument too many or
// too few. Each call must end with its rule's result or a standard failure: a dispatcher
// code at the argument that cannot be converted, or DISP_E_EXCEPTION carrying a run-time
// failure number; never a crash, a hang or a leaked object.
#include "reliability_fixture.h"

#include <value/t2DataClass.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <unistd.h>

namespace q2mr_reliability {
namespace {

namespace fs = std::filesystem;
using oa::disp::member;
using oa::disp::member_kind;

int calls_made = 0;

// What the dispatcher makes of a value for a declared argument type.
enum class at_dispatcher { passes, mismatch, overflow, bad_type };

struct bad_value {
    std::string label;
    std::function<var()> make;
    // By declared type: String, Integer, Boolean, Long, Variant, object.
    at_dispatcher text, integer, boolean, long_, variant, object;
};

constexpr auto P = at_dispatcher::passes, M = at_dispatcher::mismatch, O = at_dispatcher::overflow,
               B = at_dispatcher::bad_type;

var number(double d) { return var(d); }
var i4(int v) { return var(v); }

std::vector<bad_value> bad_values(IDispatch* foreign_object) {
    auto with_type = [](VARTYPE vt) {
        return [vt] {
            var v;
            v.vt = vt;
            return v;
        };
    };
    return {
        {"Empty", [] { return var(); }, P, P, P, P, P, P},
        {"Null", [] { return var::null(); }, M, M, M, M, P, M},
        {"Nothing", [] { return var::object(nullptr); }, M, M, M, M, P, P},
        // An object without a default value where a scalar belongs; where a library object
        // belongs any object that answers IDispatch serves.
        {"an object", [foreign_object] { return var::object(foreign_object); }, M, M, M, M, P, P},
        {"a byte array",
         [] {
             var v;
             v.vt = VT_ARRAY | VT_UI1;
             v.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
             return v;
         },
         M, M, M, M, P, M},
        {"an error value",
         [] {
             var v;
             v.vt = VT_ERROR;
             v.scode = DISP_E_PARAMNOTFOUND;
             return v;
         },
         M, M, M, M, P, M},
        {"a junk type tag", with_type(0x0FFF), B, B, B, B, P, M},
        {"a word", [] { return var(u"abc"); }, P, M, M, M, P, M},
        {"embedded zeros", [] { return var(std::u16string_view(u"a\0b\0", 4)); }, P, M, M, M, P, M},
        {"an unpaired surrogate", [] { return var(std::u16string(u"x") + char16_t(0xD800)); }, P, M, M, M, P, M},
        {"an unpaired low surrogate", [] { return var(std::u16string(1, char16_t(0xDFFF))); }, P, M, M, M, P, M},
        {"-32768", [] { return var(SHORT(-32768)); }, P, P, P, P, P, M},
        {"32767", [] { return var(SHORT(32767)); }, P, P, P, P, P, M},
        {"-1", [] { return i4(-1); }, P, P, P, P, P, M},
        {"2147483647", [] { return i4(std::numeric_limits<int>::max()); }, P, O, P, P, P, M},
        {"-2147483648", [] { return i4(std::numeric_limits<int>::min()); }, P, O, P, P, P, M},
        {"text -32769", [] { return var(u"-32769"); }, P, O, P, P, P, M},
        {"1e300", [] { return number(1e300); }, P, O, P, O, P, M},
        {"NaN", [] { return number(std::nan("")); }, P, O, P, O, P, M},
        {"-0.5", [] { return number(-0.5); }, P, P, P, P, P, M},
    };
}

at_dispatcher expected_for(const bad_value& b, const oa::disp::param& p) {
    switch (p.vt) {
    case VT_BSTR: return b.text;
    case VT_I2: return b.integer;
    case VT_BOOL: return b.boolean;
    case VT_I4: return b.long_;
    case VT_VARIANT: return b.variant;
    default: return b.object;
    }
}

// Arguments that get a call past its first lookups on the standard fixture.
std::map<std::u16string, std::vector<std::function<var()>>> good_arguments(const std::string& a_file,
                                                                           const std::string& b_file) {
    auto t = [](std::u16string s) { return [s] { return var(std::u16string_view(s)); }; };
    auto s = [](SHORT v) { return [v] { return var(v); }; };
    auto yes = [] { return var(true); };
    const std::u16string a = oa::ascii_to_utf16(a_file), b = oa::ascii_to_utf16(b_file);
    return {
        {u"Connect", {t(u"localhost"), t(u"tcp"), s(8400)}},
        {u"Login", {t(u"jane"), t(u"s3cret"), t(u"developer"), t(u"/db/alpha"), t(u"tests")}},
        {u"CreateAGroup", {t(u"qa")}},
        {u"DeleteAGroup", {t(u"reviewers")}},
        {u"AddUserToGroup", {t(u"joe"), t(u"reviewers")}},
        {u"AddUserToArray", {s(3), t(u"joe"), t(u"pw"), t(u"developer"), t(u"/db/alpha")}},
        {u"AddUserToNMXArray", {s(3), t(u"joe"), t(u"Joe Q")}},
        {u"AddUserToRoleArray", {s(3), t(u"joe"), t(u"developer"), t(u"/db/alpha")}},
        {u"CreateUsers", {s(1)}},
        {u"SetMerivexUsernames", {s(1)}},
        {u"AddUserRoles", {s(1)}},
        {u"AddUserPreference", {t(u"jane"), t(u"editor"), t(u"emacs"), yes}},
        {u"GetNewAttrs", {t(u"17"), t(u"/db/alpha")}},
        {u"GetDynamicAttrs", {t(u"4711")}},
        {u"setDynamicAttrs", {t(u"4711"), t(u"<attrs/>")}},
        {u"createRCObject", {t(u"17"), t(u"associated_cv"), t(u"<attrs/>"), t(u"f.txt")}},
        {u"encodeXML", {t(u"a<b")}},
        {u"VANT_SetCRattributeByFile", {t(u"18"), t(u"problem_synopsis"), t(a), t(u"crstatus"), t(b)}},
        {u"VANT_SetCRattribute", {t(u"17"), t(u"crstatus"), t(u"assigned"), t(u"problem_synopsis"), t(u"x & y")}},
        {u"CreateRelation", {[] { return var(1); }, t(u"17"), t(u"4712"), t(u"associated_cv"), t(u"normal")}},
    };
}

// Where a 16 MiB text goes: a few arguments that carry texts a long way.
const std::multimap<std::u16string, std::size_t> huge_text_arguments{
    {u"encodeXML", 0},   {u"setDynamicAttrs", 1}, {u"createRCObject", 2}, {u"VANT_SetCRattribute", 2},
    {u"Login", 1},       {u"AddUserToArray", 1},  {u"CreateRelation", 1}, {u"GetNewAttrs", 0},
    {u"StringValue", 0},
};

// Methods that trap nothing, and so may hand a failure of their own or of the library on.
bool untrapped(std::u16string_view name) {
    return name == u"setDynamicAttrs" || name == u"VANT_SetCRattributeByFile";
}
// The staging methods let a bound overflow escape (run-time failure 6).
bool stages(std::u16string_view name) {
    return name == u"AddUserToArray" || name == u"AddUserToNMXArray" || name == u"AddUserToRoleArray";
}

struct member_case {
    std::string label;
    bool value_record;
    std::size_t index;  // in its class's description
};

void PrintTo(const member_case& m, std::ostream* os) { *os << m.label; }

class BadInput : public ReliabilityTest, public ::testing::WithParamInterface<member_case> {
protected:
    void SetUp() override {
        ReliabilityTest::SetUp();
        files = fs::path(::testing::TempDir()) / ("q2mr_bad_input_" + std::to_string(::getpid()));
        fs::create_directories(files);
        std::ofstream(files / "a.txt") << "Slow & <steady>";
        std::ofstream(files / "b.txt") << "assigned";
        connect_and_login();
        record = oa::make_self<quellar2mrapi::t2DataClass>();
    }
    void TearDown() override {
        record = nullptr;
        ReliabilityTest::TearDown();
        fs::remove_all(files);
    }

    WORD flags_of(const member& m) {
        switch (m.kind) {
        case member_kind::method: return DISPATCH_METHOD;
        case member_kind::get: return DISPATCH_PROPERTYGET;
        default: return DISPATCH_PROPERTYPUT;
        }
    }

    // One late-bound call; arguments in the member's order, each by value or boxed.
    call_outcome call(IDispatch* target, const member& m, std::vector<var>& values, bool boxed) {
        ++calls_made;
        std::vector<VARIANT> args;
        std::vector<by_ref> boxes;
        boxes.reserve(values.size());
        for (auto& v : values) {
            if (boxed) {
                boxes.emplace_back(std::move(v));
                args.push_back(boxes.back().arg());
            } else {
                args.push_back(v);
            }
        }
        return invoke_id(target, m.id, flags_of(m), std::move(args));
    }

    void expect_rule_or_standard_failure(const member& m, const call_outcome& out, const std::string& where) {
        if (out.hr == S_OK) {
            if (m.has_result && m.result.vt != VT_VARIANT) {
                EXPECT_EQ(m.result.vt, out.result.vt) << where;
            }
            return;
        }
        ASSERT_EQ(DISP_E_EXCEPTION, out.hr) << where << ": an unexpected failure code";
        const HRESULT code = out.code();
        const bool run_time_failure = (static_cast<std::uint32_t>(code) & 0xFFFF0000u) == 0x800A0000u;
        EXPECT_FALSE(out.description().empty()) << where;
        if (untrapped(m.name)) {
            EXPECT_TRUE(run_time_failure || (static_cast<std::uint32_t>(code) & 0xFFFF0000u) == 0x80040000u)
                << where << ": code " << std::hex << code;
        } else if (stages(m.name)) {
            EXPECT_EQ(oa::vb_hresult(oa::vb::overflow), code) << where << ": only the bound overflow escapes";
        } else {
            ADD_FAILURE() << where << ": a trapping member let a failure escape: " << utf8(out.description());
        }
    }

    fs::path files;
    oa::com_ptr<quellar2mrapi::t2DataClass> record;
};

std::vector<member_case> member_cases() {
    std::vector<member_case> cases;
    auto add = [&](const oa::disp::interface_desc& desc, bool value_record) {
        for (std::size_t i = 0; i < desc.members.size(); ++i) {
            const member& m = desc.members[i];
            const char* kind = m.kind == member_kind::method ? "" : m.kind == member_kind::get ? "get_" : "put_";
            cases.push_back({(value_record ? "t2DataClass_" : "t2mrapp_") + std::string(kind) + utf8(m.name),
                             value_record, i});
        }
    };
    add(quellar2mrapi::t2mrapp::description(), false);
    add(quellar2mrapi::t2DataClass::description(), true);
    return cases;
}

TEST_P(BadInput, EveryArgumentReplacedInTurn) {
    const member_case& c = GetParam();
    const auto& desc = c.value_record ? quellar2mrapi::t2DataClass::description() : quellar2mrapi::t2mrapp::description();
    const member& m = desc.members[c.index];
    IDispatch* target = c.value_record ? static_cast<IDispatch*>(record.get()) : dispatch();
    const auto goods = good_arguments(files / "a.txt", files / "b.txt");

    // Good arguments: the table's, or one of the declared type for properties.
    auto good = [&](std::size_t i) -> var {
        if (auto it = goods.find(m.name); it != goods.end() && i < it->second.size()) return it->second[i]();
        switch (m.params[i].vt) {
        case VT_BSTR: return var(u"text");
        case VT_I2: return var(SHORT(7));
        case VT_BOOL: return var(true);
        case VT_I4: return var(7);
        case VT_DISPATCH: return var();  // Nothing
        default: return var(u"text");
        }
    };
    auto arguments = [&] {
        std::vector<var> values;
        for (std::size_t i = 0; i < m.params.size(); ++i) values.push_back(good(i));
        return values;
    };

    for (const bool boxed : {false, true}) {
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            for (const bad_value& b : bad_values(static_cast<IDispatch*>(record.get()))) {
                const std::string where = std::string(boxed ? "boxed " : "") + b.label + " as argument " +
                                          std::to_string(i + 1);
                std::vector<var> values = arguments();
                values[i] = b.make();
                const call_outcome out = call(target, m, values, boxed);
                const UINT position = static_cast<UINT>(m.params.size() - 1 - i);  // arguments travel last first
                switch (expected_for(b, m.params[i])) {
                case at_dispatcher::mismatch:
                    EXPECT_EQ(DISP_E_TYPEMISMATCH, out.hr) << where;
                    EXPECT_EQ(position, out.arg_err) << where;
                    break;
                case at_dispatcher::overflow:
                    EXPECT_EQ(DISP_E_OVERFLOW, out.hr) << where;
                    EXPECT_EQ(position, out.arg_err) << where;
                    break;
                case at_dispatcher::bad_type: EXPECT_EQ(DISP_E_BADVARTYPE, out.hr) << where; break;
                case at_dispatcher::passes: expect_rule_or_standard_failure(m, out, where); break;
                }
            }
        }
    }

    // A 16 MiB text in the few places that carry texts furthest.
    const std::u16string_view short_name = m.name;
    for (auto [it, end] = huge_text_arguments.equal_range(std::u16string(short_name)); it != end; ++it) {
        if (m.kind == member_kind::get) continue;
        std::vector<var> values = arguments();
        std::u16string huge(16u << 20, u'x');
        for (std::size_t k = 0; k < huge.size(); k += 4096) huge[k] = u"<&>\0"[k / 4096 % 4];
        values[it->second] = var(std::u16string_view(huge));
        const call_outcome out = call(target, m, values, false);
        expect_rule_or_standard_failure(m, out, "a 16 MiB text as argument " + std::to_string(it->second + 1));
    }

    // One argument too many and, where there is one, one too few.
    {
        std::vector<var> values = arguments();
        values.push_back(var(u"extra"));
        EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(target, m, values, false).hr) << "one argument too many";
    }
    // (A put always carries its value: a script cannot make one without it.)
    if (!m.params.empty() && m.kind != member_kind::put) {
        std::vector<var> values = arguments();
        values.pop_back();
        EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(target, m, values, false).hr) << "one argument too few";
    }

    // The session holds no more than its own objects and, unless a property put changed
    // its members, still talks to the server.
    if (!c.value_record) {
        expect_only_held_objects(state(), "after the sweep");
        if (m.kind == member_kind::method) {
            const call_outcome host = call_method(dispatch(), u"VANT_GetHostname", {});
            EXPECT_EQ(u"cm1.example.test", host.result.str());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Members, BadInput, ::testing::ValuesIn(member_cases()),
                         [](const ::testing::TestParamInfo<member_case>& info) { return info.param.label; });

class sweep_figures : public ::testing::Environment {
    void TearDown() override {
        if (calls_made) std::printf("bad-input sweep: %d late-bound calls\n", calls_made);
    }
};
const auto* figures = ::testing::AddGlobalTestEnvironment(new sweep_figures);

}  // namespace
}  // namespace q2mr_reliability
