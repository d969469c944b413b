#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "E2eSupport.h"
#include "support/Peers.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

// Starts "quelmark --headless" in WORK with a schedule minute of MINUTEMS,
// its output going to WORK/headless.log.
pid_t StartHeadless(const fs::path& work, int minuteMs) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string log = (work / "headless.log").string();
        ::setenv("QLK_TEST_MINUTE_MS", std::to_string(minuteMs).c_str(), 1);
        if (::chdir(work.c_str()) != 0 || !std::freopen(log.c_str(), "a", stderr)) ::_exit(126);
        ::execl(QLK_QUELMARK, QLK_QUELMARK, "--headless", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits until MAILBOX in the post office holds COUNT messages; false after 20 s.
bool WaitForMail(const fs::path& work, const std::string& mailbox, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PostOffice(work / "postoffice").CountMessages(mailbox).Total >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

UserRecord Row(const std::string& mailbox, const std::string& popUser, const std::string& host) {
    UserRecord row;
    row.name = mailbox;
    row.mailbox = mailbox;
    row.popHost = host;
    row.popUserId = popUser;
    row.popPassword = "pw-" + popUser;
    row.returnAddress = popUser + "@example.org";
    row.deleteMail = true;
    return row;
}

std::string Mail(const std::string& subject) {
    return "From: zoe@example.net\r\nTo: someone@example.org\r\nSubject: " + subject + "\r\n\r\nHello\r\n";
}

// The service runs its cycles on the schedule by itself (a test minute of
// one second), picks up a new user after SIGHUP, and stops on SIGTERM
// without touching QLK.CFG.
TEST(HeadlessService, RunsTheScheduleRereadsOnHangupAndStopsOnTerm) {
    std::string why;
    auto dovecot = DovecotPeer::Start({{"ann", "pw-ann"}, {"carl", "pw-carl"}}, why);
    QLK_NEED_PEER(dovecot, why);
    TempDir work;
    Settings settings;
    settings.DelayMinutes = 1;
    settings.Days = {true, true, true, true, true, true, true};
    settings.StartTime = settings.StopTime = 0;  // no daily limit
    PrepareWorkFolder(work.path(), {Row("Ann", "ann", dovecot->Address())}, {"Ann", "Carl"}, settings);
    const std::string configuration = ReadFileBytes(work / "QLK.CFG");
    dovecot->AddMessage("ann", Mail("For Ann"));

    const pid_t pid = StartHeadless(work.path(), 1000);
    EXPECT_TRUE(WaitForMail(work.path(), "Ann", 1)) << ReadFileBytes(work / "headless.log");

    {
        UsersDatabase users(work / "users.DB");
        users.Open();
        users.Insert(Row("Carl", "carl", dovecot->Address()));
    }
    dovecot->AddMessage("carl", Mail("For Carl"));
    ::kill(pid, SIGHUP);
    EXPECT_TRUE(WaitForMail(work.path(), "Carl", 1)) << ReadFileBytes(work / "headless.log");

    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(15)), 0);
    EXPECT_EQ(ReadFileBytes(work / "QLK.CFG"), configuration);
    const std::string log = ReadFileBytes(work / "headless.log");
    EXPECT_NE(log.find("Stopping"), std::string::npos) << log;
    EXPECT_EQ(dovecot->MessageCount("ann"), 0u);
}

}  // namespace
}  // namespace qlk::test
