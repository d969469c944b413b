#include "gateway/Scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "GatewayScene.h"
#include "gateway/SchedulerTimer.h"
#include "net/DialUpConnection.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk::test {
namespace {

constexpr int kMonday = 0, kFriday = 4, kSaturday = 5;

int At(int hours, int minutes = 0) {
    return hours * 3600 + minutes * 60;
}

class FakeClock : public LocalClock {
public:
    LocalTime now{kMonday, At(12)};
    LocalTime Now() const override { return now; }
    // Seconds since Monday 00:00.
    int WeekSeconds() const { return now.weekday * 86400 + now.secondOfDay; }
    void Advance(int seconds) {
        const int total = WeekSeconds() + seconds;
        now = {(total / 86400) % 7, total % 86400};
    }
};

// Remembers when its countdown last started, on the fake clock.
class FakeTimer : public SchedulerTimer {
public:
    explicit FakeTimer(const FakeClock& clock) : clock_(clock) {}
    void SetInterval(int ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        startedAt = clock_.WeekSeconds();
    }
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override {
        if (enabled != enabled_) startedAt = clock_.WeekSeconds();
        enabled_ = enabled;
    }
    bool Enabled() const override { return enabled_; }
    int NextTickAt() const { return startedAt + interval_ / 1000; }
    int startedAt = 0;

private:
    const FakeClock& clock_;
    int interval_ = 15 * 60000;
    bool enabled_ = true;
};

class BusyLine : public DialUpConnection {
public:
    std::vector<std::string> Entries() const override { return {"Provider"}; }
    void SetPassword(const std::string&) override {}
    void SetService(const std::string&) override {}
    void HangUp() override {}
    void Dial() override { throw Exception("The line is busy."); }
    void Abort() noexcept override {}
};

struct SchedulerRig {
    GatewayScene scene;
    FakeClock clock;
    FakeTimer timer{clock};
    Scheduler scheduler{scene.gateway.Cycle(), scene.gateway.Log(), timer, clock};
    int outbound = 0;

    SchedulerRig() {
        scheduler.CurrentSettings = [this] { return scene.settings; };
        scene.gateway.SettingsSource = [this] { return scene.settings; };
        scene.gateway.Cycle().SendOutgoingMail = [this] { ++outbound; };
        scene.Start();
    }
    int Cycles() const {
        const auto texts = scene.LogTexts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), "Beggining Mail Transfer"));
    }
};

struct ScheduleCase {
    const char* name;
    int start, stop;
    std::array<bool, 7> days;
    bool running;
    int weekday, time;
    bool runs;
};

TEST(SchedulerTest, TickRunsACycleOnlyInsideTheScheduleWhileRunning) {
    const std::array<bool, 7> weekdays = {true, true, true, true, true, false, false};
    const std::array<bool, 7> fridayOnly = {false, false, false, false, true, false, false};
    const ScheduleCase cases[] = {
        {"before the daytime window", At(8), At(18), weekdays, true, kMonday, At(7, 59), false},
        {"at its start", At(8), At(18), weekdays, true, kMonday, At(8), true},
        {"at its end", At(8), At(18), weekdays, true, kMonday, At(18), true},
        {"a second after", At(8), At(18), weekdays, true, kMonday, At(18) + 1, false},
        {"on a day switched off", At(8), At(18), weekdays, true, kSaturday, At(12), false},
        {"stopped", At(8), At(18), weekdays, false, kMonday, At(12), false},
        {"night window on its own day", At(22), At(6), fridayOnly, true, kFriday, At(23), true},
        {"night window that began yesterday", At(22), At(6), fridayOnly, true, kSaturday, At(5), true},
        {"its last second", At(22), At(6), fridayOnly, true, kSaturday, At(6), true},
        {"after it ended", At(22), At(6), fridayOnly, true, kSaturday, At(7), false},
        {"began on a day switched off", At(22), At(6), fridayOnly, true, kFriday, At(5), false},
        {"start equal to stop", At(9), At(9), weekdays, true, kMonday, At(3), true},
        {"start equal to stop, day off", At(9), At(9), weekdays, true, kSaturday, At(3), false},
    };
    for (const auto& c : cases) {
        SchedulerRig rig;
        rig.scene.settings.StartTime = c.start;
        rig.scene.settings.StopTime = c.stop;
        rig.scene.settings.Days = c.days;
        rig.scheduler.SetRunning(c.running);
        rig.clock.now = {c.weekday, c.time};
        rig.scheduler.tmrCheckMailTimer();
        EXPECT_EQ(rig.Cycles(), c.runs ? 1 : 0) << c.name;
        EXPECT_EQ(Scheduler::IsInSchedule(rig.scene.settings, rig.clock.now), c.runs || !c.running) << c.name;
    }
}

TEST(SchedulerTest, DelayCountsFromTheEndOfTheCycleAndStandsStillDuringIt) {
    SchedulerRig rig;
    int intervalDuringCycle = -1;
    rig.scene.gateway.Cycle().SendOutgoingMail = [&] {
        intervalDuringCycle = rig.timer.Interval();
        rig.clock.Advance(4 * 60);
    };
    rig.clock.now = {kMonday, At(10)};
    rig.scheduler.tmrCheckMailTimer();
    EXPECT_EQ(intervalDuringCycle, 0);
    EXPECT_EQ(rig.timer.Interval(), 15 * 60000);
    EXPECT_EQ(rig.timer.NextTickAt(), At(10, 4) + 15 * 60);

    rig.scheduler.SetRunning(false);
    rig.scheduler.btnGrabNowClick();
    EXPECT_EQ(rig.Cycles(), 2);
    EXPECT_FALSE(rig.timer.Enabled());
}

TEST(SchedulerTest, BusyLineSkipsTheTransferAndRedialsOnTheNextTickEvenAtNight) {
    SchedulerRig rig;
    BusyLine line;
    rig.scene.gateway.SetRAS(&line);
    rig.scene.settings.ConnectionIndex = 1;
    rig.scene.AddRow(Row("Ann", "ann"));
    rig.scene.gateway.Users().ReopenTable();
    rig.clock.now = {kMonday, At(12)};
    rig.scheduler.tmrCheckMailTimer();
    EXPECT_TRUE(rig.scene.Logged("The line is busy."));
    EXPECT_TRUE(rig.scene.Logged("There were 1 error(s) during the transfer"));
    EXPECT_EQ(rig.outbound, 0);
    EXPECT_EQ(rig.scene.pop.Connections(), 0);
    EXPECT_TRUE(rig.scheduler.LineBusyRedial);
    EXPECT_EQ(rig.timer.Interval(), Scheduler::BusyRedialMs);

    rig.clock.now = {kMonday, At(23)};
    rig.scene.gateway.SetRAS(nullptr);
    rig.scene.settings.ConnectionIndex = 0;
    rig.scheduler.tmrCheckMailTimer();
    EXPECT_TRUE(rig.scene.Logged("Redialing after Busy"));
    EXPECT_EQ(rig.Cycles(), 2);
    EXPECT_EQ(rig.outbound, 1);
    EXPECT_FALSE(rig.scheduler.LineBusyRedial);
    EXPECT_EQ(rig.timer.Interval(), 15 * 60000);

    // A busy line in a manual cycle: the button puts the full delay back,
    // and the redial waits for the next tick.
    rig.scene.gateway.Log().WriteLog("Dial-Up : THE LINE IS BUSY", 2);
    rig.scheduler.btnGrabNowClick();
    EXPECT_TRUE(rig.scheduler.LineBusyRedial);
    EXPECT_EQ(rig.timer.Interval(), 15 * 60000);
}

// The event pump runs inside every network wait, so the window's timer and
// button can fire in the middle of a cycle: neither starts a second one.
TEST(SchedulerTest, TickOrClickDuringACycleStartsNoSecondOne) {
    SchedulerRig rig;
    rig.scene.AddRow(Row("Ann", "ann"));
    rig.scene.pop.AddMessage("ann", "Subject: x\r\n\r\nbody\r\n");
    rig.scene.gateway.Users().ReopenTable();
    int nested = 0;
    SetMessagePump([&] {
        if (nested++ > 0) return;
        rig.scheduler.tmrCheckMailTimer();
        rig.scheduler.btnGrabNowClick();
        EXPECT_FALSE(rig.scene.gateway.Cycle().RunTransferCycle());
    });
    rig.clock.now = {kMonday, At(12)};
    rig.scheduler.tmrCheckMailTimer();
    SetMessagePump({});
    EXPECT_GT(nested, 0);
    EXPECT_EQ(rig.Cycles(), 1);
    EXPECT_EQ(rig.scene.office->delivered.size(), 1u);
    EXPECT_FALSE(rig.scene.gateway.Cycle().Busy);
    EXPECT_EQ(rig.timer.Interval(), 15 * 60000);
}

}  // namespace
}  // namespace qlk::test
