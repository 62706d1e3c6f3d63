// The administration methods against the emulated server: staging, committing and reading
// the server's state back.
#pragma once

#include <tests/admin/stub_api.h>
#include <tests/support/late_bound.h>
#include <tests/support/session_fixture.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace q2mr_test {

constexpr HRESULT injected = static_cast<HRESULT>(0x80040299u);  // a library failure of the tests' choosing

class AdminTest : public SessionTest {
protected:
    using lines = std::vector<std::u16string>;

    std::u16string stage_user(SHORT index, std::u16string_view name, std::u16string_view password = u"pw",
                              std::u16string_view role = u"developer", std::u16string_view database = u"/db/alpha") {
        text_result r;
        last_hr = session->AddUserToArray(&index, S(name), S(password), S(role), S(database), r);
        return r.str();
    }
    std::u16string stage_mapping(SHORT index, std::u16string_view name, std::u16string_view quellar_name) {
        text_result r;
        last_hr = session->AddUserToNMXArray(&index, S(name), S(quellar_name), r);
        return r.str();
    }
    std::u16string stage_roles(SHORT index, std::u16string_view name, std::u16string_view roles,
                               std::u16string_view database = u"/db/alpha") {
        text_result r;
        last_hr = session->AddUserToRoleArray(&index, S(name), S(roles), S(database), r);
        return r.str();
    }

    std::u16string create_users(SHORT count) {
        text_result r;
        last_hr = session->CreateUsers(&count, r);
        return r.str();
    }
    std::u16string set_usernames(SHORT& count) {
        text_result r;
        last_hr = session->SetMerivexUsernames(&count, r);
        return r.str();
    }
    std::u16string set_usernames(SHORT&& count) { return set_usernames(count); }
    std::u16string add_user_roles(SHORT count) {
        text_result r;
        last_hr = session->AddUserRoles(&count, r);
        return r.str();
    }

    // The first emulated server as it is now, in the fixture schema.
    nlohmann::json server_state() {
        const std::string path = temp_path("admin_state", ".json");
        text_arg p(oa::ascii_to_utf16(path));
        EXPECT_EQ(S_OK, emulator->SaveState(p.value.get()));
        nlohmann::json doc = nlohmann::json::parse(std::ifstream(path));
        std::remove(path.c_str());
        return doc.at("servers").at(0);
    }
    static bool has_entry(const nlohmann::json& list, const nlohmann::json& wanted) {
        for (const auto& item : list) {
            bool all = true;
            for (const auto& [k, v] : wanted.items()) all = all && item.contains(k) && item.at(k) == v;
            if (all) return true;
        }
        return false;
    }

    // Whether a second session can log this user in.
    bool logs_in(std::u16string_view name, std::u16string_view password, std::u16string_view role) {
        auto other = oa::make_self<quellar2mrapi::t2mrapp>();
        SHORT port = 8400;
        text_result connected, logged_in;
        other->Connect(S(u"localhost"), S(u"tcp"), &port, connected);
        other->Login(S(name), S(password), S(role), S(u"/db/alpha"), S(u"tests"), logged_in);
        return connected.str().empty() && logged_in.str().empty();
    }

    // Hands the session a connection of the tests' own.
    oa::com_ptr<stub_api> use_stub_api() {
        auto stub = oa::make_self<stub_api>();
        IDispatch* raw = stub.get();
        EXPECT_EQ(S_OK, session->put_api(&raw));
        return stub;
    }

    std::vector<nlohmann::json> journal_of(const std::string& op) {
        std::vector<nlohmann::json> found;
        for (auto& e : journal())
            if (e.at("op") == op) found.push_back(e);
        return found;
    }

    HRESULT last_hr = E_FAIL;
};

}  // namespace q2mr_test
