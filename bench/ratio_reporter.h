// A benchmark reporter that shows the usual console (or --benchmark_format)
// output and remembers the time per iteration of every benchmark, so that a
// bench program can print how two of its benchmarks compare within one run.
//
// For a steadier ratio on a busy machine, run several repetitions in random
// order, e.g. --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true;
// each side is then taken as the median of its repetitions.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace slotio_bench {

class RatioReporter : public benchmark::BenchmarkReporter {
  public:
    // `display` receives every call; it is not owned (the library's default
    // display reporter lives for the whole process).
    explicit RatioReporter(benchmark::BenchmarkReporter *display) : display_(display) {}

    bool ReportContext(const Context &context) override { return display_->ReportContext(context); }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred || run.iterations <= 0)
                continue;
            // Both an iteration run and a time aggregate hold their time
            // per iteration as accumulated time over iterations.
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            Times &t = times_[run.run_name.function_name];
            if (run.run_type == Run::RT_Iteration)
                t.repetitions.push_back(seconds);
            else if (run.aggregate_name == "median" &&
                     run.aggregate_unit == benchmark::StatisticUnit::kTime)
                t.median = seconds;
        }
        display_->ReportRuns(runs);
    }

    void Finalize() override { display_->Finalize(); }

    // Real seconds per iteration of the benchmark registered under `name`:
    // the median of its repetitions; nothing when it did not run.
    std::optional<double> seconds_per_iteration(const std::string &name) const
    {
        const auto it = times_.find(name);
        if (it == times_.end())
            return std::nullopt;
        std::vector<double> v = it->second.repetitions;
        if (v.empty())
            return it->second.median; // only aggregates were reported
        std::sort(v.begin(), v.end());
        const size_t mid = v.size() / 2;
        return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
    }

    // True when no benchmark reported a time (--benchmark_list_tests, or a
    // filter that matched nothing).
    bool empty() const { return times_.empty(); }

    // Time per iteration of `numerator` over that of `denominator`.
    std::optional<double> time_ratio(const std::string &numerator,
                                     const std::string &denominator) const
    {
        const std::optional<double> a = seconds_per_iteration(numerator);
        const std::optional<double> b = seconds_per_iteration(denominator);
        if (!a || !b || *b <= 0)
            return std::nullopt;
        return *a / *b;
    }

  private:
    struct Times {
        std::vector<double> repetitions;
        std::optional<double> median;
    };
    benchmark::BenchmarkReporter *display_;
    std::map<std::string, Times> times_;
};

// Prints "<label>: <ratio>" after the benchmark output, or says why there is
// no ratio (a filter that left one side out, a side that failed).
inline void print_ratio(const char *label, std::optional<double> ratio)
{
    std::cout.flush();
    if (ratio)
        std::printf("%s: %.2f\n", label, *ratio);
    else
        std::printf("%s: not measured (both benchmarks must run)\n", label);
    std::fflush(stdout);
}

// Parses the benchmark flags; false (after printing why) on an unknown one.
inline bool initialize(int &argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    return !benchmark::ReportUnrecognizedArguments(argc, argv);
}

// Runs the selected benchmarks through `reporter`; the number that ran.
inline size_t run(RatioReporter &reporter)
{
    const size_t n = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return n;
}

} // namespace slotio_bench
