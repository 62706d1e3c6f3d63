// The control class: fixtures, saved state, faults, the journal, live objects.
#include "emulator_test.h"

#include <tests/support/late_bound.h>

#include <dlfcn.h>
#include <sys/resource.h>

#include <csignal>
#include <optional>

namespace emu_test {
namespace {

std::string temp_file(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + "emu_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

class ControlTest : public EmulatorTest {
protected:
    // LoadFixture fails with code, names the file and the fault, and changes nothing.
    void expect_refused(const std::string& path, HRESULT code, const std::string& fault) {
        const std::string before = saved().dump();
        EXPECT_EQ(code, emulator->LoadFixture(path_arg(path))) << path;
        const std::string text = error_text();
        EXPECT_NE(std::string::npos, text.find(path)) << text;
        EXPECT_NE(std::string::npos, text.find(fault)) << text;
        EXPECT_EQ(before, saved().dump()) << "a refused fixture changes nothing";
    }

    std::string journal_path = ::testing::TempDir() + "emu_journal_" + std::to_string(getpid()) + ".jsonl";
    void start_journal() {
        std::remove(journal_path.c_str());
        ASSERT_EQ(S_OK, emulator->StartJournal(path_arg(journal_path))) << error_text();
    }
    std::vector<std::string> journal_lines() {
        std::vector<std::string> lines;
        std::ifstream in(journal_path);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void TearDown() override {
        EmulatorTest::TearDown();
        std::remove(journal_path.c_str());
    }
};

TEST_F(ControlTest, FixtureErrorsNameTheFileAndTheFaultAndChangeNothing) {
    expect_refused("/nonexistent/dir/fixture.json", mremu::errors::file_missing, "No such file");
    expect_refused(temp_file("bad.json", "{\"servers\": [ {\"host\": "), mremu::errors::bad_json, "not valid JSON");
    expect_refused(temp_file("noport.json", R"({"servers": [{"host": "h", "protocols": ["tcp"]}]})"),
                   mremu::errors::schema_error, "servers[0]: the key \"port\" is missing");
    expect_refused(temp_file("badtype.json",
                             R"({"servers": [{"host": "h", "port": 1, "protocols": ["tcp"], "users": [{"name": 5}]}]})"),
                   mremu::errors::schema_error, "servers[0].users[0].name: expected a string");
    expect_refused(temp_file("nofaultop.json",
                             R"({"servers": [{"host": "h", "port": 1, "protocols": ["tcp"],
                                 "faults": [{"op": "Nope", "hresult": -1}]}]})"),
                   mremu::errors::schema_error, "servers[0].faults[0].op");
    expect_refused(temp_file("noservers.json", R"({"server": []})"), mremu::errors::schema_error, "servers");
}

TEST_F(ControlTest, AKeyTwiceInOneObjectIsASchemaErrorNamingItsPath) {
    const std::string minimal = R"("host": "h", "port": 1, "protocols": ["tcp"])";
    const struct {
        std::string text, fault;
    } cases[] = {
        {R"({"servers": [], "servers": []})", "servers: the key \"servers\" appears twice"},
        {"{\"servers\": [{" + minimal + R"(, "port": 2}]})", "servers[0].port: the key \"port\" appears twice"},
        {"{\"servers\": [{" + minimal + R"(, "users": [{"name": "a"}, {"name": "b", "roles": [], "name": "c"}]}]})",
         "servers[0].users[1].name: the key \"name\" appears twice"},
    };
    for (const auto& c : cases) expect_refused(temp_file("dup.json", c.text), mremu::errors::schema_error, c.fault);
    // The same key in different objects is no repetition.
    ASSERT_EQ(S_OK, emulator->LoadFixture(path_arg(temp_file(
                        "twins.json", "{\"servers\": [{" + minimal + R"(, "users": [{"name": "a"}, {"name": "b"}]}]})"))))
        << error_text();
}

TEST_F(ControlTest, OnlyRegularFixtureFilesWithinTheLimitAreRead) {
    const std::string fifo = ::testing::TempDir() + "emu_fifo_" + std::to_string(getpid());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    expect_refused(fifo, mremu::errors::file_missing, "not a regular file");  // no writer: must not wait for one
    std::remove(fifo.c_str());
    expect_refused(::testing::TempDir(), mremu::errors::file_missing, ::testing::TempDir());
    expect_refused("/dev/zero", mremu::errors::file_missing, "not a regular file");
    const std::string big = temp_file("big.json", "");
    ASSERT_EQ(0, truncate(big.c_str(), (16 << 20) + 1));
    expect_refused(big, mremu::errors::file_missing, "larger than the limit of 16 MiB");
    std::remove(big.c_str());
}

TEST_F(ControlTest, OnlyHostPortAndProtocolsAreRequired) {
    ASSERT_EQ(S_OK, emulator->LoadFixture(path_arg(
                        temp_file("minimal.json", R"({"servers": [{"host": "h", "port": 9, "protocols": ["tcp"]}]})"))))
        << error_text();
    auto server = saved_server();
    EXPECT_EQ("h", server.at("hostname"));
    EXPECT_TRUE(server.at("users").empty());
    com_ptr<Iapi> api = connect(u"h", 9);
}

TEST_F(ControlTest, SavedStateLoadsBackTheSame) {
    {
        com_ptr<Iapi> api = connect();
        com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
        LONG s = 0;
        ASSERT_EQ(S_OK, api->CreateGroup(user.get(), B(u"builders"), &s));
        com_ptr<IUser> row = new_user();
        ASSERT_EQ(S_OK, row->SetUserInfo(B(u"kim"), B(u"pw"), B(u"developer"), B(u"/db/alpha")));
        IDispatch* rows[] = {row.get()};
        oa::unique_bstr message;
        ASSERT_EQ(S_OK, api->AddUsers(user.get(), rows, 1, message.put()));
    }
    const nlohmann::json first = saved();
    const std::string path = temp_file("state.json", first.dump());
    ASSERT_EQ(S_OK, emulator->Reset());
    EXPECT_NE(first, saved());
    ASSERT_EQ(S_OK, emulator->LoadFixture(path_arg(path))) << error_text();
    EXPECT_EQ(first, saved());
    const auto& server = first.at("servers").at(0);
    EXPECT_EQ("builders", server.at("groups").back().at("name"));
    EXPECT_EQ("kim", server.at("users").back().at("name"));
    EXPECT_EQ(1u, server.at("faults").size()) << "an unused fixture fault stays";
    com_ptr<Iapi> api = connect();
    EXPECT_NE("", token(login(api.get(), u"kim", u"pw", u"developer").get()));
}

TEST_F(ControlTest, TheStateFileIsPrivateAndReplacedWhole) {
    const std::string folder = ::testing::TempDir() + "emu_state_dir_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/state.json";
    std::ofstream(path) << "old contents";
    ::chmod(path.c_str(), 0644);
    ASSERT_EQ(S_OK, emulator->SaveState(path_arg(path))) << error_text();
    struct stat info {};
    ASSERT_EQ(0, ::stat(path.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777u) << "the state holds passwords";
    EXPECT_EQ(saved(), nlohmann::json::parse(read_file(path)));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder), {})) << "no temporary file stays";
    std::filesystem::remove_all(folder);
}

TEST_F(ControlTest, SaveStateFailsForAnUnwritablePath) {
    EXPECT_EQ(mremu::errors::write_failed, emulator->SaveState(B(u"/nonexistent/dir/state.json")));
    EXPECT_NE(std::string::npos, error_text().find("/nonexistent/dir/state.json"));
}

TEST_F(ControlTest, InjectedFaultsFailTheNextCallsThenStop) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    const HRESULT busy = hresult_of(0x80040301);
    ASSERT_EQ(S_OK, emulator->InjectFault(B(u"GetHostname"), busy, B(u"Server busy"), 2));
    oa::unique_bstr text;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(busy, api->GetHostname(user.get(), text.put()));
        EXPECT_EQ("Server busy", error_text());
    }
    EXPECT_EQ("cm1.example.test", hostname(api.get(), user.get()));

    ASSERT_EQ(S_OK, emulator->InjectFault(B(u"User.LoginToken"), busy, B(u""), 5));
    ASSERT_EQ(S_OK, emulator->InjectFault(B(u"User.LoginToken"), busy, B(u""), 0)) << "times 0 drops the faults";
    EXPECT_NE("", token(user.get()));

    ASSERT_EQ(S_OK, emulator->InjectFault(B(u"new api"), busy, B(u"no api today"), 1));
    com_ptr<Iapi> refused;
    EXPECT_EQ(busy, CoCreateInstance(CLSID_api, nullptr, CLSCTX_INPROC_SERVER, iid_of<Iapi>(), refused.put_void()));
    EXPECT_FALSE(refused);
    EXPECT_EQ(1, live(u"api"));

    EXPECT_EQ(mremu::errors::bad_argument, emulator->InjectFault(B(u"NoSuchOp"), busy, B(u""), 1));
    EXPECT_EQ(mremu::errors::bad_argument, emulator->InjectFault(B(u"GetHostname"), 0, B(u""), 1));
}

TEST_F(ControlTest, FixtureFaultsFireOnTheirServer) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    oa::unique_bstr text;
    EXPECT_EQ(hresult_of(0x80040201), api->LoadConfigurationData(user.get(), text.put()));
    EXPECT_EQ("Server busy", error_text());
    ASSERT_EQ(S_OK, api->LoadConfigurationData(user.get(), text.put()));
    EXPECT_NE("", u8(text));
    EXPECT_TRUE(saved_server().at("faults").empty()) << "a used-up fault is gone";
}

TEST_F(ControlTest, TheJournalHoldsEveryCallInOrder) {
    start_journal();
    {
        com_ptr<Iapi> api = new_api();
        LONG status = 0;
        ASSERT_EQ(S_OK, api->OpenConnection(B(u"tcp"), B(u"localhost"), 8400, &status));
        com_ptr<IUser> user;
        ASSERT_EQ(S_OK, api->appLogin(B(u"jane"), B(u"s3cret"), B(u"developer"), B(u"/db/alpha"), B(u"app\"1"),
                                      user.put()));
        oa::unique_bstr text;
        ASSERT_EQ(S_OK, api->GetHostname(user.get(), text.put()));
        EXPECT_EQ(mremu::errors::no_user, api->GetHostname(nullptr, text.put()));
        ASSERT_EQ(S_OK, api->AddAPreferenceForAUser(user.get(), B(u"joe"), B(u"editor"), B(u"vi"), VARIANT_TRUE,
                                                    text.put()));
        com_ptr<IUser> row = new_user();
        ASSERT_EQ(S_OK, row->SetUserInfo(B(u"kim"), B(u"topsecret"), B(u"developer"), B(u"/db/alpha")));
        IDispatch* rows[] = {row.get(), nullptr};
        ASSERT_EQ(S_OK, api->AddUsers(user.get(), rows, 1, text.put()));
        std::u16string data = u"<a/>";
        ASSERT_EQ(S_OK, api->SetDynamicAttrsData(user.get(), B(u"4713"), B(u"Quellar xml data"),
                                                 reinterpret_cast<BYTE*>(data.data()), 8, text.put()));
        com_ptr<IObjectData> cr;
        ASSERT_EQ(S_OK, api->CRData(user.get(), B(u"17"), B(u"crstatus"), cr.put()));
        com_ptr<IAttribute> a;
        ASSERT_EQ(S_OK, cr->GetAttribute(B(u"crstatus"), a.put()));
        ASSERT_EQ(S_OK, a->put_Value(B(u"assigned")));
        ASSERT_EQ(S_OK, a->get_Value(text.put()));
        ASSERT_EQ(S_OK, emulator->StopJournal());
        ASSERT_EQ(S_OK, api->GetHostname(user.get(), text.put()));  // not journaled
    }
    const std::vector<std::string> expected{
        R"({"op": "new api", "args": []})",
        R"({"op": "OpenConnection", "args": ["tcp", "localhost", 8400]})",
        R"({"op": "appLogin", "args": ["jane", "***", "developer", "/db/alpha", "app\"1"]})",
        R"({"op": "GetHostname", "args": [{"class": "User"}]})",
        R"({"op": "GetHostname", "args": [null]})",
        R"({"op": "AddAPreferenceForAUser", "args": [{"class": "User"}, "joe", "editor", "vi", -1]})",
        R"({"op": "new User", "args": []})",
        R"({"op": "User.SetUserInfo", "args": ["kim", "***", "developer", "/db/alpha"]})",
        R"({"op": "AddUsers", "args": [{"class": "User"}, [{"class": "User"}], 1]})",
        R"({"op": "SetDynamicAttrsData", "args": [{"class": "User"}, "4713", "Quellar xml data", {"count": 8, "text": "<a/>"}, 8]})",
        R"({"op": "CRData", "args": [{"class": "User"}, "17", "crstatus"]})",
        R"({"op": "ObjectData.GetAttribute", "args": ["crstatus"]})",
        R"({"op": "Attribute.Value=", "args": ["assigned"]})",
        R"({"op": "Attribute.Value", "args": []})",
    };
    const auto lines = journal_lines();
    EXPECT_EQ(expected, lines);
    for (const auto& line : lines) {
        EXPECT_EQ(std::string::npos, line.find("s3cret"));
        EXPECT_EQ(std::string::npos, line.find("topsecret"));
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
}

TEST_F(ControlTest, JournalTextsAreWrittenAsTheJsonLibraryWritesThem) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    const std::u16string texts[] = {u"plain", u"quote\" back\\slash /", std::u16string(u"\b\f\n\r\t\0end", 10),
                                    u"\x01\x1f\x7f", u"caf\u00e9 \u20ac \U0001F600", u"\xD800x", u"x\xDC00",
                                    u""};
    start_journal();
    std::vector<std::string> expected;
    for (std::u16string t : texts) {
        oa::unique_bstr id = oa::make_bstr(t), answer;
        const LONG bytes = static_cast<LONG>(t.size() * 2);
        api->SetDynamicAttrsData(user.get(), id.get(), B(u"Quellar xml data"), reinterpret_cast<BYTE*>(t.data()),
                                 bytes, answer.put());
        const std::string json = nlohmann::json(oa::utf16_to_utf8(t)).dump();
        expected.push_back(R"({"op": "SetDynamicAttrsData", "args": [{"class": "User"}, )" + json +
                           R"(, "Quellar xml data", {"count": )" + std::to_string(bytes) + R"(, "text": )" + json +
                           "}, " + std::to_string(bytes) + "]}");
    }
    EXPECT_EQ(expected, journal_lines());
}

TEST_F(ControlTest, LateBoundCallsAreJournaledOnceByName) {
    using namespace q2mr_test;
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    start_journal();
    call_outcome token_get = get_property(user.get(), u"LoginToken");
    ASSERT_EQ(S_OK, token_get.hr);
    EXPECT_NE(u"", token_get.result.str());
    var u = var::object(user.get());
    ASSERT_EQ(S_OK, call_method(api.get(), u"GetHostname", {arg(u)}).hr);
    var id(u"4712");
    by_ref buffer(var{}), count(var(0));
    buffer.value.vt = VT_ARRAY | VT_UI1;
    buffer.value.parray = SafeArrayCreateVector(VT_UI1, 0, 1);
    ASSERT_EQ(S_OK, call_method(api.get(), u"GetDynamicAttrsData", {arg(u), arg(id), arg(buffer), arg(count)}).hr);
    EXPECT_EQ(VT_ARRAY | VT_UI1, buffer.value.vt);
    EXPECT_EQ(28u, buffer.value.parray->rgsabound[0].cElements);
    EXPECT_EQ(28, count.value.lVal);
    const std::vector<std::string> expected{
        R"({"op": "User.LoginToken", "args": []})",
        R"({"op": "GetHostname", "args": [{"class": "User"}]})",
        R"({"op": "GetDynamicAttrsData", "args": [{"class": "User"}, "4712", {"count": 1, "text": ""}, 0]})",
    };
    EXPECT_EQ(expected, journal_lines());
}

TEST_F(ControlTest, StartJournalFailsForAnUnwritablePath) {
    EXPECT_EQ(mremu::errors::write_failed, emulator->StartJournal(B(u"/nonexistent/dir/j.jsonl")));
    EXPECT_NE(std::string::npos, error_text().find("/nonexistent/dir/j.jsonl"));
    const std::string fifo = ::testing::TempDir() + "emu_jfifo_" + std::to_string(getpid());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(mremu::errors::write_failed, emulator->StartJournal(path_arg(fifo))) << "a FIFO without reader: no wait";
    std::remove(fifo.c_str());
}

TEST_F(ControlTest, StopJournalReportsTheLinesThatCouldNotBeWritten) {
    ASSERT_EQ(S_OK, emulator->StartJournal(B(u"/dev/full"))) << error_text();
    connect();
    connect();
    EXPECT_EQ(mremu::errors::write_failed, emulator->StopJournal());
    const std::string text = error_text();
    EXPECT_NE(std::string::npos, text.find("/dev/full")) << text;
    EXPECT_NE(std::string::npos, text.find("lost 4 lines")) << text;  // new api, OpenConnection, twice
    EXPECT_NE(std::string::npos, text.find("No space left on device")) << text;
    EXPECT_EQ(S_OK, emulator->StopJournal()) << "reported once";
    start_journal();
    connect();
    EXPECT_EQ(S_OK, emulator->StopJournal()) << error_text();
    EXPECT_EQ(2u, journal_lines().size());
    ASSERT_EQ(S_OK, emulator->StartJournal(B(u"/dev/full"))) << error_text();
    connect();
    start_journal();
    EXPECT_EQ(mremu::errors::write_failed, emulator->StopJournal()) << "a replaced journal's lost lines count too";
    EXPECT_NE(std::string::npos, error_text().find("\"/dev/full\" lost 2 lines"));
}

// While it lives the process writes no further than `bytes` into any file: a write past
// that fails (EFBIG) instead of stopping the process.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes) : signal_before_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &before_);
        rlimit limited = before_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~file_size_limit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, signal_before_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    void (*signal_before_)(int);
    rlimit before_{};
};

TEST_F(ControlTest, WritesThatFailFailTheStateAndTheJournal) {
    const std::string folder = ::testing::TempDir() + "emu_failed_writes_" + std::to_string(getpid());
    const std::string state = folder + "/state.json", journal = folder + "/journal.jsonl";
    const struct {
        const char* what;
        const char* device;  // both paths are links to it (a writer that renamed over its path would
                             // replace the link, never the device); else files of their own
        rlim_t size_limit;   // how far the process may write into a file; 0 for no limit
        const char* reason;
    } rows[] = {
        {"a device that takes no byte", "/dev/full", 0, "No space left on device"},
        {"a file that takes 8 bytes more: a short write, then none", nullptr, 8, "File too large"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        if (row.device) {
            std::filesystem::create_symlink(row.device, state);
            std::filesystem::create_symlink(row.device, journal);
        } else {
            std::ofstream(state) << "old contents";
        }
        HRESULT saved = S_OK, started = E_FAIL, stopped = S_OK;
        std::string save_error, stop_error;
        {
            std::optional<file_size_limit> limit;
            if (row.size_limit) limit.emplace(row.size_limit);
            saved = emulator->SaveState(path_arg(state));
            save_error = error_text();
            started = emulator->StartJournal(path_arg(journal));
            connect();
            stopped = emulator->StopJournal();
            stop_error = error_text();
        }
        EXPECT_EQ(mremu::errors::write_failed, saved);
        EXPECT_EQ(S_OK, started);
        EXPECT_EQ(mremu::errors::write_failed, stopped);
        for (const auto& [text, words] : {std::pair{save_error, state}, {save_error, std::string(row.reason)},
                                          {stop_error, journal}, {stop_error, std::string("lost 2 lines")},
                                          {stop_error, std::string(row.reason)}})
            EXPECT_NE(std::string::npos, text.find(words)) << text;
        if (row.device) EXPECT_TRUE(std::filesystem::is_symlink(state)) << "written in place, the link kept";
        else EXPECT_EQ("old contents", read_file(state)) << "the old state stays whole";
        EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(folder), {})) << "no temporary file stays";
    }
    std::filesystem::remove_all(folder);
    struct stat info {};
    ASSERT_EQ(0, ::stat("/dev/full", &info));
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(ControlTest, LiveObjectsCountDownToZeroAfterRelease) {
    com_ptr<Iapi> api = connect();
    com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
    com_ptr<IObjectList> list;
    ASSERT_EQ(S_OK, api->QueryObjects(user.get(), B(u"r"), B(u"is_dynamic_attrs_new_of('/db/alpha/problem/17/1')"),
                                      B(u""), list.put()));
    com_ptr<IObjectData> item;
    ASSERT_EQ(S_OK, list->Item(0, item.put()));
    com_ptr<IAttribute> attribute;
    ASSERT_EQ(S_OK, item->GetAttribute(B(u"cvid"), attribute.put()));
    EXPECT_EQ(1, live(u"api"));
    EXPECT_EQ(1, live(u"User"));
    EXPECT_EQ(1, live(u"ObjectList"));
    EXPECT_EQ(1, live(u"ObjectData"));
    EXPECT_EQ(1, live(u"Attribute"));
    EXPECT_EQ(5, live(u""));
    item = nullptr;
    EXPECT_EQ(1, live(u"ObjectData")) << "the attribute keeps its data object";
    attribute = nullptr;
    list = nullptr;
    user = nullptr;
    api = nullptr;
    EXPECT_EQ(0, live(u""));
    EXPECT_EQ(0, live(u"ObjectData"));
}

// A recorder hands the library class objects to serve in front of its own; CallCount
// counts every call, creations included, whether journaled or not.
TEST_F(ControlTest, AServedClassObjectStandsInFrontOfTheLibrarysOwnUntilWithdrawn) {
    LONG calls_before = 0, calls_after = 0;
    ASSERT_EQ(S_OK, emulator->CallCount(&calls_before));
    com_ptr<IClassFactory> users;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_User, CLSCTX_INPROC_SERVER, nullptr, iid_of<IClassFactory>(), users.put_void()));
    const auto serve = [&](const char16_t* progid, VARTYPE vt, IUnknown* object) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        v.punkVal = object;
        return emulator->ServeClass(B(progid), &v);
    };
    const auto made_api_is_user = [] {
        com_ptr<IDispatch> made;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_api, nullptr, CLSCTX_INPROC_SERVER, iid_of<IDispatch>(), made.put_void()));
        com_ptr<IUser> user;
        return made && SUCCEEDED(made->QueryInterface(iid_of<IUser>(), user.put_void()));
    };
    ASSERT_EQ(S_OK, serve(u"mrlib.api", VT_UNKNOWN, users.get())) << error_text();
    EXPECT_TRUE(made_api_is_user()) << "mrlib.api made by the served class object";
    ASSERT_EQ(S_OK, serve(u"mrlib.api", VT_EMPTY, nullptr)) << error_text();
    EXPECT_FALSE(made_api_is_user()) << "the library's own class again";
    com_ptr<Iapi> api = connect();
    EXPECT_EQ(mremu::errors::bad_argument, serve(u"mrlib.Nope", VT_UNKNOWN, users.get()));
    EXPECT_EQ(mremu::errors::bad_argument, serve(u"mrlib.User", VT_DISPATCH, api.get())) << "no class object";
    EXPECT_EQ(mremu::errors::bad_argument, serve(u"mrlib.User", VT_I4, nullptr));
    ASSERT_EQ(S_OK, emulator->CallCount(&calls_after));
    EXPECT_EQ(calls_before + 4, calls_after) << "new User, new api, new api, OpenConnection";
}

TEST_F(ControlTest, TheControlClassIsReachedLateBound) {
    using namespace q2mr_test;
    var op(u"GetHostname"), hr(static_cast<int>(0x80040301)), desc(u"busy"), times(1);
    call_outcome injected = call_method(emulator.get(), u"InjectFault", {arg(op), arg(hr), arg(desc), arg(times)});
    ASSERT_EQ(S_OK, injected.hr) << oa::utf16_to_utf8(injected.description());
    var empty(u"");
    call_outcome count = call_method(emulator.get(), u"LiveObjects", {arg(empty)});
    ASSERT_EQ(S_OK, count.hr);
    EXPECT_EQ(VT_I4, count.result.vt);
    EXPECT_EQ(0, count.result.lVal);
    // A script writes an HRESULT as 0x80040301: a whole number beyond a Long, its low 32 bits the code.
    const struct {
        double value;
        HRESULT expected;
    } codes[] = {{2147746561.0, hresult_of(0x80040301)}, {4294967295.0, hresult_of(0xFFFFFFFF)},
                 {4294967296.0, mremu::errors::bad_argument}, {2147746561.5, mremu::errors::bad_argument},
                 {-2147483649.0, mremu::errors::bad_argument}};
    for (const auto& c : codes) {
        var wide(c.value), cr(u"CRData");
        call_outcome outcome = call_method(emulator.get(), u"InjectFault", {arg(cr), arg(wide), arg(desc), arg(times)});
        if (c.expected == mremu::errors::bad_argument) {
            EXPECT_EQ(c.expected, outcome.code()) << c.value;
            continue;
        }
        ASSERT_EQ(S_OK, outcome.hr) << c.value << oa::utf16_to_utf8(outcome.description());
        com_ptr<Iapi> api = connect();
        com_ptr<IUser> user = login(api.get(), u"jane", u"s3cret", u"developer");
        com_ptr<IObjectData> data;
        EXPECT_EQ(c.expected, api->CRData(user.get(), B(u"17"), B(u"crstatus"), data.put())) << c.value;
    }
    var missing(u"/nonexistent.json");
    call_outcome refused = call_method(emulator.get(), u"LoadFixture", {arg(missing)});
    EXPECT_EQ(mremu::errors::file_missing, refused.code());
    EXPECT_NE(std::u16string::npos, refused.description().find(u"/nonexistent.json"));
}

void close_library(void* handle) noexcept { dlclose(handle); }

// Self-registration into a registry of the test's own whose one line gives a ProgID to a
// class; the test program's registry is back afterwards.
TEST(SelfRegistration, AProgIDOfAnotherServerIsTakenOnlyByForceAndUnregisteringLeavesItsLine) {
    const oa::unique_any<void*, &close_library> library(dlopen(MRLIB_EMULATOR_PATH, RTLD_NOW | RTLD_LOCAL));
    const auto install = reinterpret_cast<HRESULT (*)(BOOL, LPCOLESTR)>(dlsym(library.get(), "DllInstall"));
    const auto register_server = reinterpret_cast<HRESULT (*)()>(dlsym(library.get(), "DllRegisterServer"));
    const auto unregister_server = reinterpret_cast<HRESULT (*)()>(dlsym(library.get(), "DllUnregisterServer"));
    ASSERT_TRUE(install && register_server && unregister_server);
    const std::string previous = OaGetRegistryPath(), registry = ::testing::TempDir() + "emu_selfreg";
    ASSERT_EQ(S_OK, OaSetRegistryPath(registry.c_str()));
    const std::string header = "# oleauto registry 1: class/typelib entries, TAB-separated (see the runtime's README)\n";
    const std::string other = "{5F1C2A7E-9B3D-4E60-8C14-2D7A9E0B6F35}", ours = "{1A18F0FE-A387-4310-B901-8A0DD8D59603}";
    const struct {
        const char* progid;
        std::string clsid;
        bool refused;
    } rows[] = {{"mrlib.api", other, true}, {"mrlib.User", other, true}, {"mrlib.api.1", other, false},
                {"mrlib.api", ours, false} /* the library itself, from another path */};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.progid) + " " + row.clsid);
        const std::string before = header + "class\t" + row.clsid + "\t" + row.progid + "\t" + row.progid +
                                   "\tApartment\t/opt/other/libmrlib.so\n";
        std::ofstream(registry, std::ios::binary | std::ios::trunc) << before;
        if (row.refused) {
            EXPECT_EQ(hresult_of(0x80070582), register_server());
            EXPECT_NE(std::string::npos, error_text().find("the ProgID " + std::string(row.progid) + " names the class " +
                                                           other + " of another server. To register it anyway: "
                                                           "regsvr --force /"));
            EXPECT_EQ(before, read_file(registry)) << "a refusal writes nothing";
        }
        EXPECT_EQ(S_OK, install(TRUE, row.refused ? u"force" : nullptr)) << error_text();
        for (const auto& [progid, clsid] : {std::pair{u"mrlib.api", CLSID_api}, std::pair{u"mrlib.User", CLSID_User}}) {
            CLSID named{};
            EXPECT_EQ(S_OK, CLSIDFromProgID(progid, &named));
            EXPECT_EQ(clsid, named);
        }
        EXPECT_EQ(S_OK, unregister_server());
        EXPECT_EQ(row.clsid == ours ? header : before, read_file(registry)) << "only the library's own lines go";
    }
    OaSetRegistryPath(previous.c_str());
    for (const std::string& file : {registry, registry + ".lock"}) std::remove(file.c_str());
}

}  // namespace
}  // namespace emu_test
