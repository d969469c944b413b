#pragma once

#include <chrono>

#include "gateway/SchedulerTimer.h"

namespace qlk {

// The scheduler's timer for a front end without an event loop of its own:
// it counts on the monotonic clock, and the caller asks it when the next
// tick is due. A minute may be made shorter than 60 s for tests.
class SteadyTimer : public SchedulerTimer {
public:
    using Clock = std::chrono::steady_clock;

    explicit SteadyTimer(int minuteMs = 60000) : minuteMs_(minuteMs) {}

    void SetInterval(int intervalMs) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }

    // Whether a tick is due at NOW; a due tick starts the next countdown.
    bool TakeTick(Clock::time_point now);
    // How long until the next tick (at most LIMIT; LIMIT when none is coming).
    Clock::duration UntilTick(Clock::time_point now, Clock::duration limit) const;

private:
    void Restart();

    int minuteMs_;
    int interval_ = 0;
    bool enabled_ = false;
    Clock::time_point due_{};
};

}  // namespace qlk
