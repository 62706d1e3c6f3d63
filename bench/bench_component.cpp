// The component's own cost beside the limit of the machine: each figure has its
// reference in the same run (memcpy of the same bytes, the early-bound call, the
// library's own call), and the table at the end prints the ratios of the medians of
// repetitions beside their targets. Late-bound calls go through the runtime's one client.
#include <component/t2mrapp.h>
#include <crdata/byte_buffers.h>
#include <emulator/emulator.h>
#include <mrlib/client.h>
#include <value/t2DataClass.h>

#include <oa/late_bound.h>
#include <oa/text.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using quellar2mrapi::t2DataClass;
using quellar2mrapi::t2mrapp;

constexpr std::size_t MiB = 1 << 20;

// A text of `bytes` bytes of UTF-16; `share` of its characters are &, < or >.
std::u16string make_text(std::size_t bytes, double share) {
    std::u16string text(bytes / 2, u'a');
    std::mt19937 random(42);
    std::uniform_real_distribution<double> pick(0.0, 1.0);
    const char16_t specials[] = {u'&', u'<', u'>'};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (share >= 1.0 || pick(random) < share) text[i] = specials[i % 3];
        else text[i] = static_cast<char16_t>(u'a' + i % 26);
    }
    return text;
}

// ---- the emulated server, connected and logged in -----------------------------------

struct server {
    oa::com_ptr<mremu::IEmulator> emulator;
    oa::com_ptr<t2mrapp> session;

    server() {
        OaSetRegistryPath(Q2MR_BENCH_REGISTRY);
        if (FAILED(CoCreateInstance(mremu::CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                                    emulator.put_void())))
            throw std::runtime_error("the emulated server is not registered");
        reset();
    }
    void reset() {
        auto fixture = oa::make_bstr(u"" Q2MR_BENCH_FIXTURE);
        emulator->LoadFixture(fixture.get());
        session = oa::make_self<t2mrapp>();
        oa::unique_bstr host = oa::make_bstr(u"localhost"), protocol = oa::make_bstr(u"tcp"), result;
        SHORT port = 8400;
        session->Connect(host.addressof(), protocol.addressof(), &port, result.put());
        oa::unique_bstr name = oa::make_bstr(u"jane"), password = oa::make_bstr(u"s3cret"),
                        role = oa::make_bstr(u"developer"), db = oa::make_bstr(u"/db/alpha"), app = oa::make_bstr(u"");
        session->Login(name.addressof(), password.addressof(), role.addressof(), db.addressof(), app.addressof(),
                       result.put());
        if (!oa::view(result.get()).empty()) throw std::runtime_error("login failed");
    }
    static server& get() {
        static server instance;
        return instance;
    }
};

// By name as every late-bound caller of the project finds it: through the one client.
DISPID id_of(IDispatch* object, std::u16string_view name) {
    DISPID id = DISPID_UNKNOWN;
    oa::late::find_id(object, name, id);
    return id;
}

// ---- 1. dispatch ---------------------------------------------------------------------

void BM_value_put_early(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    SHORT value = 0;
    for (auto _ : state) {
        ++value;
        benchmark::DoNotOptimize(record->put_IntegerValue(&value));
    }
}
void BM_value_get_early(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    SHORT value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(record->get_IntegerValue(&value));
        benchmark::DoNotOptimize(value);
    }
}

void invoke_put(IDispatch* d, DISPID id, VARIANT& arg) {
    oa::late::invoke(d, id, DISPATCH_PROPERTYPUT, &arg, 1, nullptr, nullptr, nullptr);
}
void invoke_get(IDispatch* d, DISPID id, VARIANT& result) {
    oa::late::invoke(d, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0, &result, nullptr, nullptr);
}

void BM_value_put_late_id(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    const DISPID id = id_of(record.get(), u"IntegerValue");
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = 0;
    for (auto _ : state) {
        arg.lVal = (arg.lVal + 1) & 0x3FFF;
        invoke_put(record.get(), id, arg);
    }
}
void BM_value_get_late_id(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    const DISPID id = id_of(record.get(), u"IntegerValue");
    for (auto _ : state) {
        VARIANT result;
        result.vt = VT_EMPTY;
        invoke_get(record.get(), id, result);
        benchmark::DoNotOptimize(result.iVal);
    }
}
void BM_value_put_late_name(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = 0;
    for (auto _ : state) {
        arg.lVal = (arg.lVal + 1) & 0x3FFF;
        invoke_put(record.get(), id_of(record.get(), u"IntegerValue"), arg);
    }
}
void BM_value_get_late_name(benchmark::State& state) {
    auto record = oa::make_self<t2DataClass>();
    for (auto _ : state) {
        VARIANT result;
        result.vt = VT_EMPTY;
        invoke_get(record.get(), id_of(record.get(), u"IntegerValue"), result);
        benchmark::DoNotOptimize(result.iVal);
    }
}

void BM_encode_short_early(benchmark::State& state) {
    auto session = oa::make_self<t2mrapp>();
    oa::unique_bstr text = oa::make_bstr(u"Crash <on> save & exit");
    for (auto _ : state) {
        oa::unique_bstr out;
        session->encodeXML(text.addressof(), out.put());
        benchmark::DoNotOptimize(out.get());
    }
}
template <bool ByName> void BM_encode_short_late(benchmark::State& state) {
    auto session = oa::make_self<t2mrapp>();
    const DISPID cached = id_of(session.get(), u"encodeXML");
    oa::unique_variant arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = oa::make_bstr(u"Crash <on> save & exit").release();
    for (auto _ : state) {
        oa::unique_variant result;
        const DISPID id = ByName ? id_of(session.get(), u"encodeXML") : cached;
        oa::late::invoke(session.get(), id, DISPATCH_METHOD, &arg, 1, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.bstrVal);
    }
}

// The session's api and user, as it hands them out.
oa::com_ptr<IDispatch> session_api() {
    oa::com_ptr<IDispatch> api;
    server::get().session->get_api(api.put());
    return api;
}
oa::com_ptr<IDispatch> session_user() {
    oa::com_ptr<IDispatch> user;
    server::get().session->get_User(user.put());
    return user;
}

// The emulated library's own call, early-bound on its vtable.
void BM_hostname_direct(benchmark::State& state) {
    oa::com_ptr<MRLIBLib::Iapi> api;
    session_api()->QueryInterface(iid_of<MRLIBLib::Iapi>(), api.put_void());
    const oa::com_ptr<IDispatch> user = session_user();
    for (auto _ : state) {
        oa::unique_bstr name;
        api->GetHostname(user.get(), name.put());
        benchmark::DoNotOptimize(name.get());
    }
}
void BM_hostname_early(benchmark::State& state) {
    auto& s = server::get();
    for (auto _ : state) {
        oa::unique_bstr name;
        s.session->VANT_GetHostname(name.put());
        benchmark::DoNotOptimize(name.get());
    }
}
template <bool ByName> void BM_hostname_late(benchmark::State& state) {
    auto& s = server::get();
    const DISPID cached = id_of(s.session.get(), u"VANT_GetHostname");
    for (auto _ : state) {
        oa::unique_variant result;
        const DISPID id = ByName ? id_of(s.session.get(), u"VANT_GetHostname") : cached;
        oa::late::invoke(s.session.get(), id, DISPATCH_METHOD, nullptr, 0, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.bstrVal);
    }
}

// The same call by name, as the component makes it: through the client, on a remote that
// holds the session's api and keeps its names.
void BM_hostname_by_name(benchmark::State& state) {
    mrlib::remote api(session_api());
    const oa::com_ptr<IDispatch> user = session_user();
    for (auto _ : state) {
        oa::unique_bstr name = api.call(mrlib::op::GetHostname, {mrlib::arg::object(user.get())}).text();
        benchmark::DoNotOptimize(name.get());
    }
}

// A staging row's fill, on one row made from mrlib.User: by name with the names kept
// across calls (as the session keeps them for its rows), and early-bound on the vtable.
struct user_row {
    oa::com_ptr<IDispatch> row = oa::late::create_object(mrlib::user_progid);
    oa::unique_bstr user = oa::make_bstr(u"user17"), password = oa::make_bstr(u"pw"),
                    role = oa::make_bstr(u"developer"), database = oa::make_bstr(u"/db/alpha");
};
void BM_userinfo_by_name(benchmark::State& state) {
    user_row r;
    mrlib::names names;
    for (auto _ : state)
        mrlib::call(r.row.get(), names, mrlib::op::SetUserInfo,
                    {mrlib::arg::text(r.user.get()), mrlib::arg::text(r.password.get()), mrlib::arg::text(r.role.get()),
                     mrlib::arg::text(r.database.get())});
}
void BM_userinfo_direct(benchmark::State& state) {
    user_row r;
    oa::com_ptr<MRLIBLib::IUser> row;
    r.row->QueryInterface(iid_of<MRLIBLib::IUser>(), row.put_void());
    for (auto _ : state)
        benchmark::DoNotOptimize(row->SetUserInfo(r.user.get(), r.password.get(), r.role.get(), r.database.get()));
}

// ---- 2. encodeXML on large texts, 3. the buffer conversions --------------------------

void BM_memcpy(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    std::vector<char> from(bytes, 'a'), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The same copy into fresh memory, as every conversion must make: the component hands out
// a new string or buffer each time.
void BM_memcpy_fresh(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    std::vector<char> from(bytes, 'a');
    for (auto _ : state) {
        std::unique_ptr<char[]> to(new char[bytes]);
        std::memcpy(to.get(), from.data(), bytes);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void encode(benchmark::State& state, double share) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    auto session = oa::make_self<t2mrapp>();
    oa::unique_bstr text = oa::make_bstr(make_text(bytes, share));
    for (auto _ : state) {
        oa::unique_bstr out;
        session->encodeXML(text.addressof(), out.put());
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
void BM_encode_none(benchmark::State& state) { encode(state, 0.0); }
void BM_encode_tenth(benchmark::State& state) { encode(state, 0.1); }
void BM_encode_all(benchmark::State& state) { encode(state, 1.0); }

void BM_text_to_buffer(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    const std::u16string text = make_text(bytes, 0.1);
    for (auto _ : state) {
        auto buffer = quellar2mrapi::crdata::text_to_byte_buffer(text);
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
void BM_buffer_to_text(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    auto buffer = quellar2mrapi::crdata::text_to_byte_buffer(make_text(bytes, 0.1));
    for (auto _ : state) {
        auto text = quellar2mrapi::crdata::byte_buffer_text(buffer.get());
        benchmark::DoNotOptimize(text.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
// The same conversions inside the methods, with the emulated library's own copy of the data.
void BM_setDynamicAttrs(benchmark::State& state) {
    auto& s = server::get();
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    oa::unique_bstr id = oa::make_bstr(u"4713"), values = oa::make_bstr(make_text(bytes, 0.1));
    for (auto _ : state) {
        oa::unique_variant answer;
        s.session->setDynamicAttrs(id.addressof(), values.addressof(), &answer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
void BM_GetDynamicAttrs(benchmark::State& state) {
    auto& s = server::get();
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    oa::unique_bstr id = oa::make_bstr(u"4713"), values = oa::make_bstr(make_text(bytes, 0.1));
    oa::unique_variant answer;
    s.session->setDynamicAttrs(id.addressof(), values.addressof(), &answer);
    for (auto _ : state) {
        oa::unique_bstr text;
        s.session->GetDynamicAttrs(id.addressof(), text.put());
        benchmark::DoNotOptimize(text.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// ---- 4. staging and committing -------------------------------------------------------

void BM_stage_and_commit(benchmark::State& state) {
    auto& s = server::get();
    const SHORT rows = static_cast<SHORT>(state.range(0));
    std::vector<oa::unique_bstr> names;
    for (SHORT i = 0; i < rows; ++i) names.push_back(oa::make_bstr(u"user" + oa::ascii_to_utf16(std::to_string(i))));
    oa::unique_bstr password = oa::make_bstr(u"pw"), role = oa::make_bstr(u"developer"),
                    db = oa::make_bstr(u"/db/alpha");
    for (auto _ : state) {
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
        for (SHORT i = 0; i < rows; ++i) {
            oa::unique_bstr result;
            SHORT index = i;
            s.session->AddUserToArray(&index, names[static_cast<std::size_t>(i)].addressof(), password.addressof(),
                                      role.addressof(), db.addressof(), result.put());
        }
        SHORT count = rows;
        oa::unique_bstr message;
        s.session->CreateUsers(&count, message.put());
        benchmark::DoNotOptimize(message.get());
    }
    state.counters["rows"] = rows;
}

void BM_session_create_release(benchmark::State& state) {
    for (auto _ : state) {
        auto session = oa::make_self<t2mrapp>();
        benchmark::DoNotOptimize(session.get());
    }
}

BENCHMARK(BM_value_put_early);
BENCHMARK(BM_value_put_late_id);
BENCHMARK(BM_value_put_late_name);
BENCHMARK(BM_value_get_early);
BENCHMARK(BM_value_get_late_id);
BENCHMARK(BM_value_get_late_name);
BENCHMARK(BM_encode_short_early);
BENCHMARK_TEMPLATE(BM_encode_short_late, false)->Name("BM_encode_short_late_id");
BENCHMARK_TEMPLATE(BM_encode_short_late, true)->Name("BM_encode_short_late_name");
BENCHMARK(BM_hostname_direct);
BENCHMARK(BM_hostname_early);
BENCHMARK_TEMPLATE(BM_hostname_late, false)->Name("BM_hostname_late_id");
BENCHMARK_TEMPLATE(BM_hostname_late, true)->Name("BM_hostname_late_name");
BENCHMARK(BM_hostname_by_name);
BENCHMARK(BM_userinfo_direct);
BENCHMARK(BM_userinfo_by_name);
BENCHMARK(BM_memcpy)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_memcpy_fresh)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_encode_none)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_encode_tenth)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_encode_all)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_text_to_buffer)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_buffer_to_text)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_setDynamicAttrs)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_GetDynamicAttrs)->Arg(MiB)->Arg(64 * MiB);
BENCHMARK(BM_stage_and_commit)->Arg(500)->Arg(5000)->Arg(32600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_session_create_release);

// Collects every figure while the console reporter prints them, for the ratio table: the
// median over the repetitions, or the one run when there are none.
class collecting_reporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;  // real time per iteration
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const double t = r.GetAdjustedRealTime() * (r.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") medians_[r.run_name.str()] = t;
            else if (r.run_type == Run::RT_Iteration) ns[r.run_name.str()] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        for (const auto& [name, t] : medians_) ns[name] = t;
        ConsoleReporter::Finalize();
    }

private:
    std::map<std::string, double> medians_;
};

void ratio_row(const collecting_reporter& r, const char* what, const std::string& measured,
               const std::string& reference, double target, double per_measured = 1, double per_reference = 1) {
    auto m = r.ns.find(measured), ref = r.ns.find(reference);
    if (m == r.ns.end() || ref == r.ns.end()) {
        std::printf("| %-68s | %8s | %6s | %-4s |\n", what, "n/a", "", "");
        return;
    }
    const double ratio = (m->second / per_measured) / (ref->second / per_reference);
    std::printf("| %-68s | %8.2f | %6.1f | %-4s |\n", what, ratio, target, ratio <= target ? "met" : "MISS");
}
// A ratio shown for what it explains, with no target of its own.
void ratio_row(const collecting_reporter& r, const char* what, const std::string& measured,
               const std::string& reference) {
    auto m = r.ns.find(measured), ref = r.ns.find(reference);
    if (m == r.ns.end() || ref == r.ns.end()) return;
    std::printf("| %-68s | %8.2f | %6s | %-4s |\n", what, m->second / ref->second, "", "");
}

}  // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    OaSetRegistryPath(Q2MR_BENCH_REGISTRY);  // scripts create their objects through it
    benchmark::Initialize(&argc, argv);
    collecting_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::string m64 = std::to_string(64 * MiB), m1 = std::to_string(MiB);
    std::printf("\n| %-68s | %8s | %6s | %-4s |\n", "ratio of medians (same run)", "measured", "target", "");
    std::printf("|%s|%s|%s|%s|\n", std::string(70, '-').c_str(), std::string(10, '-').c_str(),
                std::string(8, '-').c_str(), std::string(6, '-').c_str());
    ratio_row(reporter, "encodeXML 64 MiB, none of & < > / memcpy to new memory", "BM_encode_none/" + m64, "BM_memcpy_fresh/" + m64, 4);
    ratio_row(reporter, "encodeXML 64 MiB, 10 % & < > / memcpy to new memory", "BM_encode_tenth/" + m64, "BM_memcpy_fresh/" + m64, 10);
    ratio_row(reporter, "StringToByteArray 64 MiB / memcpy to new memory", "BM_text_to_buffer/" + m64, "BM_memcpy_fresh/" + m64, 2);
    ratio_row(reporter, "buffer decoding 64 MiB / memcpy to new memory", "BM_buffer_to_text/" + m64, "BM_memcpy_fresh/" + m64, 2);
    ratio_row(reporter, "StringToByteArray 1 MiB / memcpy to new memory", "BM_text_to_buffer/" + m1, "BM_memcpy_fresh/" + m1, 2);
    ratio_row(reporter, "buffer decoding 1 MiB / memcpy to new memory", "BM_buffer_to_text/" + m1, "BM_memcpy_fresh/" + m1, 2);
    ratio_row(reporter, "encodeXML 64 MiB, none of & < > / memcpy in place", "BM_encode_none/" + m64,
              "BM_memcpy/" + m64, 4);
    ratio_row(reporter, "StringToByteArray 64 MiB / memcpy in place", "BM_text_to_buffer/" + m64, "BM_memcpy/" + m64,
              2);
    ratio_row(reporter, "t2DataClass put, late by cached id / early", "BM_value_put_late_id", "BM_value_put_early", 3);
    ratio_row(reporter, "t2DataClass get, late by cached id / early", "BM_value_get_late_id", "BM_value_get_early", 3);
    ratio_row(reporter, "t2DataClass put, late by name / early", "BM_value_put_late_name", "BM_value_put_early", 6);
    ratio_row(reporter, "t2DataClass get, late by name / early", "BM_value_get_late_name", "BM_value_get_early", 6);
    ratio_row(reporter, "VANT_GetHostname through the component / the library's GetHostname", "BM_hostname_early",
              "BM_hostname_direct", 1.5);
    // The component's own part: it makes the call by name, as the row below.
    ratio_row(reporter, "VANT_GetHostname through the component / GetHostname by name", "BM_hostname_early",
              "BM_hostname_by_name");
    ratio_row(reporter, "GetHostname by name through the client / early-bound on the vtable", "BM_hostname_by_name",
              "BM_hostname_direct", 2.5);
    ratio_row(reporter, "SetUserInfo by name through the client / early-bound on the vtable", "BM_userinfo_by_name",
              "BM_userinfo_direct", 2.5);
    ratio_row(reporter, "staging + committing, time per row at 32,600 rows / at 5,000 rows",
              "BM_stage_and_commit/32600", "BM_stage_and_commit/5000", 1.3, 32600, 5000);
    ratio_row(reporter, "Lua: t2DataClass put / the same conversions in C", "BM_host_put", "BM_host_put_reference", 3);
    ratio_row(reporter, "Lua: t2DataClass get / the same conversions in C", "BM_host_get", "BM_host_get_reference", 3);
    ratio_row(reporter, "Lua: encodeXML, short text / the same conversions in C", "BM_host_encode",
              "BM_host_encode_reference", 3);
    ratio_row(reporter, "Lua: AddUserToArray per row / CreateUsers per row", "BM_host_stage_rows/iterations:10",
              "BM_host_commit_rows/iterations:10", 2);
    // The staging's floor through a script: its argument conversions alone.
    ratio_row(reporter, "Lua: AddUserToArray per row / its argument conversions alone",
              "BM_host_stage_rows/iterations:10", "BM_host_stage_reference/iterations:10", 4);
    ratio_row(reporter, "Lua: those conversions alone per row / CreateUsers per row",
              "BM_host_stage_reference/iterations:10", "BM_host_commit_rows/iterations:10");
    // What the first touch of its memory adds (page faults): the staging's own cost apart.
    ratio_row(reporter, "Lua: AddUserToArray per row, memory fresh from the system / reused",
              "BM_host_stage_rows_fresh_memory/iterations:10", "BM_host_stage_rows/iterations:10");
    benchmark::Shutdown();
    CoUninitialize();
    return 0;
}
