// What the reliability sweeps share: a session that can start over from the standard
// fixture as often as a sweep needs, a snapshot of the session state a script can reach
// or that the batch calls hand over, and the check that no library object outlives what
// the session holds.
#pragma once

#include <tests/support/late_bound.h>
#include <tests/support/session_fixture.h>

#include <forms/backend.h>
#include <forms/headless.h>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace q2mr_reliability {

using namespace q2mr_test;

// The failure that the sweeps inject, and how a trapping method writes it in its texts.
constexpr HRESULT injected_code = static_cast<HRESULT>(0x80040201u);
constexpr const char16_t* injected_description = u"Injected";
inline std::u16string injected_text(std::u16string_view prefix) {
    return std::u16string(prefix) + u"-2147220991 Injected";
}

// The state of a session that its methods may change: the three members and the three
// staging tables (bound and the object of every non-empty row).
struct session_state {
    VARIANT_BOOL good_connection = VARIANT_FALSE;
    IUnknown* api = nullptr;  // identities only, no references
    IUnknown* user = nullptr;
    bool api_is_library = false, user_is_library = false;  // not a value record of the component's own
    std::array<SHORT, 3> bounds{};
    std::array<std::map<LONG, IUnknown*>, 3> rows;

    std::size_t staged_rows() const {
        std::size_t n = 0;
        for (const auto& t : rows) n += t.size();
        return n;
    }
    bool operator==(const session_state&) const = default;
};

class ReliabilityTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        forms::use_backend(forms::Backend::Headless);
        forms::headless::reset();
    }
    void TearDown() override {
        EXPECT_EQ(0u, forms::headless::pending()) << "a queued dialog step was not played";
        forms::headless::reset();
        SessionTest::TearDown();
    }

    // A new session, connected and logged in as jane, on a fresh copy of the standard
    // fixture (which also drops every injected fault); the log starts empty.
    void start_over() {
        emulator->StopJournal();
        session = nullptr;
        ASSERT_EQ(0, live(u"")) << "the previous session left library objects alive";
        load_fixture("standard.json");
        session = oa::make_self<quellar2mrapi::t2mrapp>();
        connect_and_login();
    }

    void start_journal() {
        journal_path = q2mr_test::temp_path("journal", ".jsonl");
        std::remove(journal_path.c_str());
        text_arg path(oa::ascii_to_utf16(journal_path));
        ASSERT_EQ(S_OK, emulator->StartJournal(path.value.get()));
    }

    session_state state() {
        session_state s;
        session->get_GoodConnection(&s.good_connection);
        oa::com_ptr<IDispatch> api;
        oa::com_ptr<IDispatch> user;
        session->get_api(api.put());
        session->get_User(user.put());
        s.api = api.get();
        s.user = user.get();
        s.api_is_library = api && !api.try_query<quellar2mrapi::_t2DataClass>();
        s.user_is_library = user && !user.try_query<quellar2mrapi::_t2DataClass>();
        const quellar2mrapi::staging_table* tables[] = {&session->user_table(), &session->name_map_table(),
                                                        &session->role_table()};
        for (std::size_t t = 0; t < 3; ++t) {
            s.bounds[t] = tables[t]->bound();
            for (LONG r = 0; r < tables[t]->rows(); ++r)
                if (IUnknown* row = tables[t]->row(r)) s.rows[t][r] = row;
        }
        return s;
    }

    // Every library object alive is one that the session holds: its connection, its
    // user and its staged rows.
    void expect_only_held_objects(const session_state& s, const std::string& where) {
        EXPECT_EQ(s.api_is_library ? 1 : 0, live(u"api")) << where;
        EXPECT_EQ(static_cast<LONG>((s.user_is_library ? 1 : 0) + s.staged_rows()), live(u"User")) << where;
        EXPECT_EQ(0, live(u"ObjectList")) << where;
        EXPECT_EQ(0, live(u"ObjectData")) << where;
        EXPECT_EQ(0, live(u"Attribute")) << where;
    }

    IDispatch* dispatch() { return static_cast<quellar2mrapi::_t2mrapp*>(session.get()); }
};

}  // namespace q2mr_reliability
