#pragma once

#include <filesystem>
#include <iosfwd>

#include "gateway/HeadlessGateway.h"
#include "gateway/Scheduler.h"
#include "gateway/SteadyTimer.h"
#include "gateway/SystemClock.h"

namespace qlk {

// The gateway as a service (quelmark --headless): the schedule of QLK.CFG
// runs without a window, in the Running state the window also starts in.
// SIGTERM and SIGINT close it in good order: a running cycle finishes the
// message in hand, takes nothing further, reports its totals, and the
// process ends. SIGHUP rereads QLK.CFG and the user table between cycles.
// QLK.CFG is only read: a hand-edited file is never overwritten.
class HeadlessService {
public:
    // MINUTEMS: the length of a schedule minute; shorter only in tests.
    HeadlessService(std::filesystem::path workFolder, std::ostream& out, int minuteMs = Scheduler::MinuteMs);
    ~HeadlessService();
    HeadlessService(const HeadlessService&) = delete;
    HeadlessService& operator=(const HeadlessService&) = delete;

    // Runs until SIGTERM or SIGINT; the process's exit code.
    int Run();

private:
    void ApplySettings(const Settings& settings);
    void Reload();
    void WaitForTickOrSignal();

    HeadlessGateway headless_;
    SystemClock clock_;
    SteadyTimer timer_;
    Scheduler scheduler_;
};

}  // namespace qlk
