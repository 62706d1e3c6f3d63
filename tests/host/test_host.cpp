// The host end to end: scripts run through q2mrhost against fixtures; the tests read what
// the script printed, the exit code, the journal and the saved state.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
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

    std::vector<nlohmann::json> journal() {
        std::vector<nlohmann::json> entries;
        std::ifstream in(dir / "journal.jsonl");
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
        {"error_during_call.lua", "index", 0, {"end"}, {}},
        {"error_during_call.lua", "newindex", 0, {"end"}, {}},
        {"error_during_call.lua", "yield", 0, {"false\tattempt to yield across a C-call boundary", "end"}, {}},
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

}  // namespace
