// The part of Google Benchmark's interface that the dispatch benchmark uses, for the
// Windows build: Debian offers the library for Linux only. Same names and meaning, so
// that one source builds against either; see bench/README.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace benchmark {

using IterationCount = std::int64_t;

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond, kSecond };

class State;

namespace internal {
using Function = void(State&);
// One run of a benchmark's loop.
struct measurement {
    bool looped = false;  // the body ran its loop to the end
    IterationCount iterations = 0;
    double real_seconds = 0, cpu_seconds = 0;
};
measurement measure(Function* function, IterationCount iterations);
void finish_loop(State& state) noexcept;
}  // namespace internal

// One run of a benchmark: the body loops `for (auto _ : state)` a given number of times,
// and only that loop is timed.
class State {
public:
    struct __attribute__((unused)) Value {};

    class StateIterator {
    public:
        Value operator*() const noexcept { return {}; }
        StateIterator& operator++() noexcept {
            --left_;
            return *this;
        }
        bool operator!=(const StateIterator&) noexcept {
            if (left_ != 0) return true;
            internal::finish_loop(*parent_);
            return false;
        }

    private:
        friend class State;
        StateIterator(State* parent, IterationCount left) noexcept : parent_(parent), left_(left) {}
        State* parent_;
        IterationCount left_;
    };

    State(const State&) = delete;
    State& operator=(const State&) = delete;

    StateIterator begin();
    StateIterator end() noexcept { return StateIterator(this, 0); }

    // The iterations done: all of them once the loop has ended, none before.
    IterationCount iterations() const noexcept { return finished_ ? max_iterations_ : 0; }

private:
    friend internal::measurement internal::measure(internal::Function*, IterationCount);
    friend void internal::finish_loop(State&) noexcept;
    explicit State(IterationCount max_iterations) noexcept : max_iterations_(max_iterations) {}

    IterationCount max_iterations_;
    bool started_ = false, finished_ = false;
    std::int64_t start_real_ns_ = 0, start_cpu_ns_ = 0;
    std::int64_t real_ns_ = 0, cpu_ns_ = 0;
};

template <class T> inline __attribute__((always_inline)) void DoNotOptimize(const T& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}
template <class T> inline __attribute__((always_inline)) void DoNotOptimize(T& value) {
    asm volatile("" : "+m,r"(value) : : "memory");
}
inline __attribute__((always_inline)) void ClobberMemory() { asm volatile("" : : : "memory"); }

// A benchmark's name; here the name it was registered with.
struct BenchmarkName {
    std::string function_name;
    std::string str() const { return function_name; }
};

class BenchmarkReporter {
public:
    struct Context {
        std::string executable;
        std::size_t name_field_width = 0;  // the longest name of the benchmarks to run
    };
    // One repetition's run, or the median of a benchmark's repetitions (the one aggregate
    // offered), which counts the repetitions as its iterations.
    struct Run {
        enum RunType { RT_Iteration, RT_Aggregate };
        BenchmarkName run_name;
        RunType run_type = RT_Iteration;
        std::string aggregate_name;  // "median"
        bool error_occurred = false;
        std::string error_message;
        IterationCount iterations = 0;
        std::int64_t repetitions = 1;
        TimeUnit time_unit = kNanosecond;
        double real_accumulated_time = 0;  // seconds
        double cpu_accumulated_time = 0;

        std::string benchmark_name() const {
            return run_type == RT_Aggregate ? run_name.str() + "_" + aggregate_name : run_name.str();
        }
        // Per iteration, in time_unit.
        double GetAdjustedRealTime() const;
        double GetAdjustedCPUTime() const;
    };

    virtual ~BenchmarkReporter() = default;
    virtual bool ReportContext(const Context& context) = 0;
    virtual void ReportRuns(const std::vector<Run>& runs) = 0;
    virtual void Finalize() {}
};

// Google Benchmark's console table: name, time and CPU time per iteration, iterations;
// never in colour.
class ConsoleReporter : public BenchmarkReporter {
public:
    enum OutputOptions { OO_None = 0, OO_Color = 1, OO_Tabular = 2, OO_ColorTabular = 3, OO_Defaults = 3 };
    explicit ConsoleReporter(OutputOptions = OO_Defaults) {}
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;

private:
    std::size_t name_field_width_ = 0;
};

namespace internal {
class Benchmark {
public:
    Benchmark(std::string name, Function* function) : name_(std::move(name)), function_(function) {}
    Benchmark* Name(const std::string& name) {
        name_ = name;
        return this;
    }
    const std::string& name() const noexcept { return name_; }
    Function* function() const noexcept { return function_; }

private:
    std::string name_;
    Function* function_;
};
Benchmark* register_benchmark(const char* name, Function* function);
}  // namespace internal

inline internal::Benchmark* RegisterBenchmark(const char* name, internal::Function* function) {
    return internal::register_benchmark(name, function);
}

// Takes --benchmark_min_time=SECONDS (a number, optionally followed by "s"),
// --benchmark_filter=REGEX, --benchmark_repetitions=N and
// --benchmark_report_aggregates_only=true|false out of the arguments; other arguments stay.
// Another --benchmark_ option ends the program with a message: it would be ignored otherwise.
void Initialize(int* argc, char** argv);
// Runs every benchmark whose name the filter finds, each until one run of its loop lasts
// the minimum time, then as many more runs of that length as the repetitions ask, reported
// with their median (or the median alone); returns how many benchmarks ran.
std::size_t RunSpecifiedBenchmarks();
std::size_t RunSpecifiedBenchmarks(BenchmarkReporter* reporter);
void Shutdown();

}  // namespace benchmark

#define BENCHMARK_COMPAT_CONCAT2(a, b) a##b
#define BENCHMARK_COMPAT_CONCAT(a, b) BENCHMARK_COMPAT_CONCAT2(a, b)
#define BENCHMARK(function)                                                                        \
    [[maybe_unused]] static ::benchmark::internal::Benchmark* BENCHMARK_COMPAT_CONCAT(             \
        benchmark_compat_registered_, __COUNTER__) = ::benchmark::internal::register_benchmark(#function, function)
