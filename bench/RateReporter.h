#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
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
                          std::move(theirsName), false});
    }
    // The same for benchmarks that count bytes, in MB/s.
    void CompareBytes(std::string label, std::string ours, std::string oursName, std::string theirs,
                      std::string theirsName) {
        pairs_.push_back({std::move(label), std::move(ours), std::move(oursName), std::move(theirs),
                          std::move(theirsName), true});
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            for (const char* counter : {"items_per_second", "bytes_per_second"}) {
                auto rate = run.counters.find(counter);
                if (rate != run.counters.end()) rates_[{run.run_name.function_name, counter}] = rate->second;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Pair& pair : pairs_) {
            const char* counter = pair.bytes ? "bytes_per_second" : "items_per_second";
            const double scale = pair.bytes ? 1e6 : 1;
            const double ours = rates_[{pair.ours, counter}], theirs = rates_[{pair.theirs, counter}];
            if (ours > 0 && theirs > 0) {
                std::printf("%s: %s %.1f %s, %s %.1f %s, ratio %.2f\n", pair.label.c_str(),
                            pair.oursName.c_str(), ours / scale, pair.bytes ? "MB/s" : "msgs/s",
                            pair.theirsName.c_str(), theirs / scale, pair.bytes ? "MB/s" : "msgs/s",
                            ours / theirs);
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
        bool bytes;
    };
    std::vector<Pair> pairs_;
    std::map<std::pair<std::string, std::string>, double> rates_;
};

}  // namespace qlk::bench
