#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qlk::bench {

// The console report, followed by one line that sets our rate beside a
// reference program's rate measured in the same run, with their ratio. With
// repetitions, the median stands for the runs.
class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    struct Side {
        std::string functionContains;  // picks the benchmark by its function name
        std::string label;
    };

    // `counter` is "items_per_second" or "bytes_per_second"; the rates are
    // printed divided by `scale`, followed by `unit`.
    SideBySideReporter(std::string title, Side ours, Side reference, std::string counter, double scale,
                       std::string unit)
        : title_(std::move(title)),
          sides_{std::move(ours), std::move(reference)},
          counter_(std::move(counter)),
          scale_(scale),
          unit_(std::move(unit)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find(counter_);
            if (rate == run.counters.end()) continue;
            for (int i = 0; i < 2; ++i) {
                if (run.run_name.function_name.find(sides_[i].functionContains) != std::string::npos) {
                    rates_[i] = rate->second;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        if (rates_[0] <= 0 || rates_[1] <= 0) return;
        std::printf("%s: %s %.1f %s, %s %.1f %s, ratio %.2f\n", title_.c_str(), sides_[0].label.c_str(),
                    rates_[0] / scale_, unit_.c_str(), sides_[1].label.c_str(), rates_[1] / scale_,
                    unit_.c_str(), rates_[0] / rates_[1]);
    }

private:
    std::string title_;
    Side sides_[2];
    std::string counter_;
    double scale_;
    std::string unit_;
    double rates_[2] = {0, 0};
};

}  // namespace qlk::bench
