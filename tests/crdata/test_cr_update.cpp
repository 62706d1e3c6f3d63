// VANT_SetCRattribute and VANT_SetCRattributeByFile: the attribute list, which attributes
// are set, transition or modification, values escaped on the way and stored on the server
// as the script wrote them, the failure text, and file failures before any server call.
#include "crdata_fixture.h"

#include <emulator/emulator.h>
#include <tests/support/late_bound.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace q2mr_test;

namespace {

class CrUpdate : public CrDataTest {
protected:
    void SetUp() override {
        CrDataTest::SetUp();
        load_fixture("crdata.json");
    }
    // The texts that one journaled call carried.
    static bool carries(const nlohmann::json& entry, const std::string& text) {
        const auto& args = entry.at("args");
        return std::find(args.begin(), args.end(), nlohmann::json(text)) != args.end();
    }
    std::vector<nlohmann::json> calls_of(const std::string& op) {
        std::vector<nlohmann::json> out;
        for (auto& e : journal())
            if (e.at("op") == op) out.push_back(e);
        return out;
    }
};

// --- VANT_SetCRattribute -----------------------------------------------------------------

TEST_F(CrUpdate, OneAttributeAsksForItWithProblemNumberAndModifies) {
    connect_and_login();
    const LONG held = live_all();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"17", u"problem_synopsis", u"Crash on save as"));
    auto crdata = calls_of("CRData");
    ASSERT_EQ(1u, crdata.size());
    EXPECT_TRUE(carries(crdata[0], "problem_synopsis|problem_number")) << crdata[0].dump();
    EXPECT_EQ(1u, calls_of("Attribute.Value=").size());
    EXPECT_EQ(1u, calls_of("ModifyCR").size());
    EXPECT_TRUE(calls_of("TransitionCR").empty());
    EXPECT_EQ("Crash on save as", cr_attribute("17", "problem_synopsis"));
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(u"VANT_SetCRattribute():", log[0]);
    EXPECT_EQ(u"   return from CRData", log[1]);
    EXPECT_EQ(0u, log[2].rfind(u"   return from ModifyCR: ", 0)) << utf8(log[2]);
    EXPECT_EQ(held, live_all());
}

TEST_F(CrUpdate, TwoAttributesAreListedSecondFirstAndBothSet) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"17", u"problem_synopsis", u"New synopsis", u"resolution", u"fixed"));
    auto crdata = calls_of("CRData");
    ASSERT_EQ(1u, crdata.size());
    EXPECT_TRUE(carries(crdata[0], "resolution|problem_synopsis|problem_number")) << crdata[0].dump();
    EXPECT_EQ(2u, calls_of("Attribute.Value=").size());
    EXPECT_EQ("New synopsis", cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ("fixed", cr_attribute("17", "resolution"));
}

TEST_F(CrUpdate, ASecondNameWithoutValueIsListedButNotSet) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"17", u"problem_synopsis", u"Only this", u"resolution", u""));
    auto crdata = calls_of("CRData");
    ASSERT_EQ(1u, crdata.size());
    EXPECT_TRUE(carries(crdata[0], "resolution|problem_synopsis|problem_number")) << crdata[0].dump();
    EXPECT_EQ(1u, calls_of("Attribute.Value=").size());
    EXPECT_EQ("", cr_attribute("17", "resolution"));
    EXPECT_EQ("Only this", cr_attribute("17", "problem_synopsis"));
}

TEST_F(CrUpdate, ASecondValueWithoutNameStartsTheListWithABarAndIsNotSet) {
    connect_and_login();
    start_journal();
    set_cr_attribute(u"17", u"problem_synopsis", u"Bar first", u"", u"ignored");
    auto crdata = calls_of("CRData");
    ASSERT_EQ(1u, crdata.size());
    EXPECT_TRUE(carries(crdata[0], "|problem_synopsis|problem_number")) << crdata[0].dump();
    EXPECT_EQ(1u, calls_of("Attribute.Value=").size());
    EXPECT_EQ("Bar first", cr_attribute("17", "problem_synopsis"));
}

TEST_F(CrUpdate, AnAllowedTransitionGoesThroughTransitionCR) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"17", u"crstatus", u"assigned", u"resolution", u"taken"));
    EXPECT_EQ(1u, calls_of("TransitionCR").size());
    EXPECT_TRUE(calls_of("ModifyCR").empty());
    EXPECT_EQ("assigned", cr_attribute("17", "crstatus"));
    EXPECT_EQ("taken", cr_attribute("17", "resolution"));
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(0u, log[2].rfind(u"   return from TransitionCR: ", 0)) << utf8(log[2]);
}

TEST_F(CrUpdate, CrstatusAsTheSecondNameAlsoTransitions) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"18", u"problem_synopsis", u"Slow start again", u"crstatus", u"resolved"));
    EXPECT_EQ(1u, calls_of("TransitionCR").size());
    EXPECT_EQ("resolved", cr_attribute("18", "crstatus"));
}

TEST_F(CrUpdate, ARefusedTransitionReturnsTheFailureTextAndChangesNothing) {
    connect_and_login();
    const LONG held = live_all();
    const std::u16string result = set_cr_attribute(u"17", u"crstatus", u"resolved");
    EXPECT_EQ(0u, result.rfind(u"VANT_SetCRattribute: -", 0)) << utf8(result);
    EXPECT_EQ("entered", cr_attribute("17", "crstatus"));
    // Entry line and the CRData line; nothing on failure.
    EXPECT_EQ((std::vector<std::u16string>{u"VANT_SetCRattribute():", u"   return from CRData"}), log);
    EXPECT_EQ(held, live_all());
}

TEST_F(CrUpdate, CrstatusDifferingInCaseOrByABlankModifies) {
    connect_and_login();
    for (std::u16string_view name : {u"CRStatus", u"crstatus ", u" crstatus"}) {
        start_journal();
        set_cr_attribute(u"17", u"problem_synopsis", u"x", name, u"");
        EXPECT_TRUE(calls_of("TransitionCR").empty()) << utf8(name);
        EXPECT_EQ(1u, calls_of("ModifyCR").size()) << utf8(name);
        emulator->StopJournal();
    }
}

TEST_F(CrUpdate, ValuesAreEscapedOnTheWayAndStoredAsTheScriptWroteThem) {
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", set_cr_attribute(u"17", u"problem_synopsis", u"a < b && c > \"d\"", u"resolution", u"&lt;"));
    auto puts = calls_of("Attribute.Value=");
    ASSERT_EQ(2u, puts.size());
    EXPECT_TRUE(carries(puts[0], "a &lt; b &amp;&amp; c &gt; \"d\"")) << puts[0].dump();
    EXPECT_TRUE(carries(puts[1], "&amp;lt;")) << puts[1].dump();
    EXPECT_EQ("a < b && c > \"d\"", cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ("&lt;", cr_attribute("17", "resolution"));
}

TEST_F(CrUpdate, AFailureSettingTheFirstAttributeLeavesTheSecondUnsetAndSendsNothing) {
    connect_and_login();
    const LONG held = live_all();
    inject_fault(u"Attribute.Value=", mremu::errors::unknown_attribute, u"cannot set");
    start_journal();
    EXPECT_EQ(u"VANT_SetCRattribute: -2147220985 cannot set",
              set_cr_attribute(u"17", u"problem_synopsis", u"x", u"resolution", u"y"));
    EXPECT_EQ(1u, calls_of("Attribute.Value=").size());
    EXPECT_TRUE(calls_of("ModifyCR").empty());
    EXPECT_EQ("", cr_attribute("17", "resolution"));
    EXPECT_EQ(held, live_all());
}

TEST_F(CrUpdate, AnUnknownCrReturnsTheFailureText) {
    connect_and_login();
    const std::u16string result = set_cr_attribute(u"999", u"problem_synopsis", u"x");
    EXPECT_EQ(0u, result.rfind(u"VANT_SetCRattribute: -2147220987 ", 0)) << utf8(result);
    EXPECT_EQ((std::vector<std::u16string>{u"VANT_SetCRattribute():"}), log);
}

TEST_F(CrUpdate, BeforeConnectTheFailureIs91) {
    EXPECT_EQ(u"VANT_SetCRattribute:  91 Object variable or With block variable not set",
              set_cr_attribute(u"17", u"problem_synopsis", u"x"));
    EXPECT_EQ((std::vector<std::u16string>{u"VANT_SetCRattribute():"}), log);
}

TEST_F(CrUpdate, AfterConnectBeforeLoginCRDataIsAskedWithAnAbsentUser) {
    connect();
    log.clear();
    start_journal();
    const std::u16string result = set_cr_attribute(u"17", u"problem_synopsis", u"x");
    EXPECT_EQ(std::vector<std::string>{"CRData"}, journal_ops());
    EXPECT_EQ(0u, result.rfind(u"VANT_SetCRattribute: ", 0)) << utf8(result);
    EXPECT_EQ("Crash on save", cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ(1, live_all());
}

TEST_F(CrUpdate, SetCRattributeLateBound) {
    connect_and_login();
    by_ref crid(var(u"17")), name(var(u"problem_synopsis")), value(var(u"late <bound>")), name1(var(u"")),
        value1(var(u""));
    auto out = call_method(session.get(), u"VANT_SetCRattribute", {crid, name, value, name1, value1});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"", out.result.str());
    EXPECT_EQ("late <bound>", cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ(u"late <bound>", value.value.str());  // the script's variable is not escaped
}

// --- VANT_SetCRattributeByFile -----------------------------------------------------------

class CrUpdateByFile : public CrUpdate {
protected:
    void TearDown() override {
        std::filesystem::remove_all(dir);
        CrUpdate::TearDown();
    }
    std::u16string file(const std::string& name, const std::string& bytes) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return oa::ascii_to_utf16((dir / name).string());
    }
    std::u16string missing() { return oa::ascii_to_utf16((dir / "missing.txt").string()); }
    HRESULT by_file(std::u16string_view crid, std::u16string_view name, std::u16string_view path,
                    std::u16string_view name1, std::u16string_view path1, std::u16string* out = nullptr) {
        text_result result;
        HRESULT hr = session->VANT_SetCRattributeByFile(S(crid), S(name), S(path), S(name1), S(path1), result);
        if (out) *out = result.str();
        return hr;
    }
    std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) /
        ("q2mr_files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
};

TEST_F(CrUpdateByFile, FilesAreReadWholeWithTheirLineBreaksAndUtf8Text) {
    connect_and_login();
    const std::string first = "line one\r\nline <two> & more\nGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80\n";
    std::u16string result = u"unset";
    EXPECT_EQ(S_OK, by_file(u"17", u"problem_synopsis", file("a.txt", first), u"resolution",
                            file("b.txt", "done"), &result));
    EXPECT_EQ(u"", result);
    EXPECT_EQ(first, cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ("done", cr_attribute("17", "resolution"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(u"VANT_SetCRattribute():", log[0]);
}

TEST_F(CrUpdateByFile, AnInvalidByteBecomesAReplacementCharacterAndAnEmptyFileAnEmptyValue) {
    connect_and_login();
    EXPECT_EQ(S_OK, by_file(u"17", u"problem_synopsis", file("bad.txt", "a\xFF" "b\xC3"), u"resolution",
                            file("empty.txt", "")));
    EXPECT_EQ("a\xEF\xBF\xBD" "b\xEF\xBF\xBD", cr_attribute("17", "problem_synopsis"));
    // With an empty second name the second value is read but not sent.
    EXPECT_EQ(S_OK, by_file(u"18", u"problem_synopsis", file("empty2.txt", ""), u"", file("x.txt", "x")));
    EXPECT_EQ("", cr_attribute("18", "problem_synopsis"));
}

TEST_F(CrUpdateByFile, AnEmptyOrMissingSecondPathFailsWith53BeforeAnyServerCall) {
    connect_and_login();
    const LONG held = live_all();
    start_journal();
    for (const std::u16string& second : {std::u16string(), missing()}) {
        std::u16string result = u"unset";
        EXPECT_EQ(oa::vb_hresult(53), by_file(u"17", u"problem_synopsis", file("a.txt", "v"), u"", second, &result));
        EXPECT_EQ(u"", result);
    }
    EXPECT_TRUE(journal_ops().empty());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ("Crash on save", cr_attribute("17", "problem_synopsis"));
    EXPECT_EQ(held, live_all());
}

TEST_F(CrUpdateByFile, AFailedFirstReadEndsTheCallBeforeTheSecondFileIsOpened) {
    connect_and_login();
    std::filesystem::create_directories(dir / "folder");
    const std::u16string folder = oa::ascii_to_utf16((dir / "folder").string());
    // The folder alone fails with 75; behind a missing first file the call ends with 53.
    EXPECT_EQ(oa::vb_hresult(75), by_file(u"17", u"problem_synopsis", folder, u"", file("b.txt", "v")));
    EXPECT_EQ(oa::vb_hresult(53), by_file(u"17", u"problem_synopsis", missing(), u"", folder));
    EXPECT_TRUE(log.empty());
}

TEST_F(CrUpdateByFile, BeforeConnectTheTextOfTheUpdateComesBackAfterBothReads) {
    std::u16string result;
    EXPECT_EQ(S_OK, by_file(u"17", u"problem_synopsis", file("a.txt", "v"), u"", file("b.txt", ""), &result));
    EXPECT_EQ(u"VANT_SetCRattribute:  91 Object variable or With block variable not set", result);
}

TEST_F(CrUpdateByFile, AFileFailureReachesALateBoundCallerWithItsNumberAndDescription) {
    connect_and_login();
    const std::u16string gone = missing();
    by_ref crid(var(u"17")), name(var(u"problem_synopsis")), path(var{gone}), name1(var(u"")), path1(var{gone});
    auto out = call_method(session.get(), u"VANT_SetCRattributeByFile", {crid, name, path, name1, path1});
    EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(oa::vb_hresult(53), out.code());
    EXPECT_EQ(u"File not found", out.description());
}

}  // namespace
