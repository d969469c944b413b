#include "ui/IntervalTimer.h"

namespace qlk {

IntervalTimer::IntervalTimer(int intervalMs, QObject* parent) : QObject(parent), interval_(intervalMs) {
    connect(&timer_, &QTimer::timeout, this, &IntervalTimer::Tick);
    Restart();
}

void IntervalTimer::SetInterval(int intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    Restart();
}

void IntervalTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void IntervalTimer::Restart() {
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

}  // namespace qlk
