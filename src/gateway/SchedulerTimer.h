#pragma once

namespace qlk {

// The scheduler's timer. It ticks only while enabled with an interval above
// 0 (0 means stopped). Setting a different interval, or enabling it, starts
// a full countdown; setting the interval it already has changes nothing.
class SchedulerTimer {
public:
    virtual ~SchedulerTimer() = default;
    virtual void SetInterval(int intervalMs) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

}  // namespace qlk
