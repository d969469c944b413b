#pragma once

#include <functional>

#include "gateway/LocalClock.h"
#include "gateway/Settings.h"

namespace qlk {

class SchedulerTimer;
class StatusLog;
class TransferCycle;

// When mail moves: a timer tick runs a cycle while the service is Running,
// on a weekday that is switched on and inside the daily window; "Transfer
// Now" runs one at any time; after a busy telephone line the next tick
// redials whatever the schedule says. The timer stands still (interval 0)
// while a cycle runs and counts the delay afresh from the cycle's end.
class Scheduler {
public:
    static constexpr int MinuteMs = 60000;
    static constexpr int BusyRedialMs = 150000;

    // Sets the log's busy-line event.
    Scheduler(TransferCycle& cycle, StatusLog& log, SchedulerTimer& timer, const LocalClock& clock);

    // The settings in force (delay, weekdays, daily window), read at every use.
    std::function<Settings()> CurrentSettings;

    void tmrCheckMailTimer();
    void btnGrabNowClick();
    // The delay between scheduled cycles changed (also when read from QLK.CFG).
    void spnCheckTimeChange(int delayMinutes);

    // Running: the timer runs and ticks test the schedule; Stopped: no ticks.
    bool Running() const { return running_; }
    void SetRunning(bool running);

    // A logged text reported a busy line: the next tick redials.
    bool LineBusyRedial = false;

    // Whether a tick at NOW falls inside the daily window and on a weekday
    // that is switched on. A window that ends earlier than it starts runs
    // across midnight and belongs to the weekday on which it began.
    static bool IsInSchedule(const Settings& settings, LocalTime now);

private:
    void LineBusy();
    int DelayMs() const;

    TransferCycle& cycle_;
    StatusLog& log_;
    SchedulerTimer& timer_;
    const LocalClock& clock_;
    bool running_ = true;
};

}  // namespace qlk
