#include "gateway/HeadlessService.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "gateway/Settings.h"

namespace qlk {

namespace {

// What the signal handlers may touch: two flags and the write end of a pipe
// that wakes the waiting loop.
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;
int wakeFds[2] = {-1, -1};

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[kSignals.size()];

extern "C" void OnSignal(int number) {
    const int savedErrno = errno;
    if (number == SIGHUP)
        reloadRequested = 1;
    else
        stopRequested = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFds[1], &byte, 1);
    errno = savedErrno;
}

void InstallHandlers() {
    stopRequested = 0;
    reloadRequested = 0;
    if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds[0] = wakeFds[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
}

void RemoveHandlers() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    for (int& fd : wakeFds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace

HeadlessService::HeadlessService(std::filesystem::path workFolder, std::ostream& out, int minuteMs)
    : headless_(std::move(workFolder), out),
      timer_(minuteMs),
      scheduler_(headless_.Core().Cycle(), headless_.Core().Log(), timer_, clock_) {
    Gateway& gateway = headless_.Core();
    scheduler_.CurrentSettings = [&gateway] { return gateway.CurrentSettings(); };
    gateway.Cycle().StopRequested = [] { return stopRequested != 0; };
    InstallHandlers();
}

HeadlessService::~HeadlessService() {
    headless_.Core().Cycle().StopRequested = nullptr;
    RemoveHandlers();
}

int HeadlessService::Run() {
    headless_.Start();
    Gateway& gateway = headless_.Core();
    ApplySettings(gateway.CurrentSettings());
    scheduler_.SetRunning(true);
    gateway.Log().WriteLog("Running without a window: SIGTERM stops, SIGHUP rereads QLK.CFG and the users",
                           1);
    while (!stopRequested) {
        WaitForTickOrSignal();
        if (reloadRequested && !stopRequested) Reload();
        if (!stopRequested && timer_.TakeTick(SteadyTimer::Clock::now())) scheduler_.tmrCheckMailTimer();
    }
    gateway.Log().WriteLog("Stopping", 1);
    gateway.Users().CloseTable();
    return 0;
}

void HeadlessService::ApplySettings(const Settings& settings) {
    headless_.Core().UseSettings(settings);
    scheduler_.spnCheckTimeChange(settings.DelayMinutes);
}

void HeadlessService::Reload() {
    reloadRequested = 0;
    Gateway& gateway = headless_.Core();
    gateway.Log().WriteLog("Rereading QLK.CFG and the users", 1);
    Settings settings;
    gateway.Config().ReadConfiguration(settings);
    ApplySettings(settings);
    gateway.Users().ReopenTable();
}

void HeadlessService::WaitForTickOrSignal() {
    const auto wait = timer_.UntilTick(SteadyTimer::Clock::now(), std::chrono::seconds(1));
    pollfd wake{wakeFds[0], POLLIN, 0};
    const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    if (::poll(&wake, wakeFds[0] >= 0 ? 1 : 0, ms) > 0) {
        char drain[64];
        while (::read(wakeFds[0], drain, sizeof drain) > 0) {
        }
    }
}

}  // namespace qlk
