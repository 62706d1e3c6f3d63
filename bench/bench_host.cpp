// The component as a Lua script sees it: the Lua state embedded as the host embeds it, and
// each figure beside a Lua C function that converts the same arguments and results without
// the component.
#include <host/bridge.h>
#include <host/values.h>

#include <oa/text.h>

#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <stdexcept>
#include <string>

namespace {

// The reference functions: what the host must do at least for each call.
int reference_put(lua_State* L) {  // (object, value): the value as the Variant a put takes
    if (!q2mrhost::object_at(L, 1)) return luaL_error(L, "no object");
    oa::unique_variant value;
    q2mrhost::to_variant(L, 2, value);
    benchmark::DoNotOptimize(value.bstrVal);
    return 0;
}
int reference_get(lua_State* L) {  // (object): a fresh copy of the text held, as a Lua string
    if (!q2mrhost::object_at(L, 1)) return luaL_error(L, "no object");
    oa::unique_variant result;
    result.vt = VT_BSTR;
    result.bstrVal = oa::make_bstr(u"abc").release();
    q2mrhost::push_variant(L, result);
    return 1;
}
int reference_call(lua_State* L) {  // (object, text): the argument in, a new text of the result's length out
    if (!q2mrhost::object_at(L, 1)) return luaL_error(L, "no object");
    oa::unique_variant argument, result;
    q2mrhost::to_variant(L, 2, argument);
    result.vt = VT_BSTR;
    result.bstrVal = oa::make_bstr(u"a&lt;b &amp; c").release();
    q2mrhost::push_variant(L, result);
    return 1;
}

int reference_stage(lua_State* L) {  // (object, index, four texts): the five arguments in, the empty text out
    if (!q2mrhost::object_at(L, 1)) return luaL_error(L, "no object");
    oa::unique_variant arguments[5], result;
    for (int i = 0; i < 5; ++i) q2mrhost::to_variant(L, i + 2, arguments[i]);
    result.vt = VT_BSTR;
    q2mrhost::push_variant(L, result);
    return 1;
}

class lua_script {
public:
    lua_script() : L_(luaL_newstate()) {
        luaL_openlibs(L_);
        q2mrhost::open_bridge(L_);
        lua_register(L_, "reference_put", reference_put);
        lua_register(L_, "reference_get", reference_get);
        lua_register(L_, "reference_call", reference_call);
        lua_register(L_, "reference_stage", reference_stage);
    }
    ~lua_script() { lua_close(L_); }
    lua_script(const lua_script&) = delete;
    lua_script& operator=(const lua_script&) = delete;

    // Runs a chunk that returns a function; keeps that function for call().
    void prepare(const char* chunk) {
        if (luaL_dostring(L_, chunk) != LUA_OK) throw std::runtime_error(luaL_tolstring(L_, -1, nullptr));
        function_ = luaL_ref(L_, LUA_REGISTRYINDEX);
    }
    // Calls the function, with one text argument when given.
    void call(const char* argument = nullptr) {
        lua_rawgeti(L_, LUA_REGISTRYINDEX, function_);
        if (argument) lua_pushstring(L_, argument);
        if (lua_pcall(L_, argument ? 1 : 0, 0, 0) != LUA_OK) throw std::runtime_error(luaL_tolstring(L_, -1, nullptr));
    }

private:
    lua_State* L_;
    int function_ = LUA_NOREF;
};

void run_each(benchmark::State& state, const char* chunk) {
    lua_script script;
    script.prepare(chunk);
    for (auto _ : state) script.call();
}

#define VALUE "local o = CreateObject('quellar2mrapi.t2DataClass'); o.StringValue = 'abc'; "
#define SESSION "local s = CreateObject('quellar2mrapi.t2mrapp'); "

void BM_host_put(benchmark::State& state) { run_each(state, VALUE "return function() o.StringValue = 'abc' end"); }
void BM_host_put_reference(benchmark::State& state) {
    run_each(state, VALUE "return function() reference_put(o, 'abc') end");
}
void BM_host_get(benchmark::State& state) { run_each(state, VALUE "return function() return o.StringValue end"); }
void BM_host_get_reference(benchmark::State& state) {
    run_each(state, VALUE "return function() return reference_get(o) end");
}
void BM_host_encode(benchmark::State& state) {
    run_each(state, SESSION "return function() return s:encodeXML('a<b & c') end");
}
void BM_host_encode_reference(benchmark::State& state) {
    run_each(state, SESSION "return function() return reference_call(s, 'a<b & c') end");
}

// Staging 32,600 rows through the host, then the commit that sends them: each timed alone,
// per row, in one run.
constexpr int rows = 32600;
constexpr const char* staging_script = R"(
local emulator = CreateObject('mrlib.Emulator')
local names = {}
for i = 0, 32599 do names[i] = 'user' .. i end
local s
return function(phase)
  if phase == 'fresh' then
    -- The last run's session and its rows go now, untimed, not in a collection mid-stage.
    s = nil
    collectgarbage()
    emulator:LoadFixture(')" Q2MR_BENCH_FIXTURE R"(')
    s = CreateObject('quellar2mrapi.t2mrapp')
    assert(s:Connect('localhost', 'tcp', 8400) == '')
    assert(s:Login('jane', 's3cret', 'developer', '/db/alpha', '') == '')
  elseif phase == 'stage' then
    for i = 0, 32599 do s:AddUserToArray(i, names[i], 'pw', 'developer', '/db/alpha') end
  elseif phase == 'reference' then
    for i = 0, 32599 do reference_stage(s, i, names[i], 'pw', 'developer', '/db/alpha') end
  else
    assert(s:CreateUsers(32600) ~= '')
  end
end
)";

template <bool Stage> void BM_host_staging(benchmark::State& state) {
    lua_script script;
    script.prepare(staging_script);
    auto phase = [&](const char* name) { script.call(name); };
    for (auto _ : state) {
        state.PauseTiming();
        phase("fresh");
        if (Stage) state.ResumeTiming();
        phase("stage");
        if (Stage) state.PauseTiming();
        else state.ResumeTiming();
        phase("commit");
        if (Stage) state.ResumeTiming();
    }
    state.counters["rows"] = rows;
}

}  // namespace

BENCHMARK(BM_host_put);
BENCHMARK(BM_host_put_reference);
BENCHMARK(BM_host_get);
BENCHMARK(BM_host_get_reference);
BENCHMARK(BM_host_encode);
BENCHMARK(BM_host_encode_reference);
// The same loop with the host's part alone: the staging's floor through a script.
void BM_host_stage_reference(benchmark::State& state) {
    lua_script script;
    script.prepare(staging_script);
    script.call("fresh");
    for (auto _ : state) script.call("reference");
    state.counters["rows"] = rows;
}

BENCHMARK_TEMPLATE(BM_host_staging, true)->Name("BM_host_stage_rows")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_TEMPLATE(BM_host_staging, false)->Name("BM_host_commit_rows")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_host_stage_reference)->Unit(benchmark::kMillisecond)->Iterations(10);
