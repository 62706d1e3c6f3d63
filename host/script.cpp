#include <host/bridge.h>
#include <host/script.h>

#include <lua.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

namespace q2mrhost {

namespace {

// The error value that os.exit raises to unwind the script back to the host.
char exit_sentinel;

struct run_state {
    bool exit_requested = false;
    int exit_code = 0;
};
char run_state_key;
char threads_key;  // a weak table of every coroutine made

run_state& state_of(lua_State* L) {
    lua_rawgetp(L, LUA_REGISTRYINDEX, &run_state_key);
    auto* st = static_cast<run_state*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    return *st;
}

// Once os.exit was called, every Lua instruction in any thread raises the sentinel again,
// so that neither pcall nor a coroutine keeps the script running.
void exit_hook(lua_State* L, lua_Debug*) {
    lua_pushlightuserdata(L, &exit_sentinel);
    lua_error(L);
}

void stop_thread(lua_State* T) { lua_sethook(T, exit_hook, LUA_MASKCALL | LUA_MASKRET | LUA_MASKLINE | LUA_MASKCOUNT, 1); }

int host_exit(lua_State* L) {
    int code = 0;
    if (lua_isboolean(L, 1)) code = lua_toboolean(L, 1) ? 0 : 1;
    else if (!lua_isnoneornil(L, 1)) code = static_cast<int>(luaL_checkinteger(L, 1));
    run_state& st = state_of(L);
    st.exit_requested = true;
    st.exit_code = code;
    stop_thread(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_MAINTHREAD);
    stop_thread(lua_tothread(L, -1));
    lua_pop(L, 1);
    lua_rawgetp(L, LUA_REGISTRYINDEX, &threads_key);
    for (lua_pushnil(L); lua_next(L, -2); lua_pop(L, 1))
        if (lua_State* T = lua_tothread(L, -2)) stop_thread(T);
    lua_pop(L, 1);
    lua_pushlightuserdata(L, &exit_sentinel);
    return lua_error(L);
}

void remember_thread(lua_State* L, int idx) {
    if (!lua_isthread(L, idx)) return;
    idx = lua_absindex(L, idx);
    lua_rawgetp(L, LUA_REGISTRYINDEX, &threads_key);
    lua_pushvalue(L, idx);
    lua_pushboolean(L, 1);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

// coroutine.create and coroutine.wrap (the originals as upvalue 1), noting each coroutine.
int remembering_create(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    remember_thread(L, -1);
    return 1;
}
int remembering_wrap(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    if (lua_getupvalue(L, -1, 1)) {  // the wrapped coroutine
        remember_thread(L, -1);
        lua_pop(L, 1);
    }
    return 1;
}

// Only text chunks: a damaged precompiled chunk could crash the engine.
constexpr const char* text_only_prelude = R"(
local load, loadfile, error, format = load, loadfile, error, string.format
_G.load = function(chunk, name, mode, ...) return load(chunk, name, "t", ...) end
_G.loadfile = function(name, mode, ...) return loadfile(name, "t", ...) end
_G.dofile = function(name)
  local f, e = loadfile(name, "t")
  if not f then error(e, 0) end
  return f()
end
local searchpath = package.searchpath
package.searchers[2] = function(name)
  local path, e = searchpath(name, package.path)
  if not path then return e end
  local f, why = loadfile(path, "t")
  if not f then error(format("error loading module '%s' from file '%s':\n\t%s", name, path, why), 0) end
  return f, path
end
)";

int tostring_value(lua_State* L) {
    luaL_tolstring(L, 1, nullptr);
    return 1;
}

// Turns an error value into "SCRIPT:LINE: NUMBER: DESCRIPTION" for the host's failures (a
// table), and into its text otherwise. Never fails on a value whose __tostring does.
int message_handler(lua_State* L) {
    if (lua_touserdata(L, 1) == &exit_sentinel) return 1;
    lua_pushcfunction(L, tostring_value);
    lua_pushvalue(L, 1);
    if (lua_pcall(L, 1, 1, 0) != LUA_OK || !lua_isstring(L, -1)) {
        lua_pop(L, 1);
        lua_pushfstring(L, "(an error value of type %s that cannot be shown as text)", luaL_typename(L, 1));
    }
    if (!lua_istable(L, 1)) return 1;
    lua_Debug ar;
    for (int level = 1; lua_getstack(L, level, &ar); ++level) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) {
            lua_pushfstring(L, "%s:%d: ", ar.short_src, ar.currentline);
            lua_insert(L, -2);
            lua_concat(L, 2);
            break;
        }
    }
    return 1;
}

// Runs the chunk on top of the stack; false when it failed (reported) or os.exit ran.
bool run_chunk(lua_State* L, const run_state& st) {
    lua_pushcfunction(L, message_handler);
    lua_insert(L, -2);
    const int status = lua_pcall(L, 0, 0, -2);
    if (status != LUA_OK && !st.exit_requested) {
        const char* text = lua_tostring(L, -1);
        std::fflush(stdout);
        std::cerr << (text ? text : "(the script failed with an error value that cannot be shown)") << "\n";
    }
    lua_settop(L, 0);
    return status == LUA_OK;
}

bool load_text(lua_State* L, const std::string& text, const std::string& chunk_name) {
    std::string_view code = text;
    if (code.substr(0, 3) == "\xEF\xBB\xBF") code.remove_prefix(3);  // a byte-order mark
    std::string body;
    if (!code.empty() && code[0] == '#') {  // a first line "#!..." is skipped, its line end kept
        const auto eol = code.find('\n');
        body = eol == std::string_view::npos ? std::string() : std::string(code.substr(eol));
        code = body;
    }
    if (luaL_loadbufferx(L, code.data(), code.size(), chunk_name.c_str(), "t") == LUA_OK) return true;
    std::cerr << lua_tostring(L, -1) << "\n";
    lua_settop(L, 0);
    return false;
}

// The script's folder first on package.path (a folder with ';' or '?' cannot be named there).
void add_script_folder(lua_State* L, const std::string& script) {
    const auto slash = script.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : script.substr(0, slash);
    if (folder.find_first_of(";?") != std::string::npos) return;
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "path");
    const std::string prefix = folder + "/?.lua;" + folder + "/?/init.lua;";
    lua_pushfstring(L, "%s%s", prefix.c_str(), lua_tostring(L, -1));
    lua_setfield(L, -3, "path");
    lua_pop(L, 2);
}

void open_environment(lua_State* L, const options& o, run_state& st) {
    luaL_openlibs(L);
    open_bridge(L);
    lua_pushlightuserdata(L, &st);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &run_state_key);

    lua_newtable(L);  // weak-keyed: a noted coroutine still goes when the script drops it
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &threads_key);

    lua_getglobal(L, "os");
    lua_pushcfunction(L, host_exit);
    lua_setfield(L, -2, "exit");
    lua_pop(L, 1);
    lua_getglobal(L, "coroutine");
    const struct {
        const char* name;
        lua_CFunction f;
    } noting[] = {{"create", remembering_create}, {"wrap", remembering_wrap}};
    for (const auto& n : noting) {
        lua_getfield(L, -1, n.name);
        lua_pushcclosure(L, n.f, 1);
        lua_setfield(L, -2, n.name);
    }
    lua_pop(L, 1);
    // Members that reach into the engine's own slots: with them a script could replace
    // what the host and the libraries rely on (the registry, a C function's upvalues).
    lua_getglobal(L, "debug");
    for (const char* name : {"getregistry", "setupvalue", "setlocal", "setuservalue"}) {
        lua_pushnil(L);
        lua_setfield(L, -2, name);
    }
    lua_pop(L, 1);
    if (luaL_loadstring(L, text_only_prelude) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
        std::cerr << "q2mrhost: " << lua_tostring(L, -1) << "\n";
        lua_settop(L, 0);
    }

    lua_createtable(L, static_cast<int>(o.args.size()), 1);
    if (o.script) {
        lua_pushstring(L, o.script->c_str());
        lua_rawseti(L, -2, 0);
        add_script_folder(L, *o.script);
    }
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        lua_pushstring(L, o.args[i].c_str());
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(L, "arg");
}

struct lua_closer {
    void operator()(lua_State* L) const noexcept { lua_close(L); }
};

}  // namespace

script_result run_script(const options& o, const std::string& text) {
    run_state st;
    script_result result;
    {
        std::unique_ptr<lua_State, lua_closer> state(luaL_newstate());
        lua_State* L = state.get();
        if (!L) {
            std::cerr << "q2mrhost: no memory for the script engine\n";
            return result;
        }
        open_environment(L, o, st);
        bool ok = true;
        for (const std::string& chunk : o.chunks) {
            ok = load_text(L, chunk, "=(command line)") && run_chunk(L, st);
            if (!ok) break;
        }
        if (ok && o.script) ok = load_text(L, text, "@" + *o.script) && run_chunk(L, st);
        std::fflush(stdout);
        result.how = st.exit_requested ? script_result::end::exited
                     : ok             ? script_result::end::completed
                                      : script_result::end::failed;
        result.exit_code = st.exit_code;
        // Finalizers run at the close: on the main thread, without the exit hook.
        lua_sethook(L, nullptr, 0, 0);
    }  // lua_close releases every object the script still held
    std::fflush(stdout);
    return result;
}

}  // namespace q2mrhost
