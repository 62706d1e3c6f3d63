// setDynamicAttrs and createRCObject: Quellar XML data as text buffers, the label, the
// answers, and the two failure styles (to the script, or an Empty result).
#include "crdata_fixture.h"

#include <emulator/emulator.h>
#include <tests/support/late_bound.h>

using namespace q2mr_test;

namespace {

class DynamicAttrs : public CrDataTest {
protected:
    HRESULT set_dynamic_attrs(std::u16string_view rcp, std::u16string_view values, oa::unique_variant& result) {
        return session->setDynamicAttrs(S(rcp), S(values), result.put());
    }
    HRESULT create_rc_object(std::u16string_view rcp, std::u16string_view relation, std::u16string_view values,
                             std::u16string_view filename, oa::unique_variant& result) {
        return session->createRCObject(S(rcp), S(relation), S(values), S(filename), result.put());
    }
    std::vector<nlohmann::json> calls_of(const std::string& op) {
        std::vector<nlohmann::json> out;
        for (auto& e : journal())
            if (e.at("op") == op) out.push_back(e);
        return out;
    }
};

// --- setDynamicAttrs ---------------------------------------------------------------------

TEST_F(DynamicAttrs, SetAndReadBackNonAsciiTextAndZeroCharactersWithoutLogLines) {
    connect_and_login();
    const LONG held = live_all();
    const std::u16string data(u"<attrs a=\"\u00E9\u20AC\U0001F600\" b=\"&amp;\"/>\0tail", 33);
    oa::unique_variant answer;
    ASSERT_EQ(S_OK, set_dynamic_attrs(u"4713", data, answer));
    EXPECT_EQ(VT_BSTR, answer.vt);
    EXPECT_EQ(data, get_dynamic_attrs(u"4713"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(held, live_all());
}

TEST_F(DynamicAttrs, TheBufferCarriesTwoBytesPerCharacterAndTheLabel) {
    connect_and_login();
    start_journal();
    oa::unique_variant answer;
    ASSERT_EQ(S_OK, set_dynamic_attrs(u"4713", u"<x>\u00FC</x>", answer));
    auto calls = calls_of("SetDynamicAttrsData");
    ASSERT_EQ(1u, calls.size());
    const auto& args = calls[0].at("args");  // User, rcpId, label, buffer, count
    EXPECT_EQ("4713", args.at(1));
    EXPECT_EQ("Quellar xml data", args.at(2));
    EXPECT_EQ(16, args.at(3).at("count"));  // 8 characters, 16 bytes
    EXPECT_EQ("<x>\u00FC</x>", args.at(3).at("text"));
    EXPECT_EQ(16, args.at(4));
}

TEST_F(DynamicAttrs, EmptyValuesFailWith9TowardsTheScriptAndCallNothing) {
    connect_and_login();
    start_journal();
    VARIANT answer;  // an out argument owns nothing on entry: stale contents stay unfreed
    answer.vt = VT_I4;
    answer.lVal = 7;
    EXPECT_EQ(oa::vb_hresult(9), session->setDynamicAttrs(S(u"4713"), S(u""), &answer));
    EXPECT_EQ(VT_EMPTY, answer.vt) << "a failed call delivers the empty Variant";
    EXPECT_TRUE(journal_ops().empty());
    EXPECT_TRUE(log.empty());
}

TEST_F(DynamicAttrs, ALibraryFailureReachesTheScriptWithItsNumber) {
    connect_and_login();
    const LONG held = live_all();
    inject_fault(u"SetDynamicAttrsData", mremu::errors::unknown_object, u"no such object");
    oa::unique_variant answer;
    EXPECT_EQ(mremu::errors::unknown_object, set_dynamic_attrs(u"4713", u"<x/>", answer));
    EXPECT_EQ(VT_EMPTY, answer.vt);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(held, live_all());
}

TEST_F(DynamicAttrs, BeforeConnectTheCallFailsWith91) {
    oa::unique_variant answer;
    EXPECT_EQ(oa::vb_hresult(91), set_dynamic_attrs(u"4713", u"<x/>", answer));
    EXPECT_TRUE(log.empty());
}

TEST_F(DynamicAttrs, AfterConnectBeforeLoginTheLibraryIsCalledAndItsFailureReachesTheScript) {
    connect();
    start_journal();
    oa::unique_variant answer;
    EXPECT_TRUE(FAILED(set_dynamic_attrs(u"4713", u"<x/>", answer)));
    EXPECT_EQ(std::vector<std::string>{"SetDynamicAttrsData"}, journal_ops());
    EXPECT_EQ(1, live_all());
}

TEST_F(DynamicAttrs, SetDynamicAttrsLateBoundFailureCarriesNumber9) {
    connect_and_login();
    by_ref rcp(var(u"4713")), values(var(u""));
    auto out = call_method(session.get(), u"setDynamicAttrs", {rcp, values});
    EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(oa::vb_hresult(9), out.code());
    by_ref some(var(u"<late/>"));
    auto ok = call_method(session.get(), u"setDynamicAttrs", {rcp, some});
    ASSERT_EQ(S_OK, ok.hr);
    EXPECT_EQ(VT_BSTR, ok.result.vt);
    EXPECT_EQ(u"<late/>", get_dynamic_attrs(u"4713"));
}

// --- createRCObject ----------------------------------------------------------------------

TEST_F(DynamicAttrs, AnRcObjectIsCreatedThenRelatedAndOnlyTheEntryLineIsLogged) {
    connect_and_login();
    const LONG held = live_all();
    const size_t objects_before = state().at("objects").size();
    start_journal();
    oa::unique_variant answer;
    ASSERT_EQ(S_OK, create_rc_object(u"17", u"associated_cv", u"<rc name=\"\u00C5\"/>", u"/no/such/file.xml", answer));
    ASSERT_EQ(VT_BSTR, answer.vt);
    EXPECT_EQ(std::vector<std::u16string>{u"    Entered createRCObjects"}, log);
    auto calls = calls_of("CreateRCObjectFromData");
    ASSERT_EQ(1u, calls.size());
    const std::string args = calls[0].at("args").dump();
    for (const char* part : {"\"17\"", "\"associated_cv\"", "\"/no/such/file.xml\"", "\"Quellar xml data\"", "\"\""})
        EXPECT_NE(std::string::npos, args.find(part)) << args;
    const auto objects = state().at("objects");
    ASSERT_EQ(objects_before + 1, objects.size());
    const std::string cvid = objects.back().at("cvid");
    EXPECT_EQ(u"<rc name=\"\u00C5\"/>", get_dynamic_attrs(oa::ascii_to_utf16(cvid)));

    const std::u16string related = create_relation(0, u"18", oa::ascii_to_utf16(cvid));
    EXPECT_NE(0u, related.rfind(u"Create relation failed", 0)) << utf8(related);
    bool found = false;
    const nlohmann::json now = state();
    for (const auto& r : now.at("relations")) found |= r.at("from") == "18" && r.at("to") == cvid;
    EXPECT_TRUE(found);
    EXPECT_EQ(held, live_all());
}

TEST_F(DynamicAttrs, EmptyValuesGiveEmptyAfterExitFunction) {
    connect_and_login();
    start_journal();
    oa::unique_variant answer;
    ASSERT_EQ(S_OK, create_rc_object(u"17", u"associated_cv", u"", u"f.xml", answer));
    EXPECT_EQ(VT_EMPTY, answer.vt);
    EXPECT_TRUE(journal_ops().empty());
    EXPECT_EQ((std::vector<std::u16string>{u"    Entered createRCObjects", u"    Exit Function"}), log);
}

TEST_F(DynamicAttrs, BeforeConnectOrOnALibraryFailureTheResultIsEmpty) {
    oa::unique_variant answer;
    ASSERT_EQ(S_OK, create_rc_object(u"17", u"associated_cv", u"<rc/>", u"f.xml", answer));
    EXPECT_EQ(VT_EMPTY, answer.vt);
    EXPECT_EQ((std::vector<std::u16string>{u"    Entered createRCObjects", u"    Exit Function"}), log);

    connect_and_login();
    const LONG held = live_all();
    inject_fault(u"CreateRCObjectFromData", mremu::errors::unknown_object, u"refused");
    ASSERT_EQ(S_OK, create_rc_object(u"17", u"associated_cv", u"<rc/>", u"f.xml", answer));
    EXPECT_EQ(VT_EMPTY, answer.vt);
    EXPECT_EQ((std::vector<std::u16string>{u"    Entered createRCObjects", u"    Exit Function"}), log);
    EXPECT_EQ(held, live_all());
}

TEST_F(DynamicAttrs, CreateRCObjectLateBound) {
    connect_and_login();
    by_ref rcp(var(u"17")), relation(var(u"associated_cv")), values(var(u"<rc/>")), filename(var(u""));
    auto out = call_method(session.get(), u"createRCObject", {rcp, relation, values, filename});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_BSTR, out.result.vt);
    by_ref empty(var(u""));
    auto none = call_method(session.get(), u"createRCObject", {rcp, relation, empty, filename});
    ASSERT_EQ(S_OK, none.hr);
    EXPECT_EQ(VT_EMPTY, none.result.vt);
}

}  // namespace
