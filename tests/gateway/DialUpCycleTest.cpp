#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "gateway/Gateway.h"
#include "gateway/Scheduler.h"
#include "gateway/SchedulerTimer.h"
#include "gateway/UserField.h"
#include "net/TagRas.h"
#include "support/ScriptedRasBackend.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ScriptedRasBackend;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::Not;

class RecordingTimer : public SchedulerTimer {
public:
    void SetInterval(int intervalMs) override { interval_ = intervalMs; }
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }

private:
    int interval_ = 0;
    bool enabled_ = true;
};

class MondayNoon : public LocalClock {
public:
    LocalTime Now() const override { return {0, 12 * 3600}; }
};

// The gateway's cycle over the dial-up component, the component over a
// scripted service: what the operator sees in the log, and what is skipped.
class DialUpCycleTest : public ::testing::Test {
protected:
    DialUpCycleTest() {
        auto owned = std::make_unique<ScriptedRasBackend>();
        service_ = owned.get();
        ras_ = std::make_unique<TagRas>(std::move(owned));
        gateway_.StartUp();
        AddUser();
        Settings settings;
        settings.ConnectionIndex = 1;  // "Office", the first entry after "Use Network"
        settings.DialupPassword = "configured";
        gateway_.UseSettings(settings);
        gateway_.SetRAS(ras_.get());
        gateway_.Cycle().GetUserMail = [this] { ++fetched_; };
        gateway_.Cycle().SendOutgoingMail = [this] { ++sent_; };
        gateway_.Cycle().FreeSpace = [] { return std::optional<std::uintmax_t>(1ull << 40); };
        scheduler_.CurrentSettings = [this] { return gateway_.CurrentSettings(); };
    }

    // A user whose POP3 server refuses at once: only the attempt counts here.
    void AddUser() {
        TableEngine& table = gateway_.Users().Table();
        table.Append();
        table.SetAsString(UserField::Name, "Ann");
        table.SetAsString(UserField::Mailbox, "Ann");
        table.SetAsString(UserField::POPHost, "127.0.0.1:1");
        table.SetAsString(UserField::POPUserID, "ann");
        table.SetAsString(UserField::POPPassword, "pw");
        table.SetAsString(UserField::ReturnAddress, "ann@example.com");
        table.Post();
    }

    std::vector<std::string> Logged() {
        std::vector<std::string> texts;
        for (const auto& line : gateway_.Log().Lines()) texts.push_back(line.text);
        return texts;
    }

    test::TempDir folder_;
    Gateway gateway_{folder_.path(), [](const std::string&) {}};
    ScriptedRasBackend* service_ = nullptr;
    std::unique_ptr<TagRas> ras_;
    RecordingTimer timer_;
    MondayNoon clock_;
    Scheduler scheduler_{gateway_.Cycle(), gateway_.Log(), timer_, clock_};
    int fetched_ = 0;
    int sent_ = 0;
};

TEST_F(DialUpCycleTest, BusyLineSkipsTheTransfersAndRedialsOnTheNextTick) {
    service_->script = ScriptedRasBackend::Failure(reLineBusy);
    scheduler_.tmrCheckMailTimer();
    auto log = Logged();
    EXPECT_THAT(log, Contains(EndsWith("Dial-Up : Dialing...")));
    EXPECT_THAT(log, Contains(EndsWith("The line is busy.")));
    EXPECT_EQ(fetched_ + sent_, 0) << "users and outbound are skipped";
    EXPECT_EQ(gateway_.Cycle().Tally().UsersChecked, 0);
    EXPECT_TRUE(scheduler_.LineBusyRedial);
    EXPECT_EQ(timer_.Interval(), Scheduler::BusyRedialMs);
    EXPECT_THAT(service_->passwordsSet, Contains("configured"));

    service_->script = ScriptedRasBackend::Success();
    scheduler_.tmrCheckMailTimer();
    log = Logged();
    EXPECT_THAT(log, Contains(EndsWith("Redialing after Busy")));
    EXPECT_THAT(log, Contains(EndsWith("Dial-Up : Successfully connected")));
    EXPECT_EQ(service_->dials, 2);
    EXPECT_EQ(sent_, 1);
    EXPECT_EQ(gateway_.Cycle().Tally().UsersChecked, 1);
    EXPECT_THAT(log.back(), EndsWith("Dial-Up : Disconnected")) << "the cycle hangs up what it dialled";
    EXPECT_FALSE(scheduler_.LineBusyRedial);
    EXPECT_NE(timer_.Interval(), Scheduler::BusyRedialMs);
}

TEST_F(DialUpCycleTest, AnotherProgramsLineIsUsedAndLeftUp) {
    service_->lines = {{{7, "Office"}, true}};
    scheduler_.btnGrabNowClick();
    EXPECT_EQ(service_->dials, 0);
    EXPECT_EQ(sent_, 1);
    EXPECT_TRUE(service_->hungUp.empty());
    EXPECT_THAT(Logged(), Not(Contains(EndsWith("Dial-Up : Disconnected"))));
}

}  // namespace
}  // namespace qlk
