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

#include <malloc.h>
#include <sys/resource.h>

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

// Page faults so far: the staging's figure says how much fresh memory a run touched.
long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// How the heap stands when a staging starts. glibc's malloc gives freed memory back to the
// system by thresholds that any large block freed earlier raises for the rest of the
// process: without pinning them a staging touched fresh pages or reused old ones
// depending on which benchmarks ran before it (a filtered run or the whole suite).
enum class heap {
    kept,        // freed memory stays with the process: a staging reuses the pages of the one before
    given_back,  // glibc's defaults and every free page returned: a staging faults in all it touches
};
void set_heap(heap h) {
    const bool kept = h == heap::kept;
    mallopt(M_MMAP_THRESHOLD, kept ? 32 * 1024 * 1024 : 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, kept ? 1024 * 1024 * 1024 : 128 * 1024);
    mallopt(M_MXFAST, 0);
    if (!kept) malloc_trim(0);
}

template <bool Stage, heap Heap> void BM_host_staging(benchmark::State& state) {
    lua_script script;
    script.prepare(staging_script);
    auto phase = [&](const char* name) { script.call(name); };
    set_heap(Heap);
    if (Heap == heap::kept) {  // the process grows to a staging's size before the timing
        phase("fresh");
        phase("stage");
    }
    long faults = 0;
    for (auto _ : state) {
        state.PauseTiming();
        phase("fresh");
        set_heap(Heap);
        if (Stage) state.ResumeTiming();
        long before = minor_faults();
        phase("stage");
        if (Stage) faults += minor_faults() - before;
        if (Stage) state.PauseTiming();
        else state.ResumeTiming();
        before = minor_faults();
        phase("commit");
        if (!Stage) faults += minor_faults() - before;
        if (Stage) state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["faults"] = static_cast<double>(faults) / static_cast<double>(state.iterations());
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
    set_heap(heap::kept);
    const long before = minor_faults();
    for (auto _ : state) script.call("reference");
    state.counters["rows"] = rows;
    state.counters["faults"] = static_cast<double>(minor_faults() - before) / static_cast<double>(state.iterations());
}

BENCHMARK_TEMPLATE(BM_host_staging, true, heap::kept)
    ->Name("BM_host_stage_rows")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_TEMPLATE(BM_host_staging, false, heap::kept)
    ->Name("BM_host_commit_rows")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_host_stage_reference)->Unit(benchmark::kMillisecond)->Iterations(10);
// The same staging on memory fresh from the system, as a host's first batch meets it.
BENCHMARK_TEMPLATE(BM_host_staging, true, heap::given_back)
    ->Name("BM_host_stage_rows_fresh_memory")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
