// The stand-in's runner: each benchmark's loop runs with more iterations each time until
// one run lasts the minimum time; that run is reported, and with repetitions the further
// runs of the same length and their median.
#include <benchmark/benchmark.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <thread>

namespace benchmark {

namespace {

struct settings {
    double min_time = 0.5;  // seconds
    std::string filter = ".";
    std::int64_t repetitions = 1;
    bool aggregates_only = false;
    std::string executable;
};
settings& options() {
    static settings s;
    return s;
}

std::vector<std::unique_ptr<internal::Benchmark>>& registry() {
    static std::vector<std::unique_ptr<internal::Benchmark>> benchmarks;
    return benchmarks;
}

std::int64_t real_ns() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t cpu_ns() noexcept {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto hundreds = [](const FILETIME& f) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime);
    };
    return (hundreds(kernel) + hundreds(user)) * 100;
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
#endif
}

double per_unit(TimeUnit unit) noexcept {
    switch (unit) {
    case kNanosecond: return 1e9;
    case kMicrosecond: return 1e6;
    case kMillisecond: return 1e3;
    case kSecond: return 1;
    }
    return 1e9;
}
const char* unit_label(TimeUnit unit) noexcept {
    switch (unit) {
    case kNanosecond: return "ns";
    case kMicrosecond: return "us";
    case kMillisecond: return "ms";
    case kSecond: return "s";
    }
    return "ns";
}

// As many decimals as keep three or four digits.
std::string format_time(double t) {
    char text[32];
    const char* format = t < 1 ? "%10.3f" : t < 10 ? "%10.2f" : t < 100 ? "%10.1f" : "%10.0f";
    std::snprintf(text, sizeof text, format, t);
    return text;
}

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "benchmark: %s\n", message.c_str());
    std::exit(1);
}

bool starts_with(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

BenchmarkReporter::Run run_of(const internal::Benchmark& b, const internal::measurement& m) {
    BenchmarkReporter::Run run;
    run.run_name.function_name = b.name();
    run.repetitions = options().repetitions;
    if (!m.looped) {
        run.error_occurred = true;
        run.error_message = "the benchmark did not run its loop to the end";
        return run;
    }
    run.iterations = m.iterations;
    run.real_accumulated_time = m.real_seconds;
    run.cpu_accumulated_time = m.cpu_seconds;
    return run;
}

// The benchmark's first run: more iterations each time until one run lasts the minimum time.
BenchmarkReporter::Run first_run(const internal::Benchmark& b) {
    constexpr IterationCount most = 1000000000;
    IterationCount n = 1;
    for (;;) {
        const internal::measurement m = internal::measure(b.function(), n);
        if (!m.looped || m.real_seconds >= options().min_time || n >= most) return run_of(b, m);
        // Aim 40 % past the minimum; a run too short to predict from grows tenfold at most.
        double factor = options().min_time * 1.4 / std::max(m.real_seconds, 1e-9);
        if (m.real_seconds < options().min_time / 10) factor = std::min(factor, 10.0);
        n = std::min(most, std::max(n + 1, static_cast<IterationCount>(static_cast<double>(n) * factor)));
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// As the library makes it: the median of each time over runs of equal length, with the
// repetitions as its iterations, so that the time per iteration stays the runs'.
BenchmarkReporter::Run median_of(const std::vector<BenchmarkReporter::Run>& runs) {
    std::vector<double> real, cpu;
    for (const auto& r : runs) {
        real.push_back(r.real_accumulated_time);
        cpu.push_back(r.cpu_accumulated_time);
    }
    BenchmarkReporter::Run m = runs.front();
    m.run_type = BenchmarkReporter::Run::RT_Aggregate;
    m.aggregate_name = "median";
    m.iterations = static_cast<IterationCount>(runs.size());
    const double per_run = static_cast<double>(runs.size()) / static_cast<double>(runs.front().iterations);
    m.real_accumulated_time = median(real) * per_run;
    m.cpu_accumulated_time = median(cpu) * per_run;
    return m;
}

}  // namespace

State::StateIterator State::begin() {
    started_ = true;
    start_cpu_ns_ = cpu_ns();
    start_real_ns_ = real_ns();
    return StateIterator(this, max_iterations_);
}

namespace internal {

void finish_loop(State& state) noexcept {
    const std::int64_t real = real_ns(), cpu = cpu_ns();
    state.real_ns_ = real - state.start_real_ns_;
    state.cpu_ns_ = cpu - state.start_cpu_ns_;
    state.finished_ = true;
}

measurement measure(Function* function, IterationCount iterations) {
    State state(iterations);
    function(state);
    measurement m;
    m.looped = state.finished_;
    m.iterations = iterations;
    m.real_seconds = static_cast<double>(state.real_ns_) * 1e-9;
    m.cpu_seconds = static_cast<double>(state.cpu_ns_) * 1e-9;
    return m;
}

Benchmark* register_benchmark(const char* name, Function* function) {
    registry().push_back(std::make_unique<Benchmark>(name, function));
    return registry().back().get();
}

}  // namespace internal

double BenchmarkReporter::Run::GetAdjustedRealTime() const {
    return real_accumulated_time * per_unit(time_unit) / static_cast<double>(std::max<IterationCount>(iterations, 1));
}
double BenchmarkReporter::Run::GetAdjustedCPUTime() const {
    return cpu_accumulated_time * per_unit(time_unit) / static_cast<double>(std::max<IterationCount>(iterations, 1));
}

bool ConsoleReporter::ReportContext(const Context& context) {
    std::fprintf(stderr, "Running %s\nRun on (%u X CPU s), with the project's stand-in for Google Benchmark\n",
                 context.executable.c_str(), std::thread::hardware_concurrency());
    char header[160];
    std::snprintf(header, sizeof header, "%-*s %13s %15s %12s", static_cast<int>(context.name_field_width),
                  "Benchmark", "Time", "CPU", "Iterations");
    const std::string rule(std::strlen(header), '-');
    std::printf("%s\n%s\n%s\n", rule.c_str(), header, rule.c_str());
    name_field_width_ = context.name_field_width;
    return true;
}

void ConsoleReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& r : runs) {
        std::printf("%-*s ", static_cast<int>(name_field_width_), r.benchmark_name().c_str());
        if (r.error_occurred) std::printf("ERROR OCCURRED: '%s'\n", r.error_message.c_str());
        else
            std::printf("%s %-4s %s %-4s %12lld\n", format_time(r.GetAdjustedRealTime()).c_str(),
                        unit_label(r.time_unit), format_time(r.GetAdjustedCPUTime()).c_str(), unit_label(r.time_unit),
                        static_cast<long long>(r.iterations));
    }
    std::fflush(stdout);
}

void Initialize(int* argc, char** argv) {
    if (*argc < 1) return;
    options().executable = std::string(argv[0]);
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const char* a = argv[i];
        if (starts_with(a, "--benchmark_min_time=")) {
            const char* value = a + std::strlen("--benchmark_min_time=");
            char* end = nullptr;
            const double seconds = std::strtod(value, &end);
            if (end == value || !(seconds > 0) || (*end != '\0' && std::strcmp(end, "s") != 0))
                usage_error(std::string("--benchmark_min_time takes seconds, not ") + value);
            options().min_time = seconds;
        } else if (starts_with(a, "--benchmark_filter=")) {
            // Made whole, then moved in: gcc 12 misreads an assignment from a pointer as overlapping.
            std::string filter(a + std::strlen("--benchmark_filter="));
            options().filter = filter == "all" ? std::string(".") : std::move(filter);
        } else if (starts_with(a, "--benchmark_repetitions=")) {
            const char* value = a + std::strlen("--benchmark_repetitions=");
            char* end = nullptr;
            const long long n = std::strtoll(value, &end, 10);
            if (end == value || *end != '\0' || n < 1)
                usage_error(std::string("--benchmark_repetitions takes a count from 1, not ") + value);
            options().repetitions = n;
        } else if (starts_with(a, "--benchmark_report_aggregates_only=")) {
            const std::string value(a + std::strlen("--benchmark_report_aggregates_only="));
            if (value != "true" && value != "false")
                usage_error("--benchmark_report_aggregates_only takes true or false, not " + value);
            options().aggregates_only = value == "true";
        } else if (starts_with(a, "--benchmark_")) {
            usage_error(std::string("the stand-in for Google Benchmark does not offer ") + a);
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    argv[kept] = nullptr;
}

std::size_t RunSpecifiedBenchmarks() {
    ConsoleReporter reporter;
    return RunSpecifiedBenchmarks(&reporter);
}

std::size_t RunSpecifiedBenchmarks(BenchmarkReporter* reporter) {
    std::regex filter;
    try {
        filter = std::regex(options().filter);
    } catch (const std::regex_error&) {
        usage_error("--benchmark_filter is not a regular expression: " + options().filter);
    }
    std::vector<const internal::Benchmark*> chosen;
    BenchmarkReporter::Context context;
    context.executable = options().executable;
    for (const auto& b : registry())
        if (std::regex_search(b->name(), filter)) {
            chosen.push_back(b.get());
            context.name_field_width = std::max(context.name_field_width, b->name().size());
        }
    if (chosen.empty()) return 0;
    context.name_field_width = std::max<std::size_t>(context.name_field_width, 10);
    if (options().repetitions > 1) context.name_field_width += std::strlen("_median");
    reporter->ReportContext(context);
    for (const internal::Benchmark* b : chosen) {
        std::vector<BenchmarkReporter::Run> runs{first_run(*b)};
        // Every further repetition runs as many iterations as the first settled on.
        while (!runs.back().error_occurred && static_cast<std::int64_t>(runs.size()) < options().repetitions)
            runs.push_back(run_of(*b, internal::measure(b->function(), runs.front().iterations)));
        if (options().repetitions > 1 && !runs.back().error_occurred) {
            BenchmarkReporter::Run median = median_of(runs);
            if (options().aggregates_only) runs.clear();
            runs.push_back(std::move(median));
        }
        reporter->ReportRuns(runs);
    }
    reporter->Finalize();
    return chosen.size();
}

void Shutdown() {}

}  // namespace benchmark
