// A session against the emulated change server: a fresh server state from a fixture for
// every test, every line passed to the log, and a check that the test left no library
// object alive.
#pragma once

#include <cstdlib>

#include <component/t2mrapp.h>
#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>
#include <tests/support/temp_files.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace q2mr_test {

// A by-reference String argument that owns its text.
struct text_arg {
    oa::unique_bstr value;
    explicit text_arg(std::u16string_view text) : value(oa::make_bstr(text)) {}
    operator BSTR*() { return value.addressof(); }
    std::u16string str() const { return std::u16string(oa::view(value.get())); }
};
inline text_arg S(std::u16string_view text) { return text_arg(text); }

// Owns a String result.
struct text_result {
    oa::unique_bstr value;
    operator BSTR*() { return value.put(); }
    std::u16string str() const { return std::u16string(oa::view(value.get())); }
};

inline std::string utf8(std::u16string_view s) { return oa::utf16_to_utf8(s); }

// The registry the suites run against: the build's, or (Q2MR_TEST_REGISTRY set) another
// build of the library registered under the same ProgIDs.
inline const char* test_registry() {
    const char* other = std::getenv("Q2MR_TEST_REGISTRY");
    return other && *other ? other : Q2MR_TEST_REGISTRY;
}

class SessionTest : public ::testing::Test {
protected:
    static std::string fixture(const char* name) { return std::string(Q2MR_TEST_FIXTURES) + "/" + name; }

    void SetUp() override {
        ASSERT_EQ(S_OK, OaSetRegistryPath(test_registry()));
        ASSERT_EQ(S_OK, CoCreateInstance(mremu::CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER,
                                         iid_of<mremu::IEmulator>(), emulator.put_void()));
        load_fixture("standard.json");
        quellar2mrapi::set_log_observer([this](std::u16string_view line) { log.emplace_back(line); });
        session = oa::make_self<quellar2mrapi::t2mrapp>();
        log.clear();
    }

    void TearDown() override {
        session = nullptr;
        quellar2mrapi::set_log_observer(nullptr);
        if (emulator) {
            text_arg all(u"");
            LONG alive = -1;
            ASSERT_EQ(S_OK, emulator->LiveObjects(all.value.get(), &alive));
            EXPECT_EQ(0, alive) << "library objects left alive by the test";
            emulator->StopJournal();
        }
        emulator = nullptr;
    }

    void load_fixture(const char* name) {
        text_arg path(oa::ascii_to_utf16(fixture(name)));
        ASSERT_EQ(S_OK, emulator->LoadFixture(path.value.get()));
    }

    LONG live(std::u16string_view class_name) {
        text_arg name(class_name);
        LONG alive = -1;
        EXPECT_EQ(S_OK, emulator->LiveObjects(name.value.get(), &alive));
        return alive;
    }

    void inject_fault(std::u16string_view op, HRESULT hr, std::u16string_view description, LONG times = 1) {
        text_arg o(op), d(description);
        ASSERT_EQ(S_OK, emulator->InjectFault(o.value.get(), hr, d.value.get(), times));
    }

    // Journals every later library call into a file of the test's own.
    void start_journal() {
        journal_path = temp_path("journal", ".jsonl");
        std::remove(journal_path.c_str());
        text_arg path(oa::ascii_to_utf16(journal_path));
        ASSERT_EQ(S_OK, emulator->StartJournal(path.value.get()));
    }
    std::vector<nlohmann::json> journal() {
        std::vector<nlohmann::json> entries;
        std::ifstream in(journal_path);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) entries.push_back(nlohmann::json::parse(line));
        return entries;
    }
    // The names of the journaled operations, in call order.
    std::vector<std::string> journal_ops() {
        std::vector<std::string> ops;
        for (const auto& e : journal()) ops.push_back(e.at("op").get<std::string>());
        return ops;
    }

    std::u16string connect(std::u16string_view host = u"localhost", std::u16string_view protocol = u"tcp",
                           SHORT port = 8400) {
        text_result result;
        EXPECT_EQ(S_OK, session->Connect(S(host), S(protocol), &port, result));
        return result.str();
    }

    std::u16string login(std::u16string_view name, std::u16string_view password, std::u16string_view role,
                         std::u16string_view database = u"/db/alpha", std::u16string_view app = u"tests") {
        text_result result;
        EXPECT_EQ(S_OK, session->Login(S(name), S(password), S(role), S(database), S(app), result));
        return result.str();
    }

    // Connected, and logged in as a user who holds the role "Admin".
    void connect_and_login() {
        ASSERT_EQ(u"", connect());
        ASSERT_EQ(u"", login(u"jane", u"s3cret", u"developer"));
        log.clear();
    }

    oa::com_ptr<mremu::IEmulator> emulator;
    oa::com_ptr<quellar2mrapi::t2mrapp> session;
    std::vector<std::u16string> log;
    std::string journal_path;
};

}  // namespace q2mr_test
