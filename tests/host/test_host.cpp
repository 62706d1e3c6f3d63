// The host end to end: scripts run through q2mrhost against fixtures; the tests read what
// the script printed, the exit code, the journal and the saved state.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct run_result {
    int exit_code = -1;
    std::string out, err;
};

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Host : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              (std::string("q2mrhost_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string fixture(const char* name) { return std::string(Q2MR_TEST_FIXTURES) + "/" + name; }
    static std::string script(const char* name) { return std::string(Q2MR_HOST_SCRIPTS) + "/" + name; }

    static std::string regression(const char* name) { return script((std::string("regressions/") + name).c_str()); }

    run_result run(const std::vector<std::string>& args, const std::string& env = "") {
        // A hang shows as exit 124 instead of stopping the suite.
        std::string cmd = env + " timeout 60 " + quote(Q2MR_HOST);
        for (const auto& a : args) cmd += " " + quote(a);
        cmd += " >" + quote((dir / "out").string()) + " 2>" + quote((dir / "err").string()) + " </dev/null";
        int status = std::system(cmd.c_str());
        run_result r;
        r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = read_all(dir / "out");
        r.err = read_all(dir / "err");
        return r;
    }

    std::vector<nlohmann::json> journal(const char* name = "journal.jsonl") {
        std::vector<nlohmann::json> entries;
        std::ifstream in(dir / name);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) entries.push_back(nlohmann::json::parse(line));
        return entries;
    }
};

bool has_line(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr const char* left_alive = "objects are still alive";

TEST_F(Host, EveryMemberOfTheSessionIsReachedByNameAndJournaled) {
    auto r = run({"--server", fixture("standard.json"), "--journal", (dir / "journal.jsonl").string(), "--state-out",
                  (dir / "state.json").string(), script("methods.lua")});
    ASSERT_EQ(0, r.exit_code) << r.err << r.out;
    for (const char* line :
         {"Connect=", "GoodConnection=true", "Login=", "User=true", "api=true", "Token=true", "CreateAGroup=true",
          "AddUserToGroup=true", "DeleteAGroup=true", "AddUserToArray=", "CreateUsers=true", "AddUserToNMXArray=",
          "SetMerivexUsernames=true", "AddUserToRoleArray=", "AddUserRoles=true", "VANT_GetHostname=cm1.example.test",
          "GetDynamicAttrs=<attrs second=\"yes\"/>", "GetNewAttrs=<attrs/>", "createRCObject=true",
          "encodeXML=a&lt;b &amp; c&gt;d", "VANT_SetCRattribute=", "VANT_SetCRattribute2=", "VANT_SetCRattributeByFile=",
          "GoodConnectionAfterPut=false"})
        EXPECT_TRUE(has_line(r.out, line)) << line << "\n" << r.out;

    std::set<std::string> ops;
    for (const auto& e : journal()) ops.insert(e.at("op").get<std::string>());
    for (const char* op :
         {"OpenConnection", "appLogin", "CreateGroup", "PrepareGroupDeletion", "DeleteGroup", "AssignUserToGroup",
          "AddUsers", "LoadConfigurationData", "SetMerivexUsernames", "AddUsersRoles", "AddAPreferenceForAUser",
          "QueryObjects", "GetDynamicAttrsData", "GetHostname", "SetDynamicAttrsData", "CreateRCObjectFromData",
          "CRData", "ModifyCR", "TransitionCR", "CreateRelationship", "User.SetUserInfo", "User.SetNameMapping",
          "User.SetRoleInfo"})
        EXPECT_TRUE(ops.count(op)) << op;
    for (const auto& e : journal()) EXPECT_EQ(std::string::npos, e.dump().find("s3cret")) << e.dump();

    auto state = nlohmann::json::parse(read_all(dir / "state.json"));
    const auto& server = state.at("servers").at(0);
    bool kim = false;
    for (const auto& u : server.at("users")) kim |= u.at("name") == "kim";
    EXPECT_TRUE(kim) << "the user created by the script is in the saved state";
    for (const auto& cr : server.at("crs"))
        if (cr.at("id") == "17") {
            EXPECT_EQ("assigned", cr.at("attributes").at("crstatus"));
            EXPECT_EQ("Crash & burn", cr.at("attributes").at("problem_synopsis"));
        }
}

TEST_F(Host, TheDemoRunsOnTheBuiltInServerAndOnItsFixtureAlike) {
    for (bool with_fixture : {false, true}) {
        std::vector<std::string> args;
        if (with_fixture) args = {"--server", std::string(Q2MR_EXAMPLES) + "/demo_server.json"};
        args.push_back(std::string(Q2MR_EXAMPLES) + "/demo.lua");
        auto r = run(args);
        ASSERT_EQ(0, r.exit_code) << r.err;
        for (const char* text : {"Connect Error: status =  0", "Unable to login admin as developer into database /db/main",
                                 "created 2 user(s)", "rows applied                     2",
                                 "cannot go from assigned to closed", "a &lt; b &amp; c &gt; d",
                                 "<attrs phase=\"demo\"/>", "Create relation failed: Permission Denied",
                                 "9: Subscript out of range"})
            EXPECT_NE(std::string::npos, r.out.find(text)) << text << "\n" << r.out;
    }
}

TEST_F(Host, AByRefBoxReceivesTheCountTheLibraryWrote) {
    auto r = run({"--server", fixture("standard.json"), script("byref.lua")});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(has_line(r.out, "result=Unknown error occured in ChangeMerivex")) << r.out;
    EXPECT_TRUE(has_line(r.out, "count=0")) << r.out;
    EXPECT_TRUE(has_line(r.out, "count1=1")) << r.out;
}

TEST_F(Host, UntrappedFailuresReachTheScriptWithTheirNumbers) {
    auto r = run({"--server", fixture("standard.json"), script("failures.lua")});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(has_line(r.out, "empty values: false 9 Subscript out of range")) << r.out;
    EXPECT_TRUE(has_line(r.out, "missing file: false 53")) << r.out;
    EXPECT_TRUE(has_line(r.out, "port overflow: false -2147352566")) << r.out;
    EXPECT_TRUE(has_line(r.out, "unknown: false 438")) << r.out;
    EXPECT_TRUE(has_line(r.out, "tostring: 438: Object doesn't support this property or method")) << r.out;
    EXPECT_TRUE(has_line(r.out, "any case: ab")) << r.out;
    std::size_t unknown_elsewhere = 0;
    for (std::size_t at = 0; (at = r.out.find("other interface: false 438\n", at)) != std::string::npos; ++at)
        ++unknown_elsewhere;
    EXPECT_EQ(2u, unknown_elsewhere) << r.out;
}

TEST_F(Host, AnUncaughtFailureEndsTheScriptWithItsPlaceAndNumber) {
    auto r = run({script("uncaught.lua")});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_NE(std::string::npos, r.err.find("uncaught.lua:3: 9: Subscript out of range")) << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("not reached"));
}

TEST_F(Host, ArgumentsReachTheScript) {
    auto r = run({script("args.lua"), "one", "two"});
    ASSERT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(has_line(r.out, "count=2 first=one script=true")) << r.out;
}

TEST_F(Host, UsageAndFixtureErrorsExitTwoBeforeAnythingRuns) {
    auto none = run({});
    EXPECT_EQ(2, none.exit_code);
    EXPECT_NE(std::string::npos, none.err.find("usage: q2mrhost")) << none.err;
    EXPECT_EQ(2, run({"--bogus", script("args.lua")}).exit_code);
    EXPECT_EQ(2, run({"--server"}).exit_code);

    auto missing = run({"--server", (dir / "missing.json").string(), script("args.lua")});
    EXPECT_EQ(2, missing.exit_code);
    EXPECT_NE(std::string::npos, missing.err.find("missing.json")) << missing.err;
    EXPECT_EQ("", missing.out) << "nothing ran";

    std::ofstream(dir / "bad.json") << "{\"servers\": [";
    auto bad = run({"--server", (dir / "bad.json").string(), script("args.lua")});
    EXPECT_EQ(2, bad.exit_code);
    EXPECT_NE(std::string::npos, bad.err.find("bad.json")) << bad.err;
    EXPECT_EQ("", bad.out);

    EXPECT_EQ(2, run({(dir / "no_such_script.lua").string()}).exit_code);
}

TEST_F(Host, TheLeakCheckNamesWhatAScriptLeftAlive) {
    // A registry of the test's own: the build's, plus the leaky double.
    fs::path registry = dir / "registry";
    fs::copy_file(fs::path(Q2MR_HOST).parent_path() / "registry", registry);
    std::string env = "OLEAUTO_REGISTRY=" + quote(registry.string());
    ASSERT_EQ(0, std::system((env + " " + quote(Q2MR_REGSVR) + " " + quote(Q2MR_LEAKY_LIBRARY)).c_str()));
    auto r = run({script("leak.lua")}, env);
    EXPECT_EQ(3, r.exit_code) << r.err;
    EXPECT_TRUE(has_line(r.out, "made=1"));
    EXPECT_NE(std::string::npos, r.err.find("1 User")) << r.err;

    auto clean = run({script("args.lua")}, env);
    EXPECT_EQ(0, clean.exit_code) << clean.err;

    // A script that fails exits 1 for its failure; what was left alive is still named.
    auto failed = run({"-e", "CreateObject('q2mrtest.Leaky'):Leak() error('boom')"}, env);
    EXPECT_EQ(1, failed.exit_code) << failed.err;
    EXPECT_TRUE(has(failed.err, "(command line):1: boom")) << failed.err;
    EXPECT_TRUE(has(failed.err, "1 User")) << failed.err;
}

// The change-server library not registered (the emulated control class still is): the
// staging methods and CreateObject say so, Connect's 91 stands and the component notes why
// on standard error, once. The Windows host prints the same lines (windows.unreachable).
TEST_F(Host, ALibraryThatIsNotRegisteredIsNamedAsSuch) {
    const fs::path registry = dir / "registry";
    {
        std::ifstream in(fs::path(Q2MR_HOST).parent_path() / "registry");
        std::ofstream out(registry);
        for (std::string line; std::getline(in, line);)
            if (!has(line, "\tmrlib.api\t") && !has(line, "\tmrlib.User\t")) out << line << "\n";
    }
    auto r = run({script("unreachable.lua")}, "OLEAUTO_REGISTRY=" + quote(registry.string()));
    const auto why = [](const std::string& progid) {
        return "ActiveX component can't create object: " + progid +
               " is not registered for any program on this machine. Install (or register) the library that provides "
               "it.";
    };
    const std::string connect = "Connect: [Connect Error:  91 Object variable or With block variable not set]\n";
    EXPECT_EQ(connect + connect + "AddUserToArray: [AddUserToArray Error:  429 " + why("mrlib.User") +
                  "]\nAddUserToNMXArray: [AddUserToNMXArray Error:  429 " + why("mrlib.User") +
                  "]\nAddUserToRoleArray: [AddUserToRoleArray Error:  429 " + why("mrlib.User") +
                  "]\nCreateObject mrlib.api: 429 " + why("mrlib.api") + "\n",
              r.out);
    EXPECT_EQ("quellar2mrapi: Connect: " + why("mrlib.api") + "\n" + script("unreachable.lua") + ":11: 429: " +
                  why("mrlib.User") + "\n",
              r.err);
    EXPECT_EQ(1, r.exit_code);
}

// Scripts that crashed the host or made it leak (and then exit 3): each now ends as its
// lines say, and nothing is left alive.
TEST_F(Host, RegressionScriptsNeitherCrashNorLeak) {
    const struct {
        const char* script;
        const char* arg;
        int exit_code;
        std::vector<std::string> out, err;
    } cases[] = {
        {"gc_reads_finalized_object.lua", "", 0, {"done"},
         {"finalizer: false 91: The object was already released"}},
        {"metamethods_called_directly.lua", "", 0,
         {"protected=Object", "foreign=false", "foreign arg=false", "released method=false", "released arg=false",
          "released=false 91: The object was already released (finalized when the script let it go)"},
         {}},
        {"damaged_precompiled_chunk.lua", "", 0, {"loaded=0"}, {}},
        {"error_during_call.lua", "index", 0, {"end"}, {}},
        {"error_during_call.lua", "newindex", 0, {"end"}, {}},
        {"error_during_call.lua", "yield", 0, {"false\tattempt to yield across a C-call boundary", "end"}, {}},
        {"error_during_call.lua", "tostring", 1, {},
         {"error_during_call.lua:21: (an error value of type table that cannot be shown as text)"}},
    };
    for (const auto& c : cases) {
        auto r = run({regression(c.script), c.arg});
        const std::string which = std::string(c.script) + " " + c.arg + "\n" + r.out + r.err;
        EXPECT_EQ(c.exit_code, r.exit_code) << which;
        for (const auto& line : c.out) EXPECT_TRUE(has_line(r.out, line)) << line << "\n" << which;
        for (const auto& part : c.err) EXPECT_TRUE(has(r.err, part)) << part << "\n" << which;
        EXPECT_FALSE(has(r.err, left_alive)) << which;
        EXPECT_FALSE(has(r.out, "index=true") || has(r.out, "newindex=true")) << which;
    }
}

TEST_F(Host, OsExitStillWritesTheJournalAndTheState) {
    for (const auto& [arg, code] : std::vector<std::pair<std::string, int>>{{"", 7}, {"0", 0}, {"3", 3}}) {
        fs::remove(dir / "journal.jsonl");
        fs::remove(dir / "state.json");
        auto r = run({"--journal", (dir / "journal.jsonl").string(), "--state-out", (dir / "state.json").string(),
                      regression("exit_midway.lua"), arg});
        EXPECT_EQ(code, r.exit_code) << r.err;
        EXPECT_FALSE(has(r.out, "not reached")) << r.out;
        ASSERT_EQ(2u, journal().size());
        EXPECT_EQ("OpenConnection", journal()[1].at("op"));
        EXPECT_TRUE(fs::exists(dir / "state.json"));
        EXPECT_FALSE(has(r.err, left_alive)) << r.err;
    }
}

TEST_F(Host, OutputPathsAreCheckedBeforeTheScriptRuns) {
    fs::create_directories(dir / "folder");
    for (const fs::path& bad : {dir / "missing" / "state.json", dir / "folder", fs::path("/dev/null")}) {
        auto r = run({"--state-out", bad.string(), script("args.lua")});
        EXPECT_EQ(2, r.exit_code) << bad;
        EXPECT_EQ("", r.out) << "nothing ran for " << bad;
        EXPECT_TRUE(has(r.err, "cannot write the state file")) << r.err;
    }
    auto journal_missing = run({"--journal", (dir / "missing" / "j.jsonl").string(), script("args.lua")});
    EXPECT_EQ(2, journal_missing.exit_code);
    EXPECT_EQ("", journal_missing.out);

    // The state holds passwords: mode 0600 whatever the umask.
    ASSERT_EQ(0, run({"--state-out", (dir / "state.json").string(), script("args.lua")}, "umask 0;").exit_code);
    struct stat info {};
    ASSERT_EQ(0, ::stat((dir / "state.json").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777u);
}

TEST_F(Host, AJournalThatCannotBeWrittenFailsTheRun) {
    auto r = run({"--server", fixture("standard.json"), "--journal", "/dev/full", script("byref.lua")});
    EXPECT_EQ(1, r.exit_code) << r.err;
    EXPECT_TRUE(has(r.err, "/dev/full")) << r.err;
    EXPECT_TRUE(has(r.err, "No space left on device")) << r.err;
    EXPECT_TRUE(has_line(r.out, "count1=1")) << "the script ran to its end\n" << r.out;
}

TEST_F(Host, HostsAppendingToOneJournalKeepTheirLongLinesWhole) {
    const std::string journal_file = (dir / "journal.jsonl").string();
    std::string cmd;
    for (const char* letter : {"a", "b", "c"})
        cmd += "timeout 60 " + quote(Q2MR_HOST) + " --journal " + quote(journal_file) + " " +
               quote(script("long_lines.lua")) + " " + letter + " >/dev/null 2>&1 & ";
    ASSERT_EQ(0, std::system((cmd + "wait").c_str()));
    std::map<std::string, int> lines_by_letter;
    for (const auto& line : journal()) {
        if (line.at("op") != "OpenConnection") continue;
        const std::string protocol = line.at("args").at(0);
        ASSERT_EQ(std::string(20000, protocol.at(0)), protocol) << "a line broken by another writer";
        ++lines_by_letter[protocol.substr(0, 1)];
    }
    EXPECT_EQ((std::map<std::string, int>{{"a", 100}, {"b", 100}, {"c", 100}}), lines_by_letter);
}

TEST_F(Host, FixturesAndValueFilesMustBeRegularFiles) {
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    auto fixture_fifo = run({"--server", fifo, script("args.lua")});
    EXPECT_EQ(2, fixture_fifo.exit_code);
    EXPECT_TRUE(has(fixture_fifo.err, "not a regular file")) << fixture_fifo.err;

    std::ofstream(dir / "twice.json") << R"({"servers": [{"host": "h", "port": 1, "port": 2, "protocols": []}]})";
    auto twice = run({"--server", (dir / "twice.json").string(), script("args.lua")});
    EXPECT_EQ(2, twice.exit_code);
    EXPECT_TRUE(has(twice.err, "servers[0].port: the key \"port\" appears twice")) << twice.err;

    auto value_fifo = run({"--server", fixture("standard.json"), script("value_file.lua"), fifo});
    EXPECT_EQ(0, value_fifo.exit_code) << value_fifo.err;
    EXPECT_TRUE(has_line(value_fifo.out, "fifo: false 75: Path/File access error")) << value_fifo.out;

    auto script_fifo = run({fifo});
    EXPECT_EQ(2, script_fifo.exit_code);
    EXPECT_TRUE(has(script_fifo.err, "not a regular file")) << script_fifo.err;
}

TEST_F(Host, TheAdminDialogWithoutATerminalOrAnsweredFromAFile) {
    const std::string admin = std::string(Q2MR_EXAMPLES) + "/admin_login.lua";
    auto no_terminal = run({"--server", fixture("standard.json"), admin, "/db/alpha"}, "TERM=");
    EXPECT_EQ(0, no_terminal.exit_code) << no_terminal.err;
    EXPECT_TRUE(has_line(no_terminal.out, "Login: Login Cancelled.")) << no_terminal.out;
    EXPECT_TRUE(has(no_terminal.err, "could not be shown (no terminal")) << no_terminal.err;

    const struct {
        std::string answers;
        std::string out, err;
    } cases[] = {
        {"jane\ns3cret\n", "Logged in as jane; token EMU-", ""},
        {"jane\r\ns3cret\r\n", "Logged in as jane; token EMU-", ""},
        {"jane\n\n", "Login: Login Cancelled.", "the dialog said \"Invalid Password, try again!\""},
        {"\ns3cret\njane\ns3cret\n", "Logged in as jane; token EMU-", "\"Invalid User Name, try again!\""},
        {"", "Login: Login Cancelled.", "no answers left"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "answers", std::ios::binary | std::ios::trunc) << c.answers;
        fs::remove(dir / "journal.jsonl");
        auto r = run({"--server", fixture("standard.json"), "--journal", (dir / "journal.jsonl").string(),
                      "--dialog-input", (dir / "answers").string(), admin, "/db/alpha"});
        EXPECT_EQ(0, r.exit_code) << r.err;
        EXPECT_TRUE(has(r.out, c.out)) << c.answers << "\n" << r.out;
        EXPECT_TRUE(has(r.err, c.err)) << c.answers << "\n" << r.err;
        EXPECT_FALSE(has(r.err, "could not be shown")) << r.err;
        for (const auto& e : journal()) EXPECT_FALSE(has(e.dump(), "s3cret")) << e.dump();
    }
    auto missing = run({"--dialog-input", (dir / "none").string(), admin});
    EXPECT_EQ(2, missing.exit_code);
}

TEST_F(Host, TraceShowsEachLibraryCallAsTheJournalHasIt) {
    auto r = run({"--server", fixture("standard.json"), "--trace", "--journal", (dir / "journal.jsonl").string(),
                  script("byref.lua")});
    ASSERT_EQ(0, r.exit_code) << r.err;
    std::vector<nlohmann::json> traced;
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        if (!line.empty() && line[0] == '{') traced.push_back(nlohmann::json::parse(line));
    EXPECT_EQ(journal(), traced);
    EXPECT_GT(traced.size(), 3u);
    EXPECT_FALSE(has(r.err, "s3cret")) << r.err;
    EXPECT_TRUE(has(r.err, "\"***\"")) << r.err;
}

TEST_F(Host, HelpVersionChunksAndModules) {
    auto help = run({"--help"});
    EXPECT_EQ(0, help.exit_code);
    for (const char* part : {"--server FIXTURE.json", "--journal FILE", "--state-out FILE", "--trace", "-e CODE",
                             "--dialog-input FILE", "--version", "3  objects left alive", "16 MiB", "CreateObject",
                             "ByRef", "pcall", "testing aid"})
        EXPECT_TRUE(has(help.out, part)) << part;
    auto version = run({"--version"});
    EXPECT_EQ(0, version.exit_code);
    EXPECT_TRUE(has(version.out, Q2MR_VERSION)) << version.out;

    auto chunks = run({"-e", "x = 41", "-e", "print(x + 1)"});
    EXPECT_EQ(0, chunks.exit_code) << chunks.err;
    EXPECT_EQ("42\n", chunks.out);
    auto failing = run({"-e", "error('no')"});
    EXPECT_EQ(1, failing.exit_code);
    EXPECT_TRUE(has(failing.err, "(command line):1: no")) << failing.err;

    // Modules beside the script, wherever it is run from; a precompiled one is refused.
    fs::create_directories(dir / "lib");
    std::ofstream(dir / "lib" / "helper.lua") << "return {answer = 42}\n";
    std::ofstream(dir / "lib" / "main.lua")
        << "print('helper=' .. require('helper').answer)\n"
           "local f = io.open(arg[0]:match('^(.*)/') .. '/compiled.lua', 'wb')\n"
           "f:write(string.dump(function() return 1 end)); f:close()\n"
           "print('compiled=' .. tostring((pcall(require, 'compiled'))))\n";
    auto modules = run({(dir / "lib" / "main.lua").string()});
    EXPECT_EQ(0, modules.exit_code) << modules.err;
    EXPECT_TRUE(has_line(modules.out, "helper=42")) << modules.out;
    EXPECT_TRUE(has_line(modules.out, "compiled=false")) << modules.out;
}

TEST_F(Host, InjectFaultTakesHexadecimalHresultsAndAnEmptyRegistryVariableIsIgnored) {
    // HOME of the test's own: no registry there, so only the one beside the host can answer.
    auto r = run({"-e", "local e = CreateObject('mrlib.Emulator')\n"
                        "e:InjectFault('OpenConnection', 0x80040201, 'busy', 1)\n"
                        "local ok, err = pcall(function() return CreateObject('mrlib.api'):OpenConnection('tcp', "
                        "'localhost', 8400) end)\n"
                        "print(ok, err.number, err.description)"},
                 "HOME=" + quote(dir.string()) + " OLEAUTO_REGISTRY=");
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_EQ("false\t-2147220991\tbusy\n", r.out);
}

}  // namespace
