// Passwords stay secret: whatever path a password takes (the Login arguments, the login
// dialog's password box, a staged user row, a failing or refused login), it never shows
// up in the log file (this program is built with the log writer switched on), in a
// result text, in a line passed to the log, or in the emulated server's journal.
#include "reliability_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef Q2MR_LOG_FILE
#error "the session with its log writer on names its log file"
#endif

namespace q2mr_reliability {
namespace {

namespace fs = std::filesystem;
namespace hl = forms::headless;

const fs::path log_file = Q2MR_LOG_FILE;

std::string read_from(const fs::path& path, std::uintmax_t offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A text in the encodings a file could hold it in: UTF-8 and UTF-16LE.
std::vector<std::string> encodings(std::u16string_view text) {
    std::string wide;
    for (char16_t c : text) wide += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return {oa::utf16_to_utf8(text), wide};
}

class Passwords : public ReliabilityTest {
protected:
    void SetUp() override {
        fs::create_directories(log_file.parent_path());
        log_start = fs::exists(log_file) ? fs::file_size(log_file) : 0;
        ReliabilityTest::SetUp();
        start_journal();
    }

    // Every password used, and every result text seen, for the checks at the end.
    std::vector<std::u16string> passwords;
    std::vector<std::u16string> results;

    std::u16string keep(std::u16string result) {
        results.push_back(result);
        return result;
    }

    void expect_no_password_anywhere() {
        emulator->StopJournal();
        const std::string file = read_from(log_file, log_start);
        ASSERT_NE(std::string::npos, file.find("Login(): loginAppID=")) << "the log writer wrote nothing";
        std::ifstream in(journal_path, std::ios::binary);
        const std::string journal_text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_NE(std::string::npos, journal_text.find("appLogin")) << "the journal holds no login";
        for (const auto& password : passwords) {
            const std::string shown = utf8(password);
            for (const auto& bytes : encodings(password)) {
                EXPECT_EQ(std::string::npos, file.find(bytes)) << shown << " in the log file";
                EXPECT_EQ(std::string::npos, journal_text.find(bytes)) << shown << " in the journal";
            }
            for (const auto& line : log) EXPECT_EQ(std::u16string::npos, line.find(password)) << shown << ": " << utf8(line);
            for (const auto& r : results) EXPECT_EQ(std::u16string::npos, r.find(password)) << shown << ": " << utf8(r);
        }
    }

    std::uintmax_t log_start = 0;
};

TEST_F(Passwords, NeverLeaveTheirCall) {
    passwords = {u"s3cret", u"Wr0ngPass", u"Typ3dSecret", u"St4gedPw", u"P\u00e4ssw\u00f6rd\u20ac"};
    ASSERT_EQ(u"", keep(connect()));

    // The script's own credentials: accepted, refused, and refused by a failing library.
    EXPECT_EQ(u"", keep(login(u"jane", u"s3cret", u"developer")));
    EXPECT_EQ(u"Unable to login jane as developer into database /db/alpha", keep(login(u"jane", u"Wr0ngPass", u"developer")));
    inject_fault(u"appLogin", injected_code, u"Server busy");
    EXPECT_EQ(u"Login Error: -2147220991 Server busy", keep(login(u"jane", u"P\u00e4ssw\u00f6rd\u20ac", u"developer")));

    // Typed into the dialog: a refused password, then the right one.
    hl::enqueue(hl::type(u"Typ3dSecret"), hl::press("cmdOK"));
    EXPECT_EQ(u"Unable to login jane as Admin into database /db/alpha", keep(login(u"jane", u"", u"Admin")));
    hl::enqueue(hl::type(u"s3cret"), hl::press("cmdOK"));
    EXPECT_EQ(u"", keep(login(u"jane", u"", u"Admin")));

    // A staged user's password goes to the server in the batch, never to the log.
    text_result staged;
    SHORT row = 0, count = 1;
    ASSERT_EQ(S_OK, session->AddUserToArray(&row, S(u"kim"), S(u"St4gedPw"), S(u"developer"), S(u"/db/alpha"), staged));
    EXPECT_EQ(u"", keep(staged.str()));
    text_result created;
    ASSERT_EQ(S_OK, session->CreateUsers(&count, created));
    keep(created.str());
    // The new user can log in with it, so it did reach the server.
    EXPECT_EQ(u"", keep(login(u"kim", u"St4gedPw", u"developer")));

    expect_no_password_anywhere();
}

}  // namespace
}  // namespace q2mr_reliability
