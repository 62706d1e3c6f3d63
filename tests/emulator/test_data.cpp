// Change-request data: queries, dynamic attributes, CR values and transitions, relations.
#include "emulator_test.h"

#include <tests/support/late_bound.h>

#include <cstring>

namespace emu_test {
namespace {

nlohmann::json cr_in(const nlohmann::json& server, const std::string& id) {
    for (const auto& c : server.at("crs"))
        if (c.at("id") == id) return c.at("attributes");
    return nullptr;
}

oa::unique_safearray one_byte() { return oa::unique_safearray(SafeArrayCreateVector(VT_UI1, 0, 1)); }

std::u16string array_text(SAFEARRAY* a) {
    void* data = nullptr;
    EXPECT_EQ(S_OK, SafeArrayAccessData(a, &data));
    std::u16string text(a->rgsabound[0].cElements / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    SafeArrayUnaccessData(a);
    return text;
}

class CrTest : public EmuSessionTest {
protected:
    com_ptr<IObjectData> cr_data(std::u16string_view crid, std::u16string_view list) {
        com_ptr<IObjectData> data;
        EXPECT_EQ(S_OK, api->CRData(user.get(), B(crid), B(list), data.put())) << error_text();
        return data;
    }
    void set(IObjectData* data, std::u16string_view name, std::u16string_view value) {
        com_ptr<IAttribute> a;
        ASSERT_EQ(S_OK, data->GetAttribute(B(name), a.put())) << error_text();
        ASSERT_EQ(S_OK, a->put_Value(B(value)));
    }
    std::string value(IObjectData* data, std::u16string_view name) {
        com_ptr<IAttribute> a;
        EXPECT_EQ(S_OK, data->GetAttribute(B(name), a.put())) << error_text();
        oa::unique_bstr v;
        if (a) {
            EXPECT_EQ(S_OK, a->get_Value(v.put()));
        }
        return u8(v);
    }
};

TEST_F(CrTest, CRDataGivesTheAttributesAskedForThatTheCRHas) {
    com_ptr<IObjectData> data;
    EXPECT_EQ(mremu::errors::unknown_cr, api->CRData(user.get(), B(u"99"), B(u"crstatus"), data.put()));
    EXPECT_NE(std::string::npos, error_text().find("99"));
    EXPECT_FALSE(data);

    data = cr_data(u"17", u"|problem_synopsis|owner|problem_number");
    EXPECT_EQ("Crash on save", value(data.get(), u"problem_synopsis"));
    EXPECT_EQ("17", value(data.get(), u"problem_number"));
    com_ptr<IAttribute> a;
    EXPECT_EQ(mremu::errors::attribute_not_requested, data->GetAttribute(B(u"crstatus"), a.put()));
    EXPECT_EQ(mremu::errors::unknown_attribute, data->GetAttribute(B(u"owner"), a.put()));
    EXPECT_FALSE(a);
}

TEST_F(CrTest, ModifyCRStoresXmlUnescapedValuesAndRefusesAStatusChange) {
    com_ptr<IObjectData> data = cr_data(u"17", u"problem_synopsis|problem_number");
    set(data.get(), u"problem_synopsis", u"a &lt;b&gt; &amp;amp; &quot;c&quot; &#65;&#x42;");
    oa::unique_bstr reply;
    ASSERT_EQ(S_OK, api->ModifyCR(user.get(), data.get(), reply.put())) << error_text();
    EXPECT_NE("", u8(reply));
    EXPECT_EQ("a <b> &amp; \"c\" AB", cr_in(saved_server(), "17").at("problem_synopsis"));

    com_ptr<IObjectData> status = cr_data(u"17", u"crstatus|problem_number");
    set(status.get(), u"crstatus", u"assigned");
    EXPECT_EQ(mremu::errors::status_change_refused, api->ModifyCR(user.get(), status.get(), reply.put()));
    EXPECT_NE(std::string::npos, error_text().find("crstatus"));
    EXPECT_EQ("entered", cr_in(saved_server(), "17").at("crstatus"));

    // The same status again is no change.
    set(status.get(), u"crstatus", u"entered");
    EXPECT_EQ(S_OK, api->ModifyCR(user.get(), status.get(), reply.put())) << error_text();
}

TEST_F(CrTest, TransitionCRFollowsTheServersTransitions) {
    com_ptr<IObjectData> data = cr_data(u"17", u"problem_synopsis|crstatus|problem_number");
    set(data.get(), u"crstatus", u"resolved");  // entered -> resolved is not allowed
    set(data.get(), u"problem_synopsis", u"changed");
    oa::unique_bstr reply;
    EXPECT_EQ(mremu::errors::transition_refused, api->TransitionCR(user.get(), data.get(), reply.put()));
    EXPECT_NE(std::string::npos, error_text().find("resolved"));
    auto attrs = cr_in(saved_server(), "17");
    EXPECT_EQ("entered", attrs.at("crstatus"));
    EXPECT_EQ("Crash on save", attrs.at("problem_synopsis")) << "a refused transition changes nothing";

    set(data.get(), u"crstatus", u"assigned");
    ASSERT_EQ(S_OK, api->TransitionCR(user.get(), data.get(), reply.put())) << error_text();
    EXPECT_NE("", u8(reply));
    attrs = cr_in(saved_server(), "17");
    EXPECT_EQ("assigned", attrs.at("crstatus"));
    EXPECT_EQ("changed", attrs.at("problem_synopsis"));

    com_ptr<IObjectData> again = cr_data(u"17", u"crstatus|problem_number");
    set(again.get(), u"crstatus", u"resolved");  // assigned -> resolved is allowed
    EXPECT_EQ(S_OK, api->TransitionCR(user.get(), again.get(), reply.put())) << error_text();
    EXPECT_EQ("resolved", cr_in(saved_server(), "17").at("crstatus"));
}

TEST_F(CrTest, ChangesNeedCRDataOfThisServer) {
    oa::unique_bstr reply;
    EXPECT_EQ(mremu::errors::missing_argument, api->ModifyCR(user.get(), nullptr, reply.put()));
    com_ptr<IObjectList> list;
    ASSERT_EQ(S_OK, api->QueryObjects(user.get(), B(u"r"), B(u"is_dynamic_attrs_new_of('/db/alpha/problem/17/1')"),
                                      B(u""), list.put()));
    com_ptr<IObjectData> item;
    ASSERT_EQ(S_OK, list->Item(0, item.put()));
    EXPECT_EQ(mremu::errors::not_cr_data, api->ModifyCR(user.get(), item.get(), reply.put()));
}

TEST_F(EmuSessionTest, QueryObjectsFindsTheObjectsOfAnInstanceAndProblem) {
    com_ptr<IObjectList> list;
    ASSERT_EQ(S_OK, api->QueryObjects(user.get(), B(u"Data_Report_dynamic_attrs_new"),
                                      B(u"is_dynamic_attrs_new_of('/db/alpha/problem/17/1')"), B(u""), list.put()))
        << error_text();
    ASSERT_TRUE(list);
    SHORT count = 0;
    ASSERT_EQ(S_OK, list->get_Count(&count));
    ASSERT_EQ(2, count);
    std::vector<std::string> cvids;
    for (SHORT i = 0; i < count; ++i) {
        com_ptr<IObjectData> item;
        ASSERT_EQ(S_OK, list->Item(i, item.put()));
        com_ptr<IAttribute> cvid;
        ASSERT_EQ(S_OK, item->GetAttribute(B(u"cvid"), cvid.put()));
        oa::unique_bstr v;
        ASSERT_EQ(S_OK, cvid->get_Value(v.put()));
        cvids.push_back(u8(v));
    }
    EXPECT_EQ((std::vector<std::string>{"4711", "4712"}), cvids);
    com_ptr<IObjectData> item;
    EXPECT_EQ(mremu::errors::bad_index, list->Item(2, item.put()));
    EXPECT_EQ(mremu::errors::bad_index, list->Item(-1, item.put()));
    EXPECT_EQ(S_OK, list->Close());
    EXPECT_EQ(mremu::errors::list_closed, list->get_Count(&count));

    ASSERT_EQ(S_OK, api->QueryObjects(user.get(), B(u"r"), B(u"is_dynamic_attrs_new_of('/db/beta/problem/17/1')"),
                                      B(u""), list.put()));
    ASSERT_EQ(S_OK, list->get_Count(&count));
    EXPECT_EQ(0, count);
    for (const char16_t* bad : {u"is_dynamic_attrs_new_of('/db/alpha/problem/17/2')", u"select *",
                                u"is_dynamic_attrs_new_of('/db/alpha/17/1')", u""}) {
        EXPECT_EQ(mremu::errors::bad_query, api->QueryObjects(user.get(), B(u"r"), B(bad), B(u""), list.put()))
            << oa::utf16_to_utf8(bad);
        EXPECT_FALSE(list);
    }
}

TEST_F(EmuSessionTest, GetDynamicAttrsDataReplacesTheBufferWithUtf16Bytes) {
    oa::unique_safearray buffer = one_byte();
    LONG count = 0;
    ASSERT_EQ(S_OK, api->GetDynamicAttrsData(user.get(), B(u"4712"), buffer.addressof(), &count)) << error_text();
    const std::u16string expected = u"<attrs \u00e9=\"\u00fc\"/>";
    EXPECT_EQ(static_cast<LONG>(expected.size() * 2), count);
    ASSERT_EQ(expected.size() * 2, buffer.get()->rgsabound[0].cElements);
    EXPECT_EQ(expected, array_text(buffer.get()));

    oa::unique_safearray kept = one_byte();
    SAFEARRAY* before = kept.get();
    ASSERT_EQ(S_OK, api->GetDynamicAttrsData(user.get(), B(u"4713"), kept.addressof(), &count));
    EXPECT_EQ(before, kept.get()) << "an object without dynamic attributes leaves the buffer";
    EXPECT_EQ(1u, kept.get()->rgsabound[0].cElements);
    EXPECT_EQ(mremu::errors::unknown_object,
              api->GetDynamicAttrsData(user.get(), B(u"9999"), kept.addressof(), &count));
}

TEST_F(EmuSessionTest, SetDynamicAttrsDataNeedsTheLabelAndAFittingCount) {
    std::u16string text = u"<attrs new=\"1\"/>";
    BYTE* first = reinterpret_cast<BYTE*>(text.data());
    const LONG bytes = static_cast<LONG>(text.size() * 2);
    oa::unique_bstr answer;
    EXPECT_EQ(mremu::errors::bad_label,
              api->SetDynamicAttrsData(user.get(), B(u"4713"), B(u"xml"), first, bytes, answer.put()));
    for (LONG wrong : {LONG{bytes - 1}, LONG{0}, LONG{-2}})
        EXPECT_EQ(mremu::errors::bad_byte_count,
                  api->SetDynamicAttrsData(user.get(), B(u"4713"), B(u"Quellar xml data"), first, wrong, answer.put()));
    EXPECT_EQ(mremu::errors::unknown_object,
              api->SetDynamicAttrsData(user.get(), B(u"nope"), B(u"Quellar xml data"), first, bytes, answer.put()));
    ASSERT_EQ(S_OK, api->SetDynamicAttrsData(user.get(), B(u"4713"), B(u"Quellar xml data"), first, bytes,
                                             answer.put()))
        << error_text();
    EXPECT_NE("", u8(answer));
    oa::unique_safearray buffer = one_byte();
    LONG count = 0;
    ASSERT_EQ(S_OK, api->GetDynamicAttrsData(user.get(), B(u"4713"), buffer.addressof(), &count));
    EXPECT_EQ(text, array_text(buffer.get()));
}

TEST_F(EmuSessionTest, CreateRCObjectFromDataMakesARelatedObject) {
    std::u16string text = u"<rc/>";
    BYTE* first = reinterpret_cast<BYTE*>(text.data());
    oa::unique_bstr answer;
    EXPECT_EQ(mremu::errors::unknown_object,
              api->CreateRCObjectFromData(user.get(), B(u"555"), B(u"associated_cv"), B(u"f.txt"),
                                          B(u"Quellar xml data"), B(u""), first, 10, answer.put()));
    EXPECT_EQ(mremu::errors::bad_label,
              api->CreateRCObjectFromData(user.get(), B(u"17"), B(u"associated_cv"), B(u"f.txt"), B(u"other"),
                                          B(u""), first, 10, answer.put()));
    ASSERT_EQ(S_OK, api->CreateRCObjectFromData(user.get(), B(u"17"), B(u"associated_cv"), B(u"f.txt"),
                                                B(u"Quellar xml data"), B(u""), first, 10, answer.put()))
        << error_text();
    const std::string cvid = u8(answer);
    EXPECT_EQ("4714", cvid);
    auto server = saved_server();
    const auto& made = server.at("objects").back();
    EXPECT_EQ(cvid, made.at("cvid"));
    EXPECT_EQ("17", made.at("problem"));
    EXPECT_EQ("/db/alpha", made.at("instance"));
    EXPECT_EQ("<rc/>", made.at("dynamic_attrs"));
    EXPECT_EQ((nlohmann::json{{"from", "17"}, {"to", cvid}, {"name", "associated_cv"}, {"type", "normal"}}),
              server.at("relations").back());
}

TEST_F(EmuSessionTest, CreateRelationshipRelatesKnownObjects) {
    oa::unique_bstr answer;
    ASSERT_EQ(S_OK, api->CreateRelationship(user.get(), 0, B(u"17"), B(u"nothing"), B(u"rel"), B(u"normal"),
                                            answer.put()));
    EXPECT_EQ("", u8(answer));
    ASSERT_EQ(S_OK, api->CreateRelationship(user.get(), 0, B(u"18"), B(u"4713"), B(u"fixes"), B(u"normal"),
                                            answer.put()));
    EXPECT_NE(std::string::npos, u8(answer).find("fixes"));
    ASSERT_EQ(S_OK, api->CreateRelationship(user.get(), -1, B(u"4711"), B(u"4712"), B(u"peer"), B(u"weak"),
                                            answer.put()));
    auto relations = saved_server().at("relations");
    ASSERT_EQ(4u, relations.size());
    EXPECT_EQ((nlohmann::json{{"from", "18"}, {"to", "4713"}, {"name", "fixes"}, {"type", "normal"}}), relations[1]);
    EXPECT_EQ("4712", relations[2].at("to"));
    EXPECT_EQ("4711", relations[3].at("to")) << "a non-zero flag relates both ways";
}

TEST_F(EmuSessionTest, AttributesAreReachedLateBound) {
    using namespace q2mr_test;
    var u = var::object(user.get()), crid(u"17"), list(u"problem_synopsis|problem_number");
    call_outcome data = call_method(api.get(), u"CRData", {arg(u), arg(crid), arg(list)});
    ASSERT_EQ(S_OK, data.hr) << oa::utf16_to_utf8(data.description());
    var name(u"problem_synopsis");
    call_outcome attribute = call_method(data.result.pdispVal, u"GetAttribute", {arg(name)});
    ASSERT_EQ(S_OK, attribute.hr);
    EXPECT_EQ(u"Crash on save", get_property(attribute.result.pdispVal, u"Value").result.str());
    EXPECT_EQ(S_OK, put_property(attribute.result.pdispVal, u"Value", var(u"new")).hr);
    EXPECT_EQ(u"new", get_property(attribute.result.pdispVal, u"Value").result.str());
    var none(u"nope");
    call_outcome missing = call_method(data.result.pdispVal, u"GetAttribute", {arg(none)});
    EXPECT_EQ(DISP_E_EXCEPTION, missing.hr);
    EXPECT_EQ(mremu::errors::attribute_not_requested, missing.code());
    EXPECT_FALSE(missing.description().empty());
}

}  // namespace
}  // namespace emu_test
