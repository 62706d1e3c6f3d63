// The Windows build's stand-in for the benchmark library (bench/compat): its options, the
// filter, the growth of a run until it lasts the minimum time, the report of a body that
// leaves its loop early, and the median of repetitions.
#include <benchmark/benchmark.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class collecting : public benchmark::BenchmarkReporter {
public:
    std::vector<Run> runs;
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& r) override { runs.insert(runs.end(), r.begin(), r.end()); }
};

// Initialize with these arguments; what it leaves after the program's name.
std::vector<std::string> options(std::vector<std::string> args) {
    args.insert(args.begin(), "bench");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    benchmark::Initialize(&argc, argv.data());
    EXPECT_EQ(nullptr, argv[static_cast<std::size_t>(argc)]);
    return std::vector<std::string>(argv.begin() + 1, argv.begin() + argc);
}

int calls_a = 0, calls_b = 0;
void compat_a(benchmark::State& state) {
    ++calls_a;
    volatile int sink = 0;
    for (auto _ : state) sink = sink + 1;
}
void compat_b(benchmark::State& state) {
    ++calls_b;
    for (auto _ : state) benchmark::DoNotOptimize(calls_b);
}
void compat_leaves_early(benchmark::State& state) {
    for (auto _ : state) break;
}
BENCHMARK(compat_a);
BENCHMARK(compat_b);
BENCHMARK(compat_leaves_early);

TEST(BenchCompat, InitializeTakesItsOwnOptionsAndLeavesTheOthers) {
    EXPECT_EQ(std::vector<std::string>{"--figures-out=x"},
              options({"--benchmark_min_time=0.01s", "--figures-out=x", "--benchmark_filter=q"}));
}

TEST(BenchCompat, RunsOnlyWhatTheFilterFinds) {
    options({"--benchmark_min_time=0.001", "--benchmark_filter=compat_b$"});
    calls_a = calls_b = 0;
    collecting reporter;
    EXPECT_EQ(1u, benchmark::RunSpecifiedBenchmarks(&reporter));
    EXPECT_EQ(0, calls_a);
    EXPECT_GT(calls_b, 0);
    ASSERT_EQ(1u, reporter.runs.size());
    EXPECT_EQ("compat_b", reporter.runs[0].benchmark_name());
}

TEST(BenchCompat, GrowsTheIterationsUntilARunLastsTheMinimumTime) {
    options({"--benchmark_min_time=0.05", "--benchmark_filter=^compat_a$"});
    calls_a = 0;
    collecting reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ASSERT_EQ(1u, reporter.runs.size());
    const auto& run = reporter.runs[0];
    EXPECT_FALSE(run.error_occurred);
    EXPECT_GT(calls_a, 1);  // one run of a single iteration is far too short
    EXPECT_GE(run.real_accumulated_time, 0.05);
    EXPECT_NEAR(run.real_accumulated_time * 1e9 / static_cast<double>(run.iterations), run.GetAdjustedRealTime(),
                1e-6);
}

TEST(BenchCompat, ABodyThatLeavesItsLoopEarlyIsAnError) {
    options({"--benchmark_min_time=0.001", "--benchmark_filter=leaves_early"});
    collecting reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    ASSERT_EQ(1u, reporter.runs.size());
    EXPECT_TRUE(reporter.runs[0].error_occurred);
}

TEST(BenchCompat, RepeatsRunsAsLongAsTheFirstAndReportsTheirMedian) {
    options({"--benchmark_min_time=0.002", "--benchmark_filter=^compat_a$", "--benchmark_repetitions=3"});
    collecting all;
    benchmark::RunSpecifiedBenchmarks(&all);
    options({"--benchmark_report_aggregates_only=true"});
    collecting aggregates;
    benchmark::RunSpecifiedBenchmarks(&aggregates);
    options({"--benchmark_repetitions=1", "--benchmark_report_aggregates_only=false"});
    ASSERT_EQ(4u, all.runs.size());
    std::vector<double> times;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(all.runs[0].iterations, all.runs[i].iterations);
        times.push_back(all.runs[i].GetAdjustedRealTime());
    }
    std::sort(times.begin(), times.end());
    const auto& median = all.runs[3];
    EXPECT_EQ(benchmark::BenchmarkReporter::Run::RT_Aggregate, median.run_type);
    EXPECT_EQ("median", median.aggregate_name);
    EXPECT_EQ("compat_a", median.run_name.str());
    EXPECT_NEAR(times[1], median.GetAdjustedRealTime(), times[1] * 1e-9);
    ASSERT_EQ(1u, aggregates.runs.size());
    EXPECT_EQ("compat_a_median", aggregates.runs[0].benchmark_name());
}

}  // namespace
