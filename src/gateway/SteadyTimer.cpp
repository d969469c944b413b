#include "gateway/SteadyTimer.h"

#include <algorithm>

namespace qlk {

void SteadyTimer::SetInterval(int intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    Restart();
}

void SteadyTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void SteadyTimer::Restart() {
    // Intervals are whole minutes or 150 s; a shorter test minute shrinks them alike.
    const auto scaled = std::chrono::milliseconds(static_cast<long long>(interval_) * minuteMs_ / 60000);
    due_ = Clock::now() + scaled;
}

bool SteadyTimer::TakeTick(Clock::time_point now) {
    if (!enabled_ || interval_ <= 0 || now < due_) return false;
    Restart();
    return true;
}

SteadyTimer::Clock::duration SteadyTimer::UntilTick(Clock::time_point now, Clock::duration limit) const {
    if (!enabled_ || interval_ <= 0) return limit;
    return std::clamp<Clock::duration>(due_ - now, Clock::duration::zero(), limit);
}

}  // namespace qlk
