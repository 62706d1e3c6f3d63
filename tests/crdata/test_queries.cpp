// GetNewAttrs, GetDynamicAttrs and VANT_GetHostname, and the buffers that carry the
// dynamic-attribute texts back from the library.
#include "crdata_fixture.h"

#include <crdata/byte_buffers.h>
#include <emulator/emulator.h>
#include <tests/support/late_bound.h>

#include <algorithm>
#include <cstring>

using namespace q2mr_test;
using namespace quellar2mrapi;

namespace {

// --- Buffers, both ways ------------------------------------------------------------------

oa::unique_safearray bytes(std::initializer_list<BYTE> values) {
    oa::unique_safearray a(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(values.size())));
    void* data = nullptr;
    SafeArrayAccessData(a.get(), &data);
    if (values.size()) std::memcpy(data, values.begin(), values.size());
    SafeArrayUnaccessData(a.get());
    return a;
}
std::u16string text_of(SAFEARRAY* a) { return std::u16string(oa::view(crdata::byte_buffer_text(a).get())); }

TEST(ByteBuffers, TheBufferLentToTheLibraryIsOneZeroByteAndReadsAsEmpty) {
    auto lent = crdata::one_byte_buffer();
    ASSERT_EQ(1, crdata::element_count(lent.get()));
    EXPECT_EQ(0, *crdata::first_byte(lent.get()));
    EXPECT_EQ(u"", text_of(lent.get()));
}

TEST(ByteBuffers, TwoNBytesGiveNCharactersZerosIncludedAndAnOddByteIsDropped) {
    EXPECT_EQ(std::u16string(u"A\0B", 3), text_of(bytes({'A', 0, 0, 0, 'B', 0}).get()));
    EXPECT_EQ(std::u16string(u"\0\0", 2), text_of(bytes({0, 0, 0, 0}).get()));
    EXPECT_EQ(u"\u20AC", text_of(bytes({0xAC, 0x20, 0x41}).get()));
    EXPECT_EQ(u"", text_of(bytes({}).get()));
    EXPECT_EQ(u"", text_of(nullptr));
}

TEST(ByteBuffers, ABufferOfWiderElementsIsATypeMismatch) {
    oa::unique_safearray longs(SafeArrayCreateVector(VT_I4, 0, 2));
    try {
        crdata::byte_buffer_text(longs.get());
        FAIL() << "no failure";
    } catch (const oa::com_error& e) {
        EXPECT_EQ(13, e.number());
    }
}

TEST(ByteBuffers, TextsTravelAsTheirUtf16LeBytesWithTheirByteCount) {
    const std::u16string text(u"A\u00E9\0\U0001F600", 5);
    auto buffer = crdata::text_to_byte_buffer(text);
    ASSERT_EQ(10, crdata::element_count(buffer.get()));
    const BYTE expected[] = {0x41, 0, 0xE9, 0, 0, 0, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(0, std::memcmp(expected, crdata::first_byte(buffer.get()), sizeof expected));
    EXPECT_EQ(text, text_of(buffer.get()));
}

TEST(ByteBuffers, AnEmptyTextGivesAnEmptyBufferWithoutAFirstByte) {
    auto buffer = crdata::text_to_byte_buffer(u"");
    EXPECT_EQ(0, crdata::element_count(buffer.get()));
    try {
        crdata::first_byte(buffer.get());
        FAIL() << "no failure";
    } catch (const oa::com_error& e) {
        EXPECT_EQ(9, e.number());
    }
}

// --- GetNewAttrs -------------------------------------------------------------------------

class Queries : public CrDataTest {
protected:
    std::vector<nlohmann::json> calls_of(const std::string& op) {
        std::vector<nlohmann::json> out;
        for (auto& e : journal())
            if (e.at("op") == op) out.push_back(e);
        return out;
    }
    static bool carries(const nlohmann::json& entry, const std::string& text) {
        return entry.at("args").dump().find(nlohmann::json(text).dump()) != std::string::npos;
    }
};

TEST_F(Queries, SeveralFoundTheFirstEntrysCvidDecides) {
    connect_and_login();
    const LONG held = live_all();
    start_journal();
    EXPECT_EQ(u"<attrs/>", get_new_attrs(u"17", u"/db/alpha"));
    auto query = calls_of("QueryObjects");
    ASSERT_EQ(1u, query.size());
    EXPECT_TRUE(carries(query[0], "Data_Report_dynamic_attrs_new")) << query[0].dump();
    EXPECT_TRUE(carries(query[0], "is_dynamic_attrs_new_of('/db/alpha/problem/17/1')")) << query[0].dump();
    auto item = calls_of("ObjectList.Item");
    ASSERT_EQ(1u, item.size());
    auto data = calls_of("GetDynamicAttrsData");
    ASSERT_EQ(1u, data.size());
    EXPECT_TRUE(carries(data[0], "4711")) << data[0].dump();
    // The list is closed before the buffer is asked for.
    const auto ops = journal_ops();
    EXPECT_LT(std::find(ops.begin(), ops.end(), "ObjectList.Close"),
              std::find(ops.begin(), ops.end(), "GetDynamicAttrsData"));
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():", u"    new_attrs=<attrs/>"}), log);
    EXPECT_EQ(held, live_all());
}

TEST_F(Queries, OneFoundWithoutDynamicAttributesLogsAnEmptyText) {
    connect_and_login();
    EXPECT_EQ(u"", get_new_attrs(u"18", u"/db/alpha"));
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():", u"    new_attrs="}), log);
}

TEST_F(Queries, NothingFoundGivesTheEmptyTextWithoutANewAttrsLine) {
    connect_and_login();
    const LONG held = live_all();
    start_journal();
    EXPECT_EQ(u"", get_new_attrs(u"99", u"/db/alpha"));
    EXPECT_TRUE(calls_of("GetDynamicAttrsData").empty());
    EXPECT_TRUE(calls_of("ObjectList.Item").empty());
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():"}), log);
    EXPECT_EQ(held, live_all());
}

TEST_F(Queries, AnApostropheIsRefusedAndNoQueryIsSent) {
    load_fixture("crdata.json");
    connect_and_login();
    start_journal();
    EXPECT_EQ(u"", get_new_attrs(u"23", u"/db/it's"));
    EXPECT_EQ(u"", get_new_attrs(u"17')or('1", u"/db/alpha"));
    EXPECT_TRUE(journal_ops().empty());
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():", u"GetNewAttrs():"}), log);
}

TEST_F(Queries, SlashesGoIntoTheQueryUnchanged) {
    load_fixture("crdata.json");
    connect_and_login();
    start_journal();
    get_new_attrs(u"2/5", u"/db/a/b");
    auto query = calls_of("QueryObjects");
    ASSERT_EQ(1u, query.size());
    EXPECT_TRUE(carries(query[0], "is_dynamic_attrs_new_of('/db/a/b/problem/2/5/1')")) << query[0].dump();
}

TEST_F(Queries, ALibraryFailureOnTheWayGivesTheEmptyTextAndReleasesEverything) {
    connect_and_login();
    const LONG held = live_all();
    for (std::u16string_view op : {u"QueryObjects", u"ObjectList.Count", u"ObjectList.Item", u"ObjectData.GetAttribute",
                                   u"Attribute.Value", u"GetDynamicAttrsData"}) {
        log.clear();
        inject_fault(op, mremu::errors::bad_query, u"injected");
        EXPECT_EQ(u"", get_new_attrs(u"17", u"/db/alpha")) << utf8(op);
        EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():"}), log) << utf8(op);
        EXPECT_EQ(held, live_all()) << utf8(op);
    }
}

TEST_F(Queries, BeforeConnectAndBeforeLoginTheResultIsEmpty) {
    EXPECT_EQ(u"", get_new_attrs(u"17", u"/db/alpha"));
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():"}), log);
    connect();
    log.clear();
    EXPECT_EQ(u"", get_new_attrs(u"17", u"/db/alpha"));
    EXPECT_EQ((std::vector<std::u16string>{u"GetNewAttrs():"}), log);
    EXPECT_EQ(1, live_all());
}

TEST_F(Queries, GetNewAttrsLateBound) {
    connect_and_login();
    by_ref name(var(u"17")), instance(var(u"/db/alpha"));
    auto out = call_method(session.get(), u"GetNewAttrs", {name, instance});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"<attrs/>", out.result.str());
}

// --- GetDynamicAttrs ---------------------------------------------------------------------

TEST_F(Queries, DynamicAttrsKeepZeroCodeUnitsAndNonAsciiTextAndLogNothing) {
    load_fixture("crdata.json");
    connect_and_login();
    const LONG held = live_all();
    EXPECT_EQ(std::u16string(u"a\0b\0", 4), get_dynamic_attrs(u"5001"));
    EXPECT_EQ(u"<attrs name=\"Gr\u00FC\u00DFe \u20AC \U0001F600\"/>", get_dynamic_attrs(u"5002"));
    EXPECT_EQ(u"", get_dynamic_attrs(u"5004"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(held, live_all());
}

TEST_F(Queries, DynamicAttrsOfAnUnknownObjectOrWithoutConnectionAreEmpty) {
    EXPECT_EQ(u"", get_dynamic_attrs(u"4711"));
    connect();
    EXPECT_EQ(u"", get_dynamic_attrs(u"4711"));
    log.clear();
    connect_and_login();
    EXPECT_EQ(u"", get_dynamic_attrs(u"0000"));
    EXPECT_TRUE(log.empty());
}

// --- VANT_GetHostname --------------------------------------------------------------------

TEST_F(Queries, HostnameComesBackWithoutALogLine) {
    connect_and_login();
    text_result result;
    ASSERT_EQ(S_OK, session->VANT_GetHostname(result));
    EXPECT_EQ(u"cm1.example.test", result.str());
    EXPECT_TRUE(log.empty());
}

TEST_F(Queries, HostnameFailuresGiveTheEmptyTextAndExitFunction) {
    text_result before_connect;
    ASSERT_EQ(S_OK, session->VANT_GetHostname(before_connect));
    EXPECT_EQ(u"", before_connect.str());
    EXPECT_EQ(std::vector<std::u16string>{u"    Exit Function"}, log);
    connect_and_login();
    inject_fault(u"GetHostname", mremu::errors::not_connected, u"gone");
    text_result failed;
    ASSERT_EQ(S_OK, session->VANT_GetHostname(failed));
    EXPECT_EQ(u"", failed.str());
    EXPECT_EQ(std::vector<std::u16string>{u"    Exit Function"}, log);
}

}  // namespace
