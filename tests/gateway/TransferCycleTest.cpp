#include "gateway/TransferCycle.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "GatewayScene.h"
#include "net/DialUpConnection.h"
#include "platform/Exception.h"

namespace qlk::test {
namespace {

int Count(const std::vector<std::string>& texts, const std::string& text) {
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

struct MailboxCase {
    const char* name;
    std::vector<std::string> popUsers;  // one row each, in table order
    std::vector<std::string> sessions;  // USER commands the server saw, in order
};

// Adjacent rows that share a mailbox fetch it once, except when the repeat
// is the table's last row; rows apart fetch it each. The test server offers
// no TLS: that the passwords went to it in clear is logged once a cycle.
TEST(TransferCycleTest, RepeatedMailboxIsFetchedOncePerRunOfAdjacentRows) {
    const MailboxCase cases[] = {
        {"A A B", {"a", "a", "b"}, {"USER a", "USER b"}},
        {"A A", {"a", "a"}, {"USER a", "USER a"}},
        {"A B A", {"a", "b", "a"}, {"USER a", "USER b", "USER a"}},
        {"A A A B", {"a", "a", "a", "b"}, {"USER a", "USER b"}},
        {"empty table", {}, {}},
    };
    for (const auto& c : cases) {
        GatewayScene scene;
        int outbound = 0;
        scene.gateway.Cycle().SendOutgoingMail = [&] { ++outbound; };
        for (std::size_t i = 0; i < c.popUsers.size(); ++i)
            scene.AddRow(Row("User" + std::to_string(i + 1), c.popUsers[i]));
        scene.RunCycle();
        std::vector<std::string> sessions;
        for (const auto& command : scene.pop.Commands())
            if (command.rfind("USER ", 0) == 0) sessions.push_back(command);
        EXPECT_EQ(sessions, c.sessions) << c.name;
        EXPECT_EQ(scene.gateway.Cycle().Tally().UsersChecked, static_cast<int>(c.popUsers.size())) << c.name;
        EXPECT_EQ(outbound, 1) << c.name;
        EXPECT_EQ(Count(scene.LogTexts(), "Password sent in clear to " + scene.pop.Host() + " (no TLS)"),
                  c.popUsers.empty() ? 0 : 1)
            << c.name;
    }
}

// Everything that can go wrong in one cycle, and the exact lines it leaves.
TEST(TransferCycleTest, FailuresAreLoggedAndTheTotalsStillFollow) {
    GatewayScene scene;
    scene.settings.AutoUpdate = false;
    scene.AddRow(Row("Ann", "ann"));
    scene.AddRow(Row("Bob", "bob"));
    scene.pop.AddUser("bob", "another password");
    TransferCycle& cycle = scene.gateway.Cycle();
    bool updateChecked = false;
    cycle.CheckForUpdate = [&] { updateChecked = true; };
    cycle.AvailableVersion = [] { return std::string("9.01"); };
    cycle.SendOutgoingMail = [] { throw Exception("relay refused"); };
    cycle.FreeSpace = [] { return std::optional<std::uintmax_t>(1000); };
    scene.RunCycle();
    EXPECT_FALSE(updateChecked);
    const auto texts = scene.LogTexts();
    const auto begin = std::find(texts.begin(), texts.end(), "Beggining Mail Transfer");
    ASSERT_NE(begin, texts.end());
    ASSERT_GE(begin - texts.begin(), 2);
    EXPECT_EQ(*(begin - 1), "");
    EXPECT_EQ(*(begin - 2), "");
    EXPECT_EQ(*(begin + 1), "Connecting to Internet : Use Network");
    const auto totals = std::find(texts.begin(), texts.end(), "Checked mail for 2 user(s).");
    ASSERT_NE(totals, texts.end());
    const std::vector<std::string> tail(totals, texts.end());
    const std::vector<std::string> expected = {
        "Checked mail for 2 user(s).",
        "Received 0 message(s).",
        "Sent 0 message(s).",
        "Downloaded 0 attachment(s).",
        "Uploaded 0 attachment(s).",
        "Finished Mail Transfer",
        "QLK UPDATE : Your Current QLK version is 8.32, but 9.01 is available on the internet.",
        "If you don't have the newest version, please get it from ftp:/// as soon as possible.",
        "********** ERROR *********",
        "Drive C Low, QLK May Not Work, Please Free Space",
        "**********",
        "********** ERROR *********",
        "There were 4 error(s) during the transfer",
        "**********",
    };
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(Count(texts, "Error getting Mail : -ERR [AUTH] Authentication failed."), 1);
    EXPECT_EQ(Count(texts, "Error occurred during mailcheck for Bob"), 1);
    EXPECT_EQ(Count(texts, "Error Sending Mail : relay refused"), 1);
    EXPECT_FALSE(cycle.Busy);
}

class ScriptedLine : public DialUpConnection {
public:
    std::vector<std::string> calls;
    bool fail = false;
    std::vector<std::string> Entries() const override { return {"Office ISDN", "Provider"}; }
    void SetPassword(const std::string& password) override { calls.push_back("Password " + password); }
    void SetService(const std::string& entry) override { calls.push_back("Service " + entry); }
    void HangUp() override { calls.push_back("HangUp"); }
    void Abort() noexcept override { calls.push_back("Abort"); }
    void Dial() override {
        calls.push_back("Dial");
        if (fail) throw Exception("No answer");
    }
};

TEST(TransferCycleTest, DialUpIsDialledBeforeAndHungUpAfterAndAFailureSkipsTheTransfers) {
    for (const bool fail : {false, true}) {
        GatewayScene scene;
        ScriptedLine line;
        line.fail = fail;
        scene.gateway.SetRAS(&line);
        scene.settings.ConnectionIndex = 2;
        scene.settings.DialupPassword = "pw";
        scene.AddRow(Row("Ann", "ann"));
        int outbound = 0, updates = 0;
        scene.gateway.Cycle().SendOutgoingMail = [&] { ++outbound; };
        scene.gateway.Cycle().CheckForUpdate = [&] { ++updates; };
        scene.RunCycle();
        std::vector<std::string> expected = {"Password pw", "Service Provider", "Abort", "HangUp", "Dial"};
        if (fail) expected.insert(expected.end(), {"Abort", "HangUp"});
        expected.push_back("HangUp");
        EXPECT_EQ(line.calls, expected) << fail;
        EXPECT_TRUE(scene.Logged("Connecting to Internet : Provider")) << fail;
        EXPECT_EQ(scene.Logged("No answer"), fail);
        EXPECT_EQ(scene.gateway.Cycle().ConnectFailed, fail);
        EXPECT_EQ(outbound, fail ? 0 : 1);
        EXPECT_EQ(updates, 1);
        EXPECT_EQ(scene.pop.Connections() > 0, !fail);
        EXPECT_EQ(scene.gateway.Cycle().Tally().UsersChecked, fail ? 0 : 1);
    }
}

}  // namespace
}  // namespace qlk::test
