// Shared by the benchmark programs: every figure is printed with its ratio against a named peer
// measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench_support {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // With --benchmark_repetitions, the median of the repetitions (reported after the last of them)
    // stands for the benchmark; with --benchmark_enable_random_interleaving, subject and peer alternate,
    // so a drift of the machine's speed during the run reaches both.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if ((r.run_type == Run::RT_Iteration && r.iterations > 0) ||
                (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median"))
                nsPerIteration[r.run_name.str()] = r.GetAdjustedRealTime() * scale(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerIteration;

private:
    static double scale(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kSecond: return 1e9;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kMicrosecond: return 1e3;
        default: return 1;
        }
    }
};

// Runs the registered benchmarks, then prints "subject / peer" for each pair whose both sides ran.
inline int runWithRatios(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-44s %-44s %8s\n", "subject", "peer", "ratio");
    for (const auto& [subject, peer] : pairs) {
        auto s = reporter.nsPerIteration.find(subject), p = reporter.nsPerIteration.find(peer);
        if (s == reporter.nsPerIteration.end() || p == reporter.nsPerIteration.end()) continue;
        std::printf("%-44s %-44s %7.2fx\n", subject.c_str(), peer.c_str(), s->second / p->second);
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace bench_support
