// The emulated change server as a client sees it: registered into a registry of the test's
// own, created through the runtime's class creation, reset to a fixture before each test.
#pragma once

#include <emulator/emulator.h>
#include <emulator/mrlib.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace emu_test {

using namespace MRLIBLib;
using oa::com_ptr;

// A String argument that lives until the end of the full expression.
struct B {
    oa::unique_bstr value;
    B(std::u16string_view text) : value(oa::make_bstr(text)) {}
    B(const char16_t* text) : value(oa::make_bstr(text)) {}
    operator BSTR() const { return value.get(); }
};

inline std::string u8(BSTR b) { return oa::utf16_to_utf8(oa::view(b)); }
inline std::string u8(const oa::unique_bstr& b) { return u8(b.get()); }
inline B path_arg(const std::string& p) { return B(oa::utf8_to_utf16(p).value()); }

// Description of the failure that the last call reported through the error info.
inline std::string error_text() {
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
    oa::unique_bstr text;
    info->GetDescription(text.put());
    return u8(text);
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string fixture_path(const char* name = "servers.json") { return std::string(EMU_TEST_DIR) + "/" + name; }

// Rows that end right before an inaccessible page: reading one row past the end faults.
template <class Row> class guarded_rows {
public:
    explicit guarded_rows(std::size_t count) : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        base_ = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(static_cast<char*>(base_) + page_, page_, PROT_NONE);
        rows_ = reinterpret_cast<Row*>(static_cast<char*>(base_) + page_) - count;
    }
    ~guarded_rows() { munmap(base_, 2 * page_); }
    guarded_rows(const guarded_rows&) = delete;
    guarded_rows& operator=(const guarded_rows&) = delete;
    Row* rows() const noexcept { return rows_; }
    Row& operator[](std::size_t i) const noexcept { return rows_[i]; }

private:
    std::size_t page_;
    void* base_;
    Row* rows_;
};

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(mremu::CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER,
                                         iid_of<mremu::IEmulator>(), emulator.put_void()));
        ASSERT_EQ(S_OK, emulator->LoadFixture(path_arg(fixture_path()))) << error_text();
    }
    void TearDown() override {
        if (!emulator) return;
        emulator->StopJournal();
        EXPECT_EQ(0, live(u"")) << "library objects left alive by the test";
        emulator = nullptr;
    }

    LONG live(std::u16string_view class_name) {
        LONG n = -1;
        EXPECT_EQ(S_OK, emulator->LiveObjects(B(class_name), &n));
        return n;
    }

    com_ptr<Iapi> new_api() {
        com_ptr<Iapi> api;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_api, nullptr, CLSCTX_INPROC_SERVER, iid_of<Iapi>(), api.put_void()));
        return api;
    }
    com_ptr<IUser> new_user() {
        com_ptr<IUser> user;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_User, nullptr, CLSCTX_INPROC_SERVER, iid_of<IUser>(), user.put_void()));
        return user;
    }
    com_ptr<Iapi> connect(std::u16string_view host = u"localhost", LONG port = 8400,
                          std::u16string_view protocol = u"tcp") {
        com_ptr<Iapi> api = new_api();
        LONG status = 99;
        EXPECT_EQ(S_OK, api->OpenConnection(B(protocol), B(host), port, &status));
        EXPECT_EQ(1, status);
        return api;
    }
    com_ptr<IUser> login(Iapi* api, std::u16string_view name, std::u16string_view password, std::u16string_view role,
                         std::u16string_view db = u"/db/alpha") {
        com_ptr<IUser> user;
        EXPECT_EQ(S_OK, api->appLogin(B(name), B(password), B(role), B(db), B(u"tests"), user.put())) << error_text();
        return user;
    }
    static std::string token(IUser* user) {
        oa::unique_bstr t;
        EXPECT_EQ(S_OK, user->get_LoginToken(t.put()));
        return u8(t);
    }
    std::string hostname(Iapi* api, IUser* user) {
        oa::unique_bstr h;
        EXPECT_EQ(S_OK, api->GetHostname(user, h.put())) << error_text();
        return u8(h);
    }

    // The emulated servers as SaveState writes them now.
    nlohmann::json saved() {
        const std::string path = ::testing::TempDir() + "emu_state_" + std::to_string(getpid()) + ".json";
        EXPECT_EQ(S_OK, emulator->SaveState(path_arg(path))) << error_text();
        auto doc = nlohmann::json::parse(read_file(path));
        std::remove(path.c_str());
        return doc;
    }
    nlohmann::json saved_server(std::size_t i = 0) { return saved().at("servers").at(i); }

    com_ptr<mremu::IEmulator> emulator;
};

// Connected to the first server and logged in as jane (who holds "Admin") as developer.
class EmuSessionTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        api = connect();
        user = login(api.get(), u"jane", u"s3cret", u"developer");
        ASSERT_TRUE(user);
        ASSERT_NE("", token(user.get()));
    }
    void TearDown() override {
        user = nullptr;
        api = nullptr;
        EmulatorTest::TearDown();
    }
    com_ptr<Iapi> api;
    com_ptr<IUser> user;
};

}  // namespace emu_test
