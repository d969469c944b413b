#include "ui/IntervalTimer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "FakeDesktop.h"

namespace qlk::test {
namespace {

class IntervalTimerTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
};

TEST_F(IntervalTimerTest, TicksOnlyWhenEnabledWithAnInterval) {
    struct Case {
        bool enabled;
        int interval;
        bool counting;
    };
    const Case cases[] = {{true, 900000, true}, {true, 0, false}, {false, 900000, false}, {false, 0, false}};
    for (const auto& c : cases) {
        IntervalTimer timer(900000);
        timer.SetEnabled(c.enabled);
        timer.SetInterval(c.interval);
        EXPECT_EQ(timer.Counting(), c.counting) << c.enabled << " " << c.interval;
    }
}

TEST_F(IntervalTimerTest, SameIntervalKeepsTheCountdownANewOneRestartsIt) {
    IntervalTimer timer(1000);
    QThread::msleep(300);
    timer.SetInterval(1000);
    EXPECT_LT(timer.RemainingMs(), 800);
    timer.SetInterval(2000);
    EXPECT_GT(timer.RemainingMs(), 1800);
}

TEST_F(IntervalTimerTest, EnablingStartsAFullCountdown) {
    IntervalTimer timer(1000);
    QThread::msleep(300);
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    EXPECT_GT(timer.RemainingMs(), 900);
}

TEST_F(IntervalTimerTest, TickArrivesAfterTheInterval) {
    IntervalTimer timer(30);
    int ticks = 0;
    QObject::connect(&timer, &IntervalTimer::Tick, [&] { ++ticks; });
    QElapsedTimer clock;
    clock.start();
    while (ticks == 0 && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_GE(ticks, 1);
    EXPECT_GE(clock.elapsed(), 25);
}

}  // namespace
}  // namespace qlk::test
