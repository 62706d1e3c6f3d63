// Late-bound calls through the project's dispatcher beside the same calls through the
// standard runtime's type-library dispatch, in one process: on Windows CreateStdDispatch
// over the vtable half of the component's own type library (read from the DLL beside the
// program); on Linux there is no standard one, only the project's figures. The same source
// builds for both: --figures-out=FILE keeps a run's figures, --beside=FILE shows the other
// system's in the table.
#include <component/t2mrapp.h>
#include <value/t2DataClass.h>

#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <benchmark/benchmark.h>

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
constexpr const char* other_system = "Linux";

std::wstring beside_program(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + file;
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
constexpr const char* other_system = "Windows";
#endif

// The objects and the dispatchers that serve them, made once.
struct subjects {
    oa::com_ptr<t2DataClass> record = oa::make_self<t2DataClass>();
    oa::com_ptr<t2mrapp> session = oa::make_self<t2mrapp>();
    oa::com_ptr<IDispatch> record_standard, session_standard;

    subjects() {
#ifdef _WIN32
        oa::com_ptr<ITypeLib> library;
        if (FAILED(LoadTypeLibEx(beside_program(L"quellar2mrapi.dll").c_str(), REGKIND_NONE, library.put())))
            throw std::runtime_error("quellar2mrapi.dll is not beside the program");
        using quellar2mrapi::_t2DataClass, quellar2mrapi::_t2mrapp;
        record_standard = standard_dispatch(library.get(), iid_of<_t2DataClass>(),
                                            static_cast<_t2DataClass*>(record.get()));
        session_standard =
            standard_dispatch(library.get(), iid_of<_t2mrapp>(), static_cast<_t2mrapp*>(session.get()));
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

// A name in a buffer on the stack, as a script engine hands over the name it parsed.
struct name_buffer {
    std::array<OLECHAR, 64> text{};
    explicit name_buffer(std::u16string_view name) {
        for (std::size_t i = 0; i < name.size() && i + 1 < text.size(); ++i) text[i] = static_cast<OLECHAR>(name[i]);
    }
    LPOLESTR get() { return text.data(); }
};

DISPID id_of(IDispatch* object, std::u16string_view name) {
    name_buffer n(name);
    LPOLESTR names[] = {n.get()};
    DISPID id = DISPID_UNKNOWN;
    object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    return id;
}

HRESULT put_integer(IDispatch* object, DISPID id, VARIANT& value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}
HRESULT get_value(IDispatch* object, DISPID id, VARIANT& result) {
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params, &result, nullptr,
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
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
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

void BM_put_project(benchmark::State& state) { put(state, dispatcher::project); }
void BM_get_project(benchmark::State& state) { get(state, dispatcher::project); }
void BM_call_project(benchmark::State& state) { call(state, dispatcher::project); }
void BM_ids_project(benchmark::State& state) { ids(state, dispatcher::project); }
BENCHMARK(BM_put_project);
BENCHMARK(BM_get_project);
BENCHMARK(BM_call_project);
BENCHMARK(BM_ids_project);
BENCHMARK(BM_call_early);
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

using figures = std::map<std::string, double>;  // ns per call, by benchmark name

// Plain text: the script that runs the benchmark cuts its output by lines.
class collecting_reporter : public benchmark::ConsoleReporter {
public:
    collecting_reporter() : ConsoleReporter(OO_None) {}
    figures ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred && r.time_unit == benchmark::kNanosecond)
                ns[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

figures read_figures(const std::string& file) {
    figures f;
    std::ifstream in(file);
    std::string name;
    double value = 0;
    while (in >> name >> value) f[name] = value;
    return f;
}

// Takes --NAME=VALUE out of the arguments.
std::string take_option(int& argc, char** argv, const char* name) {
    const std::string prefix = std::string("--") + name + "=";
    std::string value;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) value = argv[i] + prefix.size();
        else argv[kept++] = argv[i];
    }
    argc = kept;
    argv[kept] = nullptr;
    return value;
}

std::string cell(const figures& f, const std::string& name) {
    auto it = f.find(name);
    if (it == f.end()) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ns", it->second);
    return text;
}

void print_table(const figures& own, const figures& other) {
#ifdef _WIN32
    const figures &linux_figures = other, &windows_figures = own;
#else
    const figures &linux_figures = own, &windows_figures = other;
#endif
    constexpr double target = 0.5;
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
    std::printf("\n| %-51s | %14s | %16s | %17s | %18s | %6s | %-4s |\n", "late-bound call", "Linux: project",
                "Windows: project", "Windows: standard", "project / standard", "target", "");
    std::printf("|%s|%s:|%s:|%s:|%s:|%s:|%s|\n", std::string(53, '-').c_str(), std::string(15, '-').c_str(),
                std::string(17, '-').c_str(), std::string(18, '-').c_str(), std::string(19, '-').c_str(),
                std::string(7, '-').c_str(), std::string(6, '-').c_str());
    for (const row& r : rows) {
        if (!r.name) {
            std::printf("| %-51s | %14s | %16s | %17s | %18s | %6s | %-4s |\n", r.what,
                        cell(linux_figures, "BM_call_early").c_str(), cell(windows_figures, "BM_call_early").c_str(),
                        "", "", "", "");
            continue;
        }
        const std::string project = std::string("BM_") + r.name + "_project",
                          standard = std::string("BM_") + r.name + "_standard";
        auto p = windows_figures.find(project), s = windows_figures.find(standard);
        char ratio[16] = "n/a", verdict[8] = "";
        if (p != windows_figures.end() && s != windows_figures.end() && s->second > 0) {
            const double value = p->second / s->second;
            std::snprintf(ratio, sizeof ratio, "%.2f", value);
            std::snprintf(verdict, sizeof verdict, "%s", value <= target ? "met" : "MISS");
        }
        std::printf("| %-51s | %14s | %16s | %17s | %18s | %6.1f | %-4s |\n", r.what,
                    cell(linux_figures, project).c_str(), cell(windows_figures, project).c_str(),
                    cell(windows_figures, standard).c_str(), ratio, target, verdict);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string figures_out = take_option(argc, argv, "figures-out");
    const std::string beside = take_option(argc, argv, "beside");
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
        if (status == 0) {
            collecting_reporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            if (!figures_out.empty()) {
                std::ofstream out(figures_out);
                for (const auto& [name, ns] : reporter.ns) out << name << ' ' << ns << '\n';
                if (!out) {
                    std::fprintf(stderr, "bench_dispatch: cannot write %s\n", figures_out.c_str());
                    status = 1;
                }
            }
            std::printf("\nThis run: %s.%s\n", this_system().c_str(),
                        beside.empty() ? "" : (std::string(" Beside it: ") + other_system + ", " + beside).c_str());
            print_table(reporter.ns, beside.empty() ? figures{} : read_figures(beside));
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
