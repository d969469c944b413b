#pragma once

#include <QObject>
#include <QTimer>

#include "gateway/SchedulerTimer.h"

namespace qlk {

// The scheduler's timer. It ticks only while enabled with an interval above
// 0 (an interval of 0 means stopped, not "as fast as possible"). Setting a
// new interval or enabling it starts a full countdown; setting the interval
// it already has leaves the countdown alone.
class IntervalTimer : public QObject, public SchedulerTimer {
    Q_OBJECT

public:
    explicit IntervalTimer(int intervalMs, QObject* parent = nullptr);

    void SetInterval(int intervalMs) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    // Whether a tick is on its way.
    bool Counting() const { return timer_.isActive(); }
    int RemainingMs() const { return timer_.remainingTime(); }

signals:
    void Tick();

private:
    void Restart();

    QTimer timer_;
    int interval_;
    bool enabled_ = true;
};

}  // namespace qlk
