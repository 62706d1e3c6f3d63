// Late-bound calls through the project's dispatcher beside the same calls through the
// standard runtime's type-library dispatch, in one process: on Windows CreateStdDispatch
// over the vtable half of the component's own type library (read from the DLL beside the
// program); on Linux there is no standard one, only the project's figures. Then the
// change-server library's calls by name through the client beside the same calls
// early-bound, against whichever build of the library is registered. The same source
// builds for both systems: --figures-out=FILE keeps a run's figures, --beside=FILE (once for
// each other run) shows them in the tables. Every figure is the median of the repetitions.
#include <component/t2mrapp.h>
#include <emulator/mrlib.h>
#include <mrlib/client.h>
#include <value/t2DataClass.h>

#include <oa/com_ptr.h>
#include <oa/late_bound.h>
#include <oa/module.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using quellar2mrapi::t2DataClass;
using quellar2mrapi::t2mrapp;

enum class dispatcher { project, standard };

constexpr DISPID integer_value_id = 0x68030002;
constexpr DISPID role_array_id = 0x6003000E;

#ifdef _WIN32
// "Wine 8.0" under Wine (its ntdll says so), else "Windows".
std::string this_system() {
    using version_function = const char*(__cdecl*)();
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
        if (auto version = reinterpret_cast<version_function>(
                reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "wine_get_version"))))
            return std::string("Wine ") + version();
    return "Windows";
}

std::wstring beside_program(const wchar_t* file) {
    const std::wstring path = oa::win::module_path(nullptr);
    return path.substr(0, path.find_last_of(L'\\') + 1) + file;
}

// The standard dispatch of one of the object's dual interfaces: the type library's
// dispatch half names the vtable half, whose functions it calls through `vtable`, the
// object's pointer of that interface.
oa::com_ptr<IDispatch> standard_dispatch(ITypeLib* library, const IID& iid, void* vtable) {
    oa::com_ptr<ITypeInfo> dispatch_half, vtable_half;
    HREFTYPE ref = 0;
    oa::com_ptr<IUnknown> unknown;
    oa::com_ptr<IDispatch> result;
    if (FAILED(library->GetTypeInfoOfGuid(iid, dispatch_half.put())) ||
        FAILED(dispatch_half->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED(dispatch_half->GetRefTypeInfo(ref, vtable_half.put())) ||
        FAILED(CreateStdDispatch(nullptr, vtable, vtable_half.get(), unknown.put())) ||
        FAILED(unknown->QueryInterface(IID_IDispatch, result.put_void())))
        throw std::runtime_error("CreateStdDispatch over the component's type library failed");
    return result;
}
#else
std::string this_system() { return "Linux"; }
#endif

// A session logged in to the emulated default server, its api and user as it hands them
// out, and a staging row made from mrlib.User; the early-bound interfaces of the first
// build where the library answers them (the second build's objects answer IDispatch only).
struct library_subjects {
    oa::com_ptr<t2mrapp> session = oa::make_self<t2mrapp>();
    oa::com_ptr<IDispatch> user, row = oa::late::create_object(mrlib::user_progid);
    mrlib::remote api;
    oa::com_ptr<MRLIBLib::Iapi> api_early;
    oa::com_ptr<MRLIBLib::IUser> row_early;

    library_subjects() {
        oa::unique_bstr host = oa::make_bstr(u"localhost"), protocol = oa::make_bstr(u"tcp"), result;
        SHORT port = 8400;
        session->Connect(host.addressof(), protocol.addressof(), &port, result.put());
        oa::unique_bstr name = oa::make_bstr(u"admin"), password = oa::make_bstr(u"admin"),
                        role = oa::make_bstr(u"developer"), db = oa::make_bstr(u"/db/main"), app = oa::make_bstr(u"");
        if (oa::view(result.get()).empty())
            session->Login(name.addressof(), password.addressof(), role.addressof(), db.addressof(), app.addressof(),
                           result.put());
        if (!oa::view(result.get()).empty())
            throw std::runtime_error("no login to the emulated default server: " +
                                     oa::utf16_to_utf8(oa::view(result.get())));
        oa::com_ptr<IDispatch> a;
        session->get_api(a.put());
        session->get_User(user.put());
        a->QueryInterface(iid_of<MRLIBLib::Iapi>(), api_early.put_void());
        row->QueryInterface(iid_of<MRLIBLib::IUser>(), row_early.put_void());
        api = mrlib::remote(std::move(a));
    }
    bool first_build() const { return api_early && row_early; }
};

// The objects and the dispatchers that serve them, made once.
struct subjects {
    oa::com_ptr<t2DataClass> record = oa::make_self<t2DataClass>();
    oa::com_ptr<t2mrapp> session = oa::make_self<t2mrapp>();
    oa::com_ptr<IDispatch> record_standard, session_standard;
    library_subjects library;

    subjects() {
#ifdef _WIN32
        oa::com_ptr<ITypeLib> typelib;
        if (FAILED(LoadTypeLibEx(beside_program(L"quellar2mrapi.dll").c_str(), REGKIND_NONE, typelib.put())))
            throw std::runtime_error("quellar2mrapi.dll is not beside the program");
        using quellar2mrapi::_t2DataClass, quellar2mrapi::_t2mrapp;
        record_standard = standard_dispatch(typelib.get(), iid_of<_t2DataClass>(),
                                            static_cast<_t2DataClass*>(record.get()));
        session_standard =
            standard_dispatch(typelib.get(), iid_of<_t2mrapp>(), static_cast<_t2mrapp*>(session.get()));
#endif
    }
    IDispatch* record_of(dispatcher d) const { return d == dispatcher::project ? record.get() : record_standard.get(); }
    IDispatch* session_of(dispatcher d) const {
        return d == dispatcher::project ? session.get() : session_standard.get();
    }

    static std::unique_ptr<subjects>& instance() {
        static std::unique_ptr<subjects> s;
        return s;
    }
};
subjects& the() { return *subjects::instance(); }

// A name in a buffer on the stack, as a script engine hands over the name it parsed to
// GetIDsOfNames, whose own cost BM_ids_* measure.
struct name_buffer {
    std::array<OLECHAR, 64> text{};
    explicit name_buffer(std::u16string_view name) {
        for (std::size_t i = 0; i < name.size() && i + 1 < text.size(); ++i) text[i] = static_cast<OLECHAR>(name[i]);
    }
    LPOLESTR get() { return text.data(); }
};

DISPID id_of(IDispatch* object, std::u16string_view name) {
    DISPID id = DISPID_UNKNOWN;
    oa::late::find_id(object, name, id);
    return id;
}

HRESULT put_integer(IDispatch* object, DISPID id, VARIANT& value) {
    return oa::late::invoke(object, id, DISPATCH_PROPERTYPUT, &value, 1, nullptr, nullptr, nullptr);
}
HRESULT get_value(IDispatch* object, DISPID id, VARIANT& result) {
    return oa::late::invoke(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0, &result, nullptr,
                            nullptr);
}

// AddUserToRoleArray(0, "jane", "developer,reviewer", "/db/alpha"): stages row 0 again on
// each call, so the session does not grow.
struct role_row {
    oa::unique_bstr user = oa::make_bstr(u"jane"), roles = oa::make_bstr(u"developer,reviewer"),
                    database = oa::make_bstr(u"/db/alpha");
    std::array<VARIANT, 4> args;  // last first; the texts stay owned above
    role_row() {
        args[0].vt = VT_BSTR;
        args[0].bstrVal = database.get();
        args[1].vt = VT_BSTR;
        args[1].bstrVal = roles.get();
        args[2].vt = VT_BSTR;
        args[2].bstrVal = user.get();
        args[3].vt = VT_I4;
        args[3].lVal = 0;
    }
    HRESULT call(IDispatch* object, DISPID id, VARIANT& result) {
        return oa::late::invoke(object, id, DISPATCH_METHOD, args.data(), static_cast<UINT>(args.size()), &result,
                                nullptr, nullptr);
    }
};

void put(benchmark::State& state, dispatcher d) {
    IDispatch* record = the().record_of(d);
    const DISPID id = id_of(record, u"IntegerValue");
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 0;
    for (auto _ : state) {
        value.lVal = (value.lVal + 1) & 0x3FFF;
        benchmark::DoNotOptimize(put_integer(record, id, value));
    }
}
void get(benchmark::State& state, dispatcher d) {
    IDispatch* record = the().record_of(d);
    const DISPID id = id_of(record, u"IntegerValue");
    for (auto _ : state) {
        VARIANT result;
        result.vt = VT_EMPTY;
        get_value(record, id, result);
        benchmark::DoNotOptimize(result.iVal);
    }
}
void call(benchmark::State& state, dispatcher d) {
    IDispatch* session = the().session_of(d);
    const DISPID id = id_of(session, u"AddUserToRoleArray");
    role_row row;
    for (auto _ : state) {
        oa::unique_variant result;
        row.call(session, id, result);
        benchmark::DoNotOptimize(result.bstrVal);
    }
}
void ids(benchmark::State& state, dispatcher d) {
    IDispatch* session = the().session_of(d);
    name_buffer n(u"AddUserToRoleArray");
    LPOLESTR names[] = {n.get()};
    for (auto _ : state) {
        DISPID id = DISPID_UNKNOWN;
        session->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        benchmark::DoNotOptimize(id);
    }
}

// The member alone, early-bound: the work that both dispatchers' calls include.
void BM_call_early(benchmark::State& state) {
    t2mrapp* session = the().session.get();
    role_row row;
    SHORT index = 0;
    for (auto _ : state) {
        oa::unique_bstr result;
        session->AddUserToRoleArray(&index, row.user.addressof(), row.roles.addressof(), row.database.addressof(),
                                    result.put());
        benchmark::DoNotOptimize(result.get());
    }
}

// The library's calls: by name through the client as the component makes them (the api's
// names kept on its remote, the rows' names kept across calls as the session keeps them),
// and early-bound on the first build's vtable.
oa::unique_bstr hostname_by_name(library_subjects& l) {
    return l.api.call(mrlib::op::GetHostname, {mrlib::arg::object(l.user.get())}).text();
}
struct user_info {
    oa::unique_bstr user = oa::make_bstr(u"user17"), password = oa::make_bstr(u"pw"),
                    role = oa::make_bstr(u"developer"), database = oa::make_bstr(u"/db/main");
    void by_name(library_subjects& l, mrlib::names& names) {
        mrlib::call(l.row.get(), names, mrlib::op::SetUserInfo,
                    {mrlib::arg::text(user.get()), mrlib::arg::text(password.get()), mrlib::arg::text(role.get()),
                     mrlib::arg::text(database.get())});
    }
};

void BM_hostname_by_name(benchmark::State& state) {
    library_subjects& l = the().library;
    for (auto _ : state) {
        oa::unique_bstr name = hostname_by_name(l);
        benchmark::DoNotOptimize(name.get());
    }
}
void BM_hostname_early(benchmark::State& state) {
    library_subjects& l = the().library;
    for (auto _ : state) {
        oa::unique_bstr name;
        l.api_early->GetHostname(l.user.get(), name.put());
        benchmark::DoNotOptimize(name.get());
    }
}
void BM_userinfo_by_name(benchmark::State& state) {
    library_subjects& l = the().library;
    user_info info;
    mrlib::names names;
    for (auto _ : state) info.by_name(l, names);
}
void BM_userinfo_early(benchmark::State& state) {
    library_subjects& l = the().library;
    user_info info;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            l.row_early->SetUserInfo(info.user.get(), info.password.get(), info.role.get(), info.database.get()));
}

void BM_put_project(benchmark::State& state) { put(state, dispatcher::project); }
void BM_get_project(benchmark::State& state) { get(state, dispatcher::project); }
void BM_call_project(benchmark::State& state) { call(state, dispatcher::project); }
void BM_ids_project(benchmark::State& state) { ids(state, dispatcher::project); }
BENCHMARK(BM_put_project);
BENCHMARK(BM_get_project);
BENCHMARK(BM_call_project);
BENCHMARK(BM_ids_project);
BENCHMARK(BM_call_early);
BENCHMARK(BM_hostname_by_name);
BENCHMARK(BM_userinfo_by_name);
#ifdef _WIN32
void BM_put_standard(benchmark::State& state) { put(state, dispatcher::standard); }
void BM_get_standard(benchmark::State& state) { get(state, dispatcher::standard); }
void BM_call_standard(benchmark::State& state) { call(state, dispatcher::standard); }
void BM_ids_standard(benchmark::State& state) { ids(state, dispatcher::standard); }
BENCHMARK(BM_put_standard);
BENCHMARK(BM_get_standard);
BENCHMARK(BM_call_standard);
BENCHMARK(BM_ids_standard);
#endif

// Each dispatcher must do the same work before their times compare: the same ids, the value
// put read back, the call's empty answer.
bool same_work(dispatcher d, const char* label) {
    IDispatch* record = the().record_of(d);
    IDispatch* session = the().session_of(d);
    std::vector<std::string> wrong;
    if (id_of(record, u"IntegerValue") != integer_value_id) wrong.push_back("the id of IntegerValue");
    if (id_of(session, u"AddUserToRoleArray") != role_array_id) wrong.push_back("the id of AddUserToRoleArray");
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 1234;
    oa::unique_variant read;
    if (put_integer(record, integer_value_id, value) != S_OK ||
        get_value(record, integer_value_id, read) != S_OK || read.vt != VT_I2 || read.iVal != 1234)
        wrong.push_back("IntegerValue put and read back");
    oa::unique_variant answer;
    role_row row;
    if (row.call(session, role_array_id, answer) != S_OK || answer.vt != VT_BSTR ||
        !oa::view(answer.bstrVal).empty())
        wrong.push_back("the empty answer of AddUserToRoleArray");
    for (const std::string& w : wrong) std::fprintf(stderr, "bench_dispatch: %s dispatcher: %s\n", label, w.c_str());
    return wrong.empty();
}

// The library's calls by name must answer as the component's own and as the early-bound ones.
bool same_library_work(library_subjects& l) {
    std::vector<std::string> wrong;
    oa::unique_bstr component, early;
    l.session->VANT_GetHostname(component.put());
    try {
        if (oa::view(hostname_by_name(l).get()) != oa::view(component.get()) || oa::view(component.get()).empty())
            wrong.push_back("GetHostname by name answers otherwise than VANT_GetHostname");
        mrlib::names names;
        user_info().by_name(l, names);
    } catch (const oa::com_error&) {
        wrong.push_back("a call by name failed");
    }
    if (l.first_build() && (l.api_early->GetHostname(l.user.get(), early.put()) != S_OK ||
                            oa::view(early.get()) != oa::view(component.get())))
        wrong.push_back("GetHostname early-bound answers otherwise than VANT_GetHostname");
    for (const std::string& w : wrong) std::fprintf(stderr, "bench_dispatch: the library: %s\n", w.c_str());
    return wrong.empty();
}

using figures = std::map<std::string, double>;  // ns per call, by benchmark name

// One run's figures: its system ("Linux", "Windows") and the library build it ran against.
struct run_figures {
    std::string system, build;  // build: "first" or "second"
    figures ns;
    std::string label() const { return system + (build == "second" ? ", 2nd build" : ""); }
    bool windows() const { return system == "Windows"; }
};

// The median over the repetitions, or the one run when there are none. Plain text: the
// script that runs the benchmark cuts its output by lines.
class collecting_reporter : public benchmark::ConsoleReporter {
public:
    collecting_reporter() : ConsoleReporter(OO_None) {}
    figures ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.time_unit != benchmark::kNanosecond) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians_[r.run_name.str()] = r.GetAdjustedRealTime();
            else if (r.run_type == Run::RT_Iteration) ns[r.run_name.str()] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        for (const auto& [name, t] : medians_) ns[name] = t;
        ConsoleReporter::Finalize();
    }

private:
    figures medians_;
};

// "@ SYSTEM BUILD", then a name and a figure per line.
bool write_figures(const std::string& file, const run_figures& run) {
    std::ofstream out(file);
    out << "@ " << run.system << ' ' << run.build << '\n';
    for (const auto& [name, ns] : run.ns) out << name << ' ' << ns << '\n';
    return static_cast<bool>(out);
}
run_figures read_figures(const std::string& file) {
    run_figures run;
    std::ifstream in(file);
    std::string at;
    in >> at >> run.system >> run.build;
    std::string name;
    double value = 0;
    while (in >> name >> value) run.ns[name] = value;
    if (at != "@") std::fprintf(stderr, "bench_dispatch: %s holds no run's figures\n", file.c_str());
    return run;
}

// Takes every --NAME=VALUE out of the arguments.
std::vector<std::string> take_options(int& argc, char** argv, const char* name) {
    const std::string prefix = std::string("--") + name + "=";
    std::vector<std::string> values;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) values.emplace_back(argv[i] + prefix.size());
        else argv[kept++] = argv[i];
    }
    argc = kept;
    argv[kept] = nullptr;
    return values;
}

std::string cell(const figures& f, const std::string& name) {
    auto it = f.find(name);
    if (it == f.end()) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ns", it->second);
    return text;
}
// measured / reference with its verdict, or nothing when either is missing.
std::string ratio_cell(const figures& f, const std::string& measured, const std::string& reference, double target) {
    auto m = f.find(measured), r = f.find(reference);
    if (m == f.end() || r == f.end() || r->second <= 0) return "";
    const double value = m->second / r->second;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %s", value, value <= target ? "met" : "MISS");
    return text;
}

// A Markdown table, each column as wide as its widest cell; the first column left, the rest right.
void print_markdown(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> width(header.size());
    for (std::size_t c = 0; c < header.size(); ++c) {
        width[c] = header[c].size();
        for (const auto& row : rows) width[c] = std::max(width[c], row[c].size());
    }
    auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            std::printf("| %*s ", c == 0 ? -static_cast<int>(width[c]) : static_cast<int>(width[c]), cells[c].c_str());
        std::printf("|\n");
    };
    std::printf("\n");
    line(header);
    for (std::size_t c = 0; c < header.size(); ++c)
        std::printf("|%s%s", std::string(width[c] + 1, '-').c_str(), c ? ":" : "-");
    std::printf("|\n");
    for (const auto& row : rows) line(row);
}

// The dispatchers' table: per run the project's figure and, on Windows, the standard one's
// with the ratio project / standard.
void print_dispatch_table(const std::vector<run_figures>& runs) {
    constexpr double target = 0.5;
    constexpr const char* target_text = "0.5";
    struct row {
        const char* what;
        const char* name;
    };
    const row rows[] = {
        {"t2DataClass IntegerValue put (Long 0..16383), by id", "put"},
        {"t2DataClass IntegerValue get, by id", "get"},
        {"t2mrapp AddUserToRoleArray(0, 3 Strings), by id", "call"},
        {"GetIDsOfNames \"AddUserToRoleArray\" on t2mrapp", "ids"},
        {"(AddUserToRoleArray early-bound: the member alone)", nullptr},
    };
    std::vector<std::string> header{"late-bound call", "target"};
    for (const run_figures& r : runs) {
        header.push_back(r.label() + ": project");
        if (r.windows()) {
            header.push_back(r.label() + ": standard");
            header.push_back("project / standard");
        }
    }
    std::vector<std::vector<std::string>> table;
    for (const row& w : rows) {
        std::vector<std::string> cells{w.what, w.name ? target_text : ""};
        const std::string project = w.name ? std::string("BM_") + w.name + "_project" : "BM_call_early",
                          standard = w.name ? std::string("BM_") + w.name + "_standard" : "";
        for (const run_figures& r : runs) {
            cells.push_back(cell(r.ns, project));
            if (!r.windows()) continue;
            cells.push_back(w.name ? cell(r.ns, standard) : "");
            cells.push_back(w.name ? ratio_cell(r.ns, project, standard, target) : "");
        }
        table.push_back(std::move(cells));
    }
    print_markdown(header, table);
}

// The library's calls: by name through the client beside early-bound on the vtable, per run.
void print_library_table(const std::vector<run_figures>& runs) {
    constexpr double target = 2.5;
    constexpr const char* target_text = "2.5";
    std::vector<std::string> header{"library call", "target"};
    for (const run_figures& r : runs) header.push_back(r.label());
    std::vector<std::vector<std::string>> table;
    auto add = [&](const std::string& what, const char* target_cell, auto&& value) {
        std::vector<std::string> cells{what, target_cell};
        for (const run_figures& r : runs) cells.push_back(value(r));
        table.push_back(std::move(cells));
    };
    const std::pair<std::string, std::string> calls[] = {{"hostname", "api GetHostname(user)"},
                                                         {"userinfo", "User SetUserInfo(4 Strings)"}};
    for (const auto& [call, what] : calls) {
        const std::string by_name = "BM_" + call + "_by_name", early = "BM_" + call + "_early";
        add(what + " by name through the client", "", [&](const run_figures& r) { return cell(r.ns, by_name); });
        add(what + " early-bound on the vtable", "", [&](const run_figures& r) { return cell(r.ns, early); });
        add(what + ": by name / early-bound", target_text,
            [&](const run_figures& r) { return ratio_cell(r.ns, by_name, early, target); });
    }
    print_markdown(header, table);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> figures_out = take_options(argc, argv, "figures-out"),
                                   beside = take_options(argc, argv, "beside");
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        std::fprintf(stderr, "bench_dispatch: unknown argument %s\n", argv[1]);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#ifndef _WIN32
    OaSetRegistryPath(Q2MR_BENCH_REGISTRY);  // AddUserToRoleArray makes its row from the library
#endif
    int status = 0;
    try {
        subjects::instance() = std::make_unique<subjects>();
        if (!same_work(dispatcher::project, "the project's")) status = 1;
#ifdef _WIN32
        if (!same_work(dispatcher::standard, "the standard")) status = 1;
#endif
        if (!same_library_work(the().library)) status = 1;
        // Only the first build has the vtable to compare with.
        if (the().library.first_build()) {
            benchmark::RegisterBenchmark("BM_hostname_early", &BM_hostname_early);
            benchmark::RegisterBenchmark("BM_userinfo_early", &BM_userinfo_early);
        }
        if (status == 0) {
            collecting_reporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            run_figures own{this_system().rfind("Linux", 0) == 0 ? "Linux" : "Windows",
                            the().library.first_build() ? "first" : "second", reporter.ns};
            for (const std::string& file : figures_out)
                if (!write_figures(file, own)) {
                    std::fprintf(stderr, "bench_dispatch: cannot write %s\n", file.c_str());
                    status = 1;
                }
            std::vector<run_figures> runs{own};
            std::string others;
            for (const std::string& file : beside) {
                runs.push_back(read_figures(file));
                others += (others.empty() ? " Beside it: " : ", ") + runs.back().label();
            }
            // Linux first, then Windows; the first build before the second.
            std::stable_sort(runs.begin(), runs.end(), [](const run_figures& a, const run_figures& b) {
                const auto order = [](const run_figures& r) { return std::make_pair(r.windows(), r.build != "first"); };
                return order(a) < order(b);
            });
            std::printf("\nThis run: %s, the %s build of the library.%s\n", this_system().c_str(), own.build.c_str(),
                        (others.empty() ? others : others + ".").c_str());
            print_dispatch_table(runs);
            print_library_table(runs);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_dispatch: %s\n", e.what());
        status = 1;
    }
    subjects::instance().reset();
    benchmark::Shutdown();
    CoUninitialize();
    return status;
}
