// q2mrhost: runs a Lua automation script against the component and the emulated change
// server.
//   q2mrhost [--server FIXTURE.json] [--journal FILE] [--state-out FILE] SCRIPT.lua [ARG...]
// Exit codes: 0 success, 1 the script failed, 2 usage or fixture error, 3 objects left alive.
#include <host/bridge.h>
#include <host/values.h>

#include <component/interfaces.h>
#include <emulator/emulator.h>
#include <forms/backend.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/text.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int exit_script_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_left_alive = 3;

const char* usage_text =
    "usage: q2mrhost [--server FIXTURE.json] [--journal FILE] [--state-out FILE] SCRIPT.lua [ARG...]\n";

struct options {
    std::optional<std::string> server, journal, state_out;
    std::string script;
    std::vector<std::string> args;
};

std::optional<options> parse(int argc, char** argv) {
    options o;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::optional<std::string>& slot) {
            if (i + 1 >= argc || slot) return false;
            slot = argv[++i];
            return true;
        };
        if (a == "--server") {
            if (!value(o.server)) return std::nullopt;
        } else if (a == "--journal") {
            if (!value(o.journal)) return std::nullopt;
        } else if (a == "--state-out") {
            if (!value(o.state_out)) return std::nullopt;
        } else if (a == "--") {
            ++i;
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return std::nullopt;
        } else {
            break;
        }
    }
    if (i >= argc) return std::nullopt;
    o.script = argv[i++];
    for (; i < argc; ++i) o.args.emplace_back(argv[i]);
    return o;
}

// The registry that the build wrote beside the host, unless one is named already.
void choose_registry() {
    if (std::getenv("OLEAUTO_REGISTRY")) return;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    auto beside = exe.parent_path() / "registry";
    if (std::filesystem::exists(beside)) OaSetRegistryPath(beside.c_str());
}

std::string describe(HRESULT hr) {
    std::string text = oa::utf16_to_utf8(oa::take_error_description(hr));
    if (text.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        text = std::string("failure ") + code;
    }
    return text;
}

// "SCRIPT:LINE: " of the innermost Lua function on the stack.
std::string script_position(lua_State* L) {
    lua_Debug ar;
    for (int level = 1; lua_getstack(L, level, &ar); ++level) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) return std::string(ar.short_src) + ":" + std::to_string(ar.currentline) + ": ";
    }
    return "";
}

int message_handler(lua_State* L) {
    if (lua_istable(L, 1)) {
        std::string where = script_position(L);
        const char* text = luaL_tolstring(L, 1, nullptr);
        lua_pushfstring(L, "%s%s", where.c_str(), text);
        return 1;
    }
    luaL_tolstring(L, 1, nullptr);
    return 1;
}

// Runs the script; true when it ran to its end.
bool run_script(const options& o) {
    lua_State* L = luaL_newstate();
    if (!L) {
        std::cerr << "q2mrhost: no memory for the script engine\n";
        return false;
    }
    luaL_openlibs(L);
    q2mrhost::open_bridge(L);
    lua_createtable(L, static_cast<int>(o.args.size()), 1);
    lua_pushstring(L, o.script.c_str());
    lua_rawseti(L, -2, 0);
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        lua_pushstring(L, o.args[i].c_str());
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(L, "arg");
    bool ok = true;
    lua_pushcfunction(L, message_handler);
    if (luaL_loadfile(L, o.script.c_str()) != LUA_OK || lua_pcall(L, 0, 0, -2) != LUA_OK) {
        std::cerr << lua_tostring(L, -1) << "\n";
        ok = false;
    }
    std::fflush(stdout);
    lua_close(L);  // releases every object the script still held
    return ok;
}

LONG live_objects(mremu::IEmulator* emulator, const char16_t* class_name) {
    oa::unique_bstr name = oa::make_bstr(class_name);
    LONG count = 0;
    if (FAILED(emulator->LiveObjects(name.get(), &count))) return -1;
    return count;
}

int run(const options& o) {
    if (access(o.script.c_str(), R_OK) != 0) {
        std::cerr << "q2mrhost: cannot read the script " << o.script << "\n";
        return exit_usage;
    }
    CLSID emulator_class{};
    oa::com_ptr<mremu::IEmulator> emulator;
    HRESULT hr = CLSIDFromProgID(u"mrlib.Emulator", &emulator_class);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(emulator_class, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                              emulator.put_void());
    if (FAILED(hr)) {
        std::cerr << "q2mrhost: cannot load the emulated change server (registry " << OaGetRegistryPath()
                  << "): " << describe(hr) << "\n";
        return exit_usage;
    }
    if (o.server) {
        auto path = oa::make_bstr(oa::utf8_to_utf16(*o.server).value_or(u""));
        if (HRESULT f = emulator->LoadFixture(path.get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            return exit_usage;
        }
    }
    if (o.journal) {
        auto path = oa::make_bstr(oa::utf8_to_utf16(*o.journal).value_or(u""));
        if (HRESULT f = emulator->StartJournal(path.get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            return exit_usage;
        }
    }

    const bool ran = run_script(o);
    emulator->StopJournal();
    int status = ran ? 0 : exit_script_failed;
    if (o.state_out) {
        auto path = oa::make_bstr(oa::utf8_to_utf16(*o.state_out).value_or(u""));
        if (HRESULT f = emulator->SaveState(path.get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            if (status == 0) status = exit_script_failed;
        }
    }

    CoFreeUnusedLibraries();
    const LONG alive = live_objects(emulator.get(), u"");
    const bool component_unloadable = OaClassLibraryCanUnloadNow(quellar2mrapi::CLSID_t2mrapp) != S_FALSE;
    if (alive != 0 || !component_unloadable) {
        std::cerr << "q2mrhost: objects are still alive after the script:";
        for (const char16_t* c : {u"api", u"User", u"ObjectList", u"ObjectData", u"Attribute"})
            if (LONG n = live_objects(emulator.get(), c); n > 0) std::cerr << " " << n << " " << oa::utf16_to_utf8(c);
        if (alive < 0) std::cerr << " (the emulator did not answer)";
        if (!component_unloadable) std::cerr << " component objects (the component cannot unload)";
        std::cerr << "\n";
        return exit_left_alive;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<options> o = parse(argc, argv);
    if (!o) {
        std::cerr << usage_text;
        return exit_usage;
    }
    choose_registry();
    forms::use_backend(forms::Backend::Terminal);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = run(*o);
    CoUninitialize();
    return status;
}
