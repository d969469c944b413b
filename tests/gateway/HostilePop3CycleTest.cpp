#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "GatewayScene.h"
#include "support/ScriptServer.h"

namespace qlk::test {
namespace {

using namespace std::chrono_literals;

long PeakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string Listing(int lines) {
    std::string text = "+OK\r\n";
    for (int n = 1; n <= lines; ++n) text += std::to_string(n) + " 100\r\n";
    return text + ".\r\n";
}

// Greeting, CAPA refused, USER and PASS taken: the server then does as it likes.
void LogIn(ScriptServer& s) {
    s.Send("+OK ready\r\n").Line().Send("-ERR\r\n").Line().Send("+OK\r\n").Line().Send("+OK\r\n");
}

struct HostileCase {
    const char* name;
    std::function<void(ScriptServer&)> play;
    const char* logged;  // part of a line the cycle logs for Mal
};

// One server that stalls, trickles, floods or lies about its mailbox costs
// its own user a bounded time and memory; the next user is served and the
// outgoing mail still goes.
TEST(HostilePop3Cycle, AHostileServerCostsItsOwnUserABoundedTimeAndTheRestGoOn) {
    const HostileCase cases[] = {
        {"GreetingNeverSent", [](ScriptServer& s) { s.Line(); }, "timed out"},
        {"GreetingTrickle", [](ScriptServer& s) { s.Trickle("+", 100ms, 8s); }, "timed out"},
        {"GiantGreeting", [](ScriptServer& s) { s.Send(std::string(4 << 20, 'x')).Line(); }, "Mal"},
        {"EndlessCapa",
         [](ScriptServer& s) {
             s.Send("+OK ready\r\n").Line().Send("+OK\r\n");
             for (int i = 0; i < 100; ++i) s.Send(std::string(4000, 'C') + "\r\n");
             s.Line();
         },
         "Mal"},
        {"StatOfTenMillion",
         [](ScriptServer& s) {
             LogIn(s);
             s.Line().Send("+OK 10000000 1000000000\r\n").Line().Send(Listing(20000)).Line();
         },
         "timed out"},
        {"RetrWithoutEnd",
         [](ScriptServer& s) {
             LogIn(s);
             s.Line().Send("+OK 1 100\r\n").Line().Send(Listing(1)).Line().Send("+OK\r\n1 uid-1\r\n.\r\n");
             s.Line().Send("+OK\r\n").Trickle(std::string(1000, 'r') + "\r\n", 1ms, 8s);
         },
         "Data block longer than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer hostile;
        c.play(hostile);
        hostile.Start();
        GatewayScene scene;
        scene.gateway.POP().SetTimeOut(1);
        UserRecord mal = Row("Mal", "mal");
        mal.popHost = hostile.Address();
        scene.AddRow(mal);
        scene.AddRow(Row("Bob", "bob"));
        scene.pop.AddMessage("bob", "From: a@example.org\r\nSubject: for Bob\r\n\r\nhi\r\n");
        int outbound = 0;
        scene.gateway.Cycle().SendOutgoingMail = [&] { ++outbound; };

        const long peakBefore = PeakKilobytes();
        const auto start = std::chrono::steady_clock::now();
        scene.RunCycle();
        const auto elapsed = std::chrono::steady_clock::now() - start;

        EXPECT_LT(elapsed, 6s);
        EXPECT_LT(PeakKilobytes() - peakBefore, 64 * 1024);
        ASSERT_EQ(scene.office->delivered.size(), 1u);
        EXPECT_EQ(scene.office->delivered[0].subject, "for Bob");
        EXPECT_EQ(outbound, 1);
        const auto texts = scene.LogTexts();
        EXPECT_TRUE(std::ranges::any_of(texts, [&](const std::string& line) {
            return (line.find("ERROR") != std::string::npos || line.find("Error") != std::string::npos) &&
                   line.find(c.logged) != std::string::npos;
        })) << ::testing::PrintToString(texts);
        hostile.Join();
    }
}

}  // namespace
}  // namespace qlk::test
