#include "gateway/Scheduler.h"

#include "gateway/SchedulerTimer.h"
#include "gateway/StatusLog.h"
#include "gateway/TransferCycle.h"

namespace qlk {

Scheduler::Scheduler(TransferCycle& cycle, StatusLog& log, SchedulerTimer& timer, const LocalClock& clock)
    : cycle_(cycle), log_(log), timer_(timer), clock_(clock) {
    log_.OnLineBusy = [this] { LineBusy(); };
}

bool Scheduler::IsInSchedule(const Settings& settings, LocalTime now) {
    const int start = settings.StartTime;
    const int stop = settings.StopTime;
    int weekday = now.weekday;
    bool inside = true;
    if (start < stop) {
        inside = now.secondOfDay >= start && now.secondOfDay <= stop;
    } else if (start > stop && now.secondOfDay < start) {
        // Before today's start: the window that began yesterday.
        weekday = (weekday + 6) % 7;
        inside = now.secondOfDay <= stop;
    }
    return inside && settings.Days[static_cast<std::size_t>(weekday)];
}

void Scheduler::tmrCheckMailTimer() {
    if (cycle_.Busy) return;
    const Settings settings = CurrentSettings ? CurrentSettings() : Settings{};
    const bool go = running_ && IsInSchedule(settings, clock_.Now());
    if (!go && !LineBusyRedial) return;
    if (LineBusyRedial) log_.WriteLog("Redialing after Busy", 1);
    LineBusyRedial = false;
    timer_.SetInterval(0);
    cycle_.RunTransferCycle();
    timer_.SetInterval(DelayMs());
    if (LineBusyRedial) timer_.SetInterval(BusyRedialMs);
}

void Scheduler::btnGrabNowClick() {
    if (cycle_.Busy) return;
    timer_.SetInterval(0);
    log_.WriteLog("", 2);
    log_.WriteLog("", 2);
    log_.WriteLog("Manually Triggered Mail Check", 2);
    cycle_.RunTransferCycle(true);
    timer_.SetInterval(DelayMs());
}

void Scheduler::spnCheckTimeChange(int delayMinutes) {
    timer_.SetInterval(delayMinutes * MinuteMs);
}

void Scheduler::SetRunning(bool running) {
    running_ = running;
    timer_.SetEnabled(running);
}

void Scheduler::LineBusy() {
    LineBusyRedial = true;
    timer_.SetInterval(BusyRedialMs);
}

int Scheduler::DelayMs() const {
    const Settings settings = CurrentSettings ? CurrentSettings() : Settings{};
    return settings.DelayMinutes * MinuteMs;
}

}  // namespace qlk
