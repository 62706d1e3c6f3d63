// Registration, creation, connections, logins and who may call what.
#include "emulator_test.h"

#include <oa/dispatch.h>

#include <dlfcn.h>

namespace emu_test {
namespace {

// A registry of the test's own, filled by the library's self-registration.
class registry_environment : public ::testing::Environment {
public:
    void SetUp() override {
        path_ = ::testing::TempDir() + "emu_registry_" + std::to_string(getpid());
        std::remove(path_.c_str());
        ASSERT_EQ(S_OK, OaSetRegistryPath(path_.c_str()));
        void* library = dlopen(MRLIB_EMULATOR_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << dlerror();
        auto do_register = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllRegisterServer"));
        ASSERT_NE(nullptr, do_register);
        ASSERT_EQ(S_OK, do_register());
    }
    void TearDown() override { std::remove(path_.c_str()); }

private:
    std::string path_;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new registry_environment);

TEST(Registration, ClassesAndTypeLibraryAreRegisteredWithTheLibraryPath) {
    const std::string registry = read_file(OaGetRegistryPath());
    for (const char* progid : {"mrlib.api", "mrlib.User", "mrlib.Emulator"}) {
        EXPECT_NE(std::string::npos, registry.find(progid)) << registry;
        CLSID clsid{};
        ASSERT_EQ(S_OK, CLSIDFromProgID(oa::ascii_to_utf16(progid).c_str(), &clsid)) << progid;
    }
    CLSID clsid{};
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"mrlib.api", &clsid));
    EXPECT_EQ(CLSID_api, clsid);
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"mrlib.User", &clsid));
    EXPECT_EQ(CLSID_User, clsid);
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"mrlib.Emulator", &clsid));
    EXPECT_EQ(mremu::CLSID_Emulator, clsid);
    EXPECT_NE(std::string::npos, registry.find("MRLIBLib")) << registry;
    EXPECT_NE(std::string::npos, registry.find("Apartment")) << registry;
}

// The type name that a script host shows for an object.
std::string type_name(IDispatch* object) {
    com_ptr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, 0, info.put())) || !info) return {};
    oa::unique_bstr name;
    info->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
    return u8(name);
}

TEST_F(EmulatorTest, CreatedObjectsAreCountedAndNamedUntilReleased) {
    {
        com_ptr<Iapi> api = new_api();
        com_ptr<IUser> a = new_user(), b = new_user();
        EXPECT_EQ(1, live(u"api"));
        EXPECT_EQ(2, live(u"User"));
        EXPECT_EQ(3, live(u""));
        EXPECT_EQ(1, live(u"Emulator")) << "the control object counts only by name";
        EXPECT_EQ("Iapi", type_name(api.get()));
        EXPECT_EQ("IUser", type_name(a.get()));
        EXPECT_EQ("IEmulator", type_name(emulator.get()));
    }
    EXPECT_EQ(0, live(u""));
    LONG n = 0;
    EXPECT_EQ(mremu::errors::bad_argument, emulator->LiveObjects(B(u"Nonsense"), &n));
}

TEST_F(EmulatorTest, OpenConnectionAnswersByHostPortAndProtocol) {
    com_ptr<Iapi> api = new_api();
    auto open = [&](std::u16string_view protocol, std::u16string_view host, LONG port) {
        LONG status = 99;
        EXPECT_EQ(S_OK, api->OpenConnection(B(protocol), B(host), port, &status));
        return status;
    };
    EXPECT_EQ(1, open(u"tcp", u"localhost", 8400));
    EXPECT_EQ(1, open(u"TCP", u"LocalHost", 8400)) << "host and protocol names ignore letter case";
    EXPECT_EQ(0, open(u"tcp", u"localhost", 8401)) << "nothing answers there";
    EXPECT_EQ(0, open(u"tcp", u"elsewhere", 8400));
    EXPECT_EQ(-1, open(u"tcp", u"legacy", 8401)) << "a server that does not offer tcp";
    EXPECT_EQ(1, open(u"udp", u"legacy", 8401));
}

TEST_F(EmulatorTest, EveryOtherCallOnAnUnopenedApiIsALibraryFailure) {
    com_ptr<Iapi> api = new_api();
    com_ptr<IUser> user;
    const HRESULT hr = api->AdminLogin(B(u"jane"), B(u"s3cret"), B(u"Admin"), B(u"/db/alpha"), user.put());
    EXPECT_EQ(mremu::errors::not_connected, hr);
    EXPECT_NE(0x800A0000u, static_cast<std::uint32_t>(hr) & 0xFFFF0000u);
    EXPECT_NE(std::string::npos, error_text().find("not connected")) << error_text();
    EXPECT_FALSE(user);
    oa::unique_bstr text;
    EXPECT_EQ(mremu::errors::not_connected, api->GetHostname(nullptr, text.put()));

    // A refused OpenConnection leaves the api unopened, even after a good one.
    com_ptr<Iapi> other = connect();
    LONG status = 0;
    ASSERT_EQ(S_OK, other->OpenConnection(B(u"tcp"), B(u"nowhere"), 1, &status));
    ASSERT_EQ(0, status);
    EXPECT_EQ(mremu::errors::not_connected,
              other->appLogin(B(u"jane"), B(u"s3cret"), B(u"Admin"), B(u"/db/alpha"), B(u""), user.put()));
}

TEST_F(EmulatorTest, LoginOutcomes) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user;
    ASSERT_EQ(S_OK, api->appLogin(B(u"nobody"), B(u"x"), B(u"developer"), B(u"/db/alpha"), B(u""), user.put()));
    EXPECT_FALSE(user) << "an unknown user gets no User at all";
    ASSERT_EQ(S_OK, api->AdminLogin(B(u"nobody"), B(u"x"), B(u"Admin"), B(u"/db/alpha"), user.put()));
    EXPECT_FALSE(user);

    struct attempt {
        const char16_t *name, *password, *role, *db;
        bool admin_login, accepted;
    } attempts[] = {
        {u"jane", u"s3cret", u"developer", u"/db/alpha", false, true},
        {u"jane", u"s3cret", u"Admin", u"/db/beta", false, true},
        {u"jane", u"wrong", u"developer", u"/db/alpha", false, false},
        {u"joe", u"pw", u"Admin", u"/db/alpha", false, false},       // role not held
        {u"jane", u"s3cret", u"developer", u"/db/gamma", false, false},  // unknown database
        {u"jane", u"s3cret", u"Admin", u"/db/alpha", true, true},
        {u"jane", u"s3cret", u"developer", u"/db/alpha", true, false},  // AdminLogin needs the role Admin
        {u"joe", u"pw", u"developer", u"/db/alpha", true, false},
        {u"jane", u"", u"Admin", u"/db/alpha", true, false},
    };
    std::vector<std::string> tokens;
    for (const auto& a : attempts) {
        SCOPED_TRACE(oa::utf16_to_utf8(a.name) + " " + oa::utf16_to_utf8(a.role) + " " + oa::utf16_to_utf8(a.db));
        com_ptr<IUser> u;
        HRESULT hr = a.admin_login ? api->AdminLogin(B(a.name), B(a.password), B(a.role), B(a.db), u.put())
                                   : api->appLogin(B(a.name), B(a.password), B(a.role), B(a.db), B(u"x"), u.put());
        ASSERT_EQ(S_OK, hr);
        ASSERT_TRUE(u) << "a known user always gets a User";
        const std::string t = token(u.get());
        EXPECT_EQ(a.accepted, !t.empty());
        if (!t.empty()) tokens.push_back(t);
    }
    ASSERT_EQ(3u, tokens.size());
    EXPECT_NE(tokens[0], tokens[1]) << "every login has its own token";
}

TEST_F(EmulatorTest, ApiOperationsNeedAUserLoggedInToThatServer) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> refused = login(api.get(), u"jane", u"wrong", u"developer");
    com_ptr<IUser> staging = new_user();
    com_ptr<Iapi> legacy = connect(u"legacy", 8401, u"udp");
    com_ptr<IUser> elsewhere = login(legacy.get(), u"jane", u"s3cret", u"Admin", u"/db/old");
    ASSERT_NE("", token(elsewhere.get()));

    oa::unique_bstr text;
    EXPECT_EQ(mremu::errors::no_user, api->GetHostname(nullptr, text.put()));
    EXPECT_FALSE(error_text().empty());
    for (IUser* u : {refused.get(), staging.get(), elsewhere.get()}) {
        EXPECT_EQ(mremu::errors::not_logged_in, api->GetHostname(u, text.put()));
        LONG status = 7;
        EXPECT_EQ(mremu::errors::not_logged_in, api->CreateGroup(u, B(u"g"), &status));
    }
    EXPECT_EQ("legacy", hostname(legacy.get(), elsewhere.get())) << "the host name defaults to the host";
    EXPECT_EQ("cm1.example.test", hostname(api.get(), login(api.get(), u"joe", u"pw", u"developer").get()));
}

TEST_F(EmulatorTest, TheDefaultServerAnswersAfterReset) {
    ASSERT_EQ(S_OK, emulator->Reset());
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> admin;
    ASSERT_EQ(S_OK, api->AdminLogin(B(u"admin"), B(u"admin"), B(u"Admin"), B(u"/db/main"), admin.put()));
    ASSERT_TRUE(admin);
    EXPECT_NE("", token(admin.get()));
    EXPECT_FALSE(hostname(api.get(), admin.get()).empty());
    auto state = saved_server();
    EXPECT_FALSE(state.at("crs").empty());
    EXPECT_FALSE(state.at("transitions").empty());
    bool dynamic = false;
    for (const auto& o : state.at("objects")) {
        dynamic |= o.contains("dynamic_attrs");
        EXPECT_EQ("/db/main", o.at("instance")) << "the instance is the database name";
    }
    EXPECT_TRUE(dynamic);
}

TEST_F(EmulatorTest, AReplacedServerNoLongerAnswersItsOldConnections) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    ASSERT_EQ(S_OK, emulator->LoadFixture(path_arg(fixture_path())));
    oa::unique_bstr text;
    EXPECT_EQ(mremu::errors::not_connected, api->GetHostname(user.get(), text.put()));
}

}  // namespace
}  // namespace emu_test
