#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Prints two benchmarks' rates side by side after the runs, so that a
// comparison with another program measured in the same run reads at a
// glance. With repetitions, the median stands for the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // FIRST and SECOND are parts of the two benchmarks' names; PRINT gets
    // their rates (COUNTER: items or bytes per second) once both ran.
    RatioReporter(std::string first, std::string second, std::function<void(double, double)> print,
                  std::string counter = "items_per_second")
        : first_(std::move(first)),
          second_(std::move(second)),
          print_(std::move(print)),
          counter_(std::move(counter)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find(counter_);
            if (rate == run.counters.end()) continue;
            if (run.run_name.function_name.find(first_) != std::string::npos) firstRate_ = rate->second;
            if (run.run_name.function_name.find(second_) != std::string::npos) secondRate_ = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        if (firstRate_ > 0 && secondRate_ > 0) print_(firstRate_, secondRate_);
    }

private:
    std::string first_, second_;
    std::function<void(double, double)> print_;
    std::string counter_;
    double firstRate_ = 0;
    double secondRate_ = 0;
};
