#pragma once

#include <cstdlib>
#include <string_view>

namespace qlk::bench {

// QLK_BENCH_SMOKE=1 (the CI's smoke run) shrinks every benchmark to a
// moment's work, so that a benchmark that no longer runs fails CI without
// costing CI its full run.
inline bool SmokeRun() {
    const char* value = std::getenv("QLK_BENCH_SMOKE");
    return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
}

template <typename T>
T Sized(T full, T smoke) {
    return SmokeRun() ? smoke : full;
}

}  // namespace qlk::bench
