#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <sstream>

#include "E2eSupport.h"
#include "support/Peers.h"

namespace qlk::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 8;  // the sanitized program runs several times slower
#else
constexpr int kKills = 20;
#endif
constexpr int kMessages = 200;

// The gateway is killed at random moments while it moves a mailbox of 200
// messages; whatever it had begun, no message may be lost and none may come
// twice: the messages it delivered are remembered before they are visible,
// so the next run deletes them on the server instead of delivering them
// again, and finishes a delivery the kill interrupted.
TEST(GatewayKill, NoMessageIsLostOrDuplicatedWhenTheGatewayDies) {
    std::string why;
    auto dovecot = DovecotPeer::Start({{"alice", "pw-alice"}}, why);
    QLK_NEED_PEER(dovecot, why);
    TempDir work;
    Settings settings;
    settings.LogDetailLevel = 1;
    PrepareWorkFolder(work.path(), {MailboxRow("Alice", dovecot->Address(), "alice", "pw-alice")}, {"Alice"},
                      settings);
    const std::string body(2000, 'x');
    for (int i = 0; i < kMessages; ++i) {
        char subject[16];
        std::snprintf(subject, sizeof subject, "k-%03d", i);
        dovecot->AddMessage(
            "alice", std::string("From: zoe@example.net\r\nTo: alice@example.org\r\nSubject: ") + subject +
                         "\r\n\r\n" + body + "\r\n");
    }

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> moment(0, 1200);
    int killed = 0;
    for (int k = 0; k < kKills; ++k) {
        const pid_t pid = StartOnce(work.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        if (::kill(pid, SIGKILL) == 0) ++killed;
        ::waitpid(pid, nullptr, 0);
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunOnce(work.path()), 0) << ReadFileBytes(work / "once.log");
    const auto finish = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string subjects;
    ASSERT_EQ(RunChecker("subjects " + Quoted(work / "postoffice") + " Alice", subjects), 0) << subjects;
    std::map<std::string, int> copies;
    std::istringstream lines(subjects);
    for (std::string line; std::getline(lines, line);) ++copies[line];
    int duplicates = 0;
    for (int i = 0; i < kMessages; ++i) {
        char subject[16];
        std::snprintf(subject, sizeof subject, "k-%03d", i);
        EXPECT_EQ(copies[subject], 1) << subject;
        duplicates += std::max(0, copies[subject] - 1);
    }
    EXPECT_EQ(copies.size(), static_cast<std::size_t>(kMessages));
    EXPECT_EQ(dovecot->MessageCount("alice"), 0u);
    EXPECT_EQ(duplicates, 0);
    RecordProperty("duplicates", duplicates);
    std::printf("%d kills (%d while running), %d duplicates among %d messages, finishing run %.2f s\n",
                kKills, killed, duplicates, kMessages, finish);
}

}  // namespace
}  // namespace qlk::test
