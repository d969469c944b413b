#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qlk::bench {

// The console report, followed by the rates of pairs of benchmarks side by
// side with their ratio (ours against a well-known program, same run). With
// repetitions, the median stands for the runs.
class RateReporter : public benchmark::ConsoleReporter {
public:
    // Prints "LABEL: OURSNAME R msgs/s, THEIRSNAME R msgs/s, ratio X" once both ran.
    void Compare(std::string label, std::string ours, std::string oursName, std::string theirs,
                 std::string theirsName) {
        pairs_.push_back({std::move(label), std::move(ours), std::move(oursName), std::move(theirs),
                          std::move(theirsName)});
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) rates_[run.run_name.function_name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Pair& pair : pairs_) {
            const double ours = rates_[pair.ours], theirs = rates_[pair.theirs];
            if (ours > 0 && theirs > 0) {
                std::printf("%s: %s %.1f msgs/s, %s %.1f msgs/s, ratio %.2f\n", pair.label.c_str(),
                            pair.oursName.c_str(), ours, pair.theirsName.c_str(), theirs, ours / theirs);
            }
        }
    }

    // Runs the benchmarks of the program with this report.
    int Run(int argc, char** argv) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks(this);
        benchmark::Shutdown();
        return 0;
    }

private:
    struct Pair {
        std::string label, ours, oursName, theirs, theirsName;
    };
    std::vector<Pair> pairs_;
    std::map<std::string, double> rates_;
};

}  // namespace qlk::bench
