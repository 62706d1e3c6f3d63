// The session fixture with what the change-request data tests share: the emulated
// server's state as it is now, and the methods called as early-bound calls.
#pragma once

#include <tests/support/session_fixture.h>

#include <oa/text.h>

#include <fstream>
#include <sstream>

namespace q2mr_test {

class CrDataTest : public SessionTest {
protected:
    // The first emulated server, read back through the control class.
    nlohmann::json state() {
        const std::string path = temp_path("state", ".json");
        text_arg p(oa::ascii_to_utf16(path));
        EXPECT_EQ(S_OK, emulator->SaveState(p.value.get()));
        std::ifstream in(path);
        nlohmann::json doc = nlohmann::json::parse(in);
        std::remove(path.c_str());
        return doc.at("servers").at(0);
    }
    std::string cr_attribute(const std::string& crid, const std::string& name) {
        const nlohmann::json now = state();
        for (const auto& cr : now.at("crs"))
            if (cr.at("id") == crid) return cr.at("attributes").value(name, std::string("<absent>"));
        return "<no such CR>";
    }
    nlohmann::json object(const std::string& cvid) {
        const nlohmann::json now = state();
        for (const auto& o : now.at("objects"))
            if (o.at("cvid") == cvid) return o;
        return nullptr;
    }

    // Live library objects of all classes: what the session holds itself (api, User).
    LONG live_all() { return live(u""); }

    std::u16string get_new_attrs(std::u16string_view object_name, std::u16string_view instance) {
        text_result result;
        EXPECT_EQ(S_OK, session->GetNewAttrs(S(object_name), S(instance), result));
        return result.str();
    }
    std::u16string get_dynamic_attrs(std::u16string_view cvid) {
        text_result result;
        EXPECT_EQ(S_OK, session->GetDynamicAttrs(S(cvid), result));
        return result.str();
    }
    std::u16string set_cr_attribute(std::u16string_view crid, std::u16string_view name, std::u16string_view value,
                                     std::u16string_view name1 = u"", std::u16string_view value1 = u"") {
        text_result result;
        EXPECT_EQ(S_OK, session->VANT_SetCRattribute(S(crid), S(name), S(value), S(name1), S(value1), result));
        return result.str();
    }
    std::u16string create_relation(LONG both, std::u16string_view from, std::u16string_view to,
                                   std::u16string_view name = u"associated_cv", std::u16string_view type = u"normal") {
        text_result result;
        EXPECT_EQ(S_OK, session->CreateRelation(&both, S(from), S(to), S(name), S(type), result));
        return result.str();
    }
};

}  // namespace q2mr_test
