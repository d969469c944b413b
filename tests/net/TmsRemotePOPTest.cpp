#include "net/TmsRemotePOP.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "net/EConvertError.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "platform/EFCreateError.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ScriptServer;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

const std::vector<std::string> kLoginLines = {"USER joe", "PASS secret", "STAT"};

// Greeting, USER, PASS and STAT answered positively.
ScriptServer& PlayLogin(ScriptServer& server, const std::string& stat = "+OK 2 320") {
    return server.Send("+OK POP3 ready\r\n")
        .Line()
        .Send("+OK\r\n")
        .Line()
        .Send("+OK\r\n")
        .Line()
        .Send(stat + "\r\n");
}

struct PopClient {
    TmsRemotePOP pop;
    std::vector<std::string> events;
    test::TempDir dir;

    explicit PopClient(const ScriptServer& server) {
        // Plain on purpose: these scripts play the base protocol, no CAPA.
        pop.Server = "pop3://" + server.Address();
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.SetTimeOut(5);
        pop.SetMessageDirectory(dir.path().string());
        pop.OnError = [this](TagSocket&, std::string& msg) { events.push_back("error:" + msg); };
        pop.OnRetrieving = [this](TagSocket&, int n) { events.push_back("retrieving " + std::to_string(n)); };
        pop.OnRetrieved = [this](TagSocket&, int n) { events.push_back("retrieved " + std::to_string(n)); };
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct StatCase {
    std::string name;
    std::string reply;
    int count;
    long long size;
    std::string error;
};

class Pop3Stat : public ::testing::TestWithParam<StatCase> {};

TEST_P(Pop3Stat, ParsesOrRefusesTheCounts) {
    const auto& c = GetParam();
    ScriptServer server;
    PlayLogin(server, c.reply);
    server.Start();
    PopClient client(server);
    if (c.error.empty()) {
        client.pop.Connect();
    } else {
        try {
            client.pop.Connect();
            FAIL() << "accepted " << c.reply;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), c.error);
        }
    }
    EXPECT_EQ(client.pop.MessageCount, c.count);
    EXPECT_EQ(client.pop.MailboxSize, c.size);
    client.pop.Close();
    server.Join();
    EXPECT_EQ(server.ReceivedLines(), kLoginLines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pop3Stat,
    ::testing::Values(StatCase{"Plain", "+OK 2 320", 2, 320, ""},
                      StatCase{"TrailingText", "+OK 7 1200 messages", 7, 1200, ""},
                      StatCase{"Empty", "+OK 0 0", 0, 0, ""},
                      StatCase{"BeyondTwoGigabytes", "+OK 1 5000000000", 1, 5000000000LL, ""},
                      StatCase{"NoBlankKeepsOldValues", "+OK 5", -1, -1, ""},
                      StatCase{"NonNumericCount", "+OK x 320", -1, -1, "'x' is not a valid integer value"},
                      StatCase{"NonNumericSize", "+OK 2 big", -1, -1, "'big' is not a valid integer value"},
                      StatCase{"HugeCount", "+OK 99999999999 1", -1, -1,
                               "'99999999999' is not a valid integer value"}),
    [](const auto& p) { return p.param.name; });

TEST(Pop3Login, NegativeGreetingFailsWithTheLineAndKeepsTheSocket) {
    ScriptServer server;
    server.Send("-ERR too busy\r\n");
    server.Start();
    PopClient client(server);
    try {
        client.pop.Connect();
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(), "-ERR too busy");
    }
    EXPECT_TRUE(client.pop.Connected());
}

TEST(Pop3Login, MissingPropertiesFailBeforeAnyNetworkActivity) {
    TmsRemotePOP pop;
    std::vector<std::string> reported;
    pop.OnError = [&](TagSocket&, std::string& msg) { reported.push_back(msg); };
    EXPECT_THROW(pop.Connect(), ESocketError);
    pop.UserName = "joe";
    EXPECT_THROW(pop.Connect(), ESocketError);
    pop.Password = "pw";
    EXPECT_THROW(pop.Connect(), ESocketError);
    EXPECT_THAT(reported, ElementsAre("UserName property is required", "Password property is required",
                                      "Server property is required"));
}

TEST(Pop3Login, LineBreakInUserNameIsNeverSent) {
    ScriptServer server;
    server.Send("+OK ready\r\n");
    server.Start();
    PopClient client(server);
    client.pop.UserName = "joe\r\nDELE 1";
    EXPECT_THROW(client.pop.Connect(), ESocketError);
    client.pop.Close();
    server.Join();
    EXPECT_EQ(server.ReceivedBytes(), "");
}

// The file holds the sender's text: every stuffed "." taken off again (also
// across TCP segments) and the final "." line left out; a real last line "."
// stays.
TEST(Pop3Retrieve, StoresTheUnstuffedMessageUnderZeroBasedName) {
    const std::string message = "From: a@b\r\n\r\n.dot line\r\n..\r\n.\r\nend\r\n.\r\n";
    ScriptServer server;
    PlayLogin(server, "+OK 10 999")
        .Line()
        .Send("+OK 10 " + std::to_string(message.size()) + "\r\n")
        .Line()
        .SendSplit({"+OK\r\nFrom: a@b\r\n\r\n.", ".dot line\r\n...\r\n..\r\nend\r\n..\r\n.", "\r\n"});
    server.Start();
    PopClient client(server);
    std::vector<int> percents;
    client.pop.OnProgress = [&](TagSocket&, int perc, long long) { percents.push_back(perc); };
    client.pop.Connect();
    client.pop.Retrieve(9);
    EXPECT_EQ(test::ReadFileBytes(client.dir / "msg_9.eml"), message);
    EXPECT_THAT(client.Files(), ElementsAre("msg_9.eml"));
    EXPECT_THAT(client.events, ElementsAre("retrieving 9", "retrieved 9"));
    EXPECT_FALSE(percents.empty());
    client.pop.Close();
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("USER joe", "PASS secret", "STAT", "LIST 10", "RETR 10"));
}

struct FetchCase {
    std::string name;
    long long listed;
    std::vector<std::string> chunks;  // the RETR reply, as the server splits it
    enum Held { InMemory, CopyKept, InFile } held;
    std::string text;   // what Fetch returns, or FetchToFile writes
    std::string error;  // or what it raises (Permanent)
};

class Pop3Fetch : public ::testing::TestWithParam<FetchCase> {};

// RETR alone (the size comes from the listing), the text unstuffed as it
// arrives, a file only when asked; a message longer than its listed size
// allows is refused but read to its end, so the next RETR of the session
// works.
TEST_P(Pop3Fetch, ReturnsTheSendersTextAndStaysInStep) {
    const auto& c = GetParam();
    ScriptServer server;
    PlayLogin(server, "+OK 2 999").Line().SendSplit(c.chunks).Line().Send("+OK\r\nnext\r\n.\r\n");
    server.Start();
    PopClient client(server);
    client.pop.KeepCopies = c.held == FetchCase::CopyKept;
    client.pop.Connect();
    for (long long size : {c.listed, 6LL}) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        item->Size = size;
        client.pop.RemoteInfo.Add(std::move(item));
    }
    std::string text, error;
    try {
        text = c.held == FetchCase::InFile ? test::ReadFileBytes(client.pop.FetchToFile(0)) : client.pop.Fetch(0);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Permanent);
        error = e.what();
    }
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(error, c.error);
    if (c.held != FetchCase::InMemory && error.empty())
        EXPECT_EQ(test::ReadFileBytes(client.dir / "msg_0.eml"), c.text);
    else
        EXPECT_THAT(client.Files(), ElementsAre());
    EXPECT_EQ(client.pop.Fetch(1), "next\r\n");
    client.pop.Close();
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("USER joe", "PASS secret", "STAT", "RETR 1", "RETR 2"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pop3Fetch,
    ::testing::Values(
        FetchCase{"StuffingAcrossSegments", 40,
                  {"+OK\r\nFrom: a@b\r\n\r\n.", ".dot line\r\n...\r\n..\r\nend\r\n..\r\n.", "\r\n"},
                  FetchCase::InMemory, "From: a@b\r\n\r\n.dot line\r\n..\r\n.\r\nend\r\n.\r\n", ""},
        FetchCase{"CopyKept", 4, {"+OK\r\nx\r\n.\r\n"}, FetchCase::CopyKept, "x\r\n", ""},
        FetchCase{"Empty", 0, {"+OK\r\n.\r\n"}, FetchCase::InMemory, "", ""},
        FetchCase{"LongerThanListed", 10,
                  {"+OK\r\n" + std::string(static_cast<std::size_t>(TmsCustomPOP::MessageLimit(10)), 'x'),
                   "\r\n.\r\n"},
                  FetchCase::InMemory, "", "The message is longer than the 10 bytes the server listed"},
        // Written out a megabyte at a time, between lines: a stuffed line and
        // the final "." after the first write come out as in memory.
        FetchCase{"IntoFileInPieces", (1 << 20) + 20,
                  {"+OK\r\n" + std::string((1 << 20) - 2, 'x') + "\r\n", "..dot\r\nend\r\n.", "\r\n"},
                  FetchCase::InFile, std::string((1 << 20) - 2, 'x') + "\r\n.dot\r\nend\r\n", ""},
        // One line of several megabytes goes out in pieces too.
        FetchCase{"IntoFileOneLongLine", 5 << 20,
                  {"+OK\r\n" + std::string((3 << 20) + 5, 'y'), std::string(1 << 20, 'y') + "\r\n.\r\n"},
                  FetchCase::InFile, std::string((4 << 20) + 5, 'y') + "\r\n", ""},
        FetchCase{"IntoFileLongerThanListed", 10,
                  {"+OK\r\n" + std::string(static_cast<std::size_t>(TmsCustomPOP::MessageLimit(10)), 'x'),
                   "\r\n.\r\n"},
                  FetchCase::InFile, "", "The message is longer than the 10 bytes the server listed"}),
    [](const auto& p) { return p.param.name; });

// With PIPELINING in CAPA, the RETRs of the next messages go out before the
// first reply is read (the server reads both lines before it answers), and
// a DELE's refusal, read with the next reply, goes to its handler; QUIT
// waits for every reply still owed. Without it, one command at a time
// (Pop3Fetch above).
TEST(Pop3Pipelining, RetrsGoOutAheadAndDeleteRepliesAreReadLater) {
    ScriptServer server;
    server.Send("+OK POP3 ready\r\n");
    for (const char* reply : {"+OK\r\nPIPELINING\r\nUSER\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK 3 30\r\n"})
        server.Line().Send(reply);
    server.Line().Line().Send("+OK\r\none\r\n.\r\n+OK\r\ntwo\r\n.\r\n");
    server.Line().Line().Send("-ERR locked\r\n+OK\r\nthree\r\n.\r\n");
    server.Line().Send("+OK\r\n").Line().Send("+OK bye\r\n");
    server.Start();
    PopClient client(server);
    client.pop.Server = server.Address();
    std::vector<std::string> refused;
    client.pop.OnDeleteRefused = [&](int index, const std::string& reason) {
        refused.push_back(std::to_string(index) + " " + reason);
    };
    client.pop.Connect();
    ASSERT_TRUE(client.pop.OffersPipelining());
    for (int i = 0; i < 3; ++i) client.pop.RemoteInfo.Add(std::make_unique<TmsRemoteInfoItem>());
    client.pop.FetchAhead(0);
    client.pop.FetchAhead(1);
    EXPECT_EQ(client.pop.Fetch(0), "one\r\n");
    client.pop.DeleteQueued(0);
    client.pop.FetchAhead(2);
    EXPECT_EQ(client.pop.Fetch(1), "two\r\n");
    EXPECT_EQ(client.pop.Fetch(2), "three\r\n");
    EXPECT_THAT(refused, ElementsAre("0 -ERR locked"));
    client.pop.DeleteQueued(2);
    client.pop.Disconnect();
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("CAPA", "USER joe", "PASS secret", "STAT", "RETR 1", "RETR 2",
                                                    "DELE 1", "RETR 3", "DELE 3", "QUIT"));
}

// The window counts listed bytes as well as RETRs: one message always goes
// ahead, however large; the next waits while it would bring more than the
// window's bytes.
TEST(Pop3Pipelining, WindowBoundsTheBytesAhead) {
    ScriptServer server;
    server.Send("+OK POP3 ready\r\n");
    for (const char* reply : {"+OK\r\nPIPELINING\r\nUSER\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 30\r\n"})
        server.Line().Send(reply);
    server.Line().Send("+OK\r\none\r\n.\r\n").Line().Send("+OK\r\ntwo\r\n.\r\n").Line().Send("+OK bye\r\n");
    server.Start();
    PopClient client(server);
    client.pop.Server = server.Address();
    client.pop.Connect();
    for (long long size : {TmsRemotePOP::FetchWindowBytes, 10LL}) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        item->Size = size;
        client.pop.RemoteInfo.Add(std::move(item));
    }
    EXPECT_TRUE(client.pop.FetchAhead(0));
    EXPECT_FALSE(client.pop.FetchAhead(1));
    EXPECT_EQ(client.pop.Fetch(0), "one\r\n");
    EXPECT_EQ(client.pop.Fetch(1), "two\r\n");
    client.pop.Disconnect();
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("CAPA", "USER joe", "PASS secret", "STAT", "RETR 1", "RETR 2", "QUIT"));
}

// A server that ended the session (an idle log-out, a crash) leaves a
// connection that can carry no command: the next Connect logs in afresh
// instead of failing, and Disconnect only closes. The transcript never holds
// the password.
TEST(Pop3Session, ConnectionTheServerEndedIsLoggedInAfresh) {
    ScriptServer server;
    PlayLogin(server).Send("-ERR autologout\r\n").Drop().Accept();
    PlayLogin(server).Drop();
    server.Start();
    PopClient client(server);
    client.pop.LogFileName = (client.dir / "transcript.log").string();
    client.pop.Connect();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client.pop.Connect();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client.pop.Disconnect();
    EXPECT_FALSE(client.pop.Connected());
    server.Join();
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_THAT(server.ReceivedLines(),
                ElementsAre("USER joe", "PASS secret", "STAT", "USER joe", "PASS secret", "STAT"));
    EXPECT_THAT(client.pop.Transcript, ::testing::Contains("PASS ****"));
    EXPECT_THAT(client.pop.Transcript, ::testing::Not(::testing::Contains("PASS secret")));
    EXPECT_THAT(client.events, ElementsAre());
}

struct BrokenCase {
    std::string name;
    bool headersOnly;  // TOP through UpdateInfo instead of RETR
    std::string block;
    bool drop;
    std::string error;
};

class Pop3BrokenBlock : public ::testing::TestWithParam<BrokenCase> {};

// A block cut short, or one that never ends, fails the call (instead of
// exhausting memory), closes the connection and leaves no file.
TEST_P(Pop3BrokenBlock, FailsClosesAndLeavesNoFile) {
    const auto& c = GetParam();
    ScriptServer server;
    PlayLogin(server).Line().Send("+OK 1 100\r\n").Line().Send("+OK\r\n" + c.block);
    if (c.drop) server.Drop();
    server.Start();
    PopClient client(server);
    client.pop.Connect();
    EXPECT_THROW(c.headersOnly ? client.pop.UpdateInfo() : client.pop.Retrieve(0), ESocketError);
    EXPECT_FALSE(client.pop.Connected());
    EXPECT_THAT(client.Files(), ElementsAre());
    EXPECT_EQ(client.events.back(), "error:" + c.error);
}

std::string Endless(long long bound) {
    return std::string(static_cast<std::size_t>(bound) + 100000, 'x');
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pop3BrokenBlock,
    ::testing::Values(BrokenCase{"DropInTheMiddle", false, "From: a@b\r\n\r\nhalf of it", true,
                                 "[10053] Software caused connection abort"},
                      BrokenCase{"EndlessMessage", false, Endless(TmsCustomPOP::MessageLimit(100)), false,
                                 "Data block longer than " + std::to_string(TmsCustomPOP::MessageLimit(100)) +
                                     " bytes"},
                      BrokenCase{"EndlessHeaders", true, Endless(TmsRemotePOP::MaxHeaderBlock), false,
                                 "Data block longer than 4194304 bytes"}),
    [](const auto& p) { return p.param.name; });

struct ListCase {
    std::string name;
    std::string reply;
    int firstPercent;
};

class Pop3ListSize : public ::testing::TestWithParam<ListCase> {};

TEST_P(Pop3ListSize, BoundsTheProgressOfAnyClaimedSize) {
    std::string body(100000, 'x');
    ScriptServer server;
    PlayLogin(server).Line().Send(GetParam().reply + "\r\n").Line().Send("+OK\r\n" + body + "\r\n.\r\n");
    server.Start();
    PopClient client(server);
    std::vector<int> percents;
    client.pop.OnProgress = [&](TagSocket&, int perc, long long) { percents.push_back(perc); };
    client.pop.Connect();
    client.pop.Retrieve(0);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), GetParam().firstPercent);
    for (int perc : percents) EXPECT_GE(perc, -1);
    EXPECT_EQ(test::ReadFileBytes(client.dir / "msg_0.eml"), body + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Table, Pop3ListSize,
                         ::testing::Values(ListCase{"NoSize", "+OK 1", -1},
                                           ListCase{"NotANumber", "+OK 1 lots", -1},
                                           ListCase{"Overflowing", "+OK 1 99999999999999999999999", -1},
                                           ListCase{"Negative", "+OK 1 -5", -1},
                                           ListCase{"FarTooSmall", "+OK 1 1", 0},
                                           ListCase{"Huge", "+OK 1 9223372036854775807", 0}),
                         [](const auto& p) { return p.param.name; });

TEST(Pop3Retrieve, UserHandlerTakesTheMessageInsteadOfAFile) {
    ScriptServer server;
    PlayLogin(server).Line().Send("+OK 1 3\r\n").Line().Send("+OK\r\n.\r\n");
    server.Start();
    PopClient client(server);
    std::string saved;
    client.pop.OnUserMessageSave = [&](TagSocket&, int, const std::string& contents) { saved = contents; };
    client.pop.Connect();
    client.pop.Retrieve(0);
    EXPECT_EQ(saved, "");
    EXPECT_THAT(client.Files(), ElementsAre());
}

TEST(Pop3Retrieve, MissingFolderIsACreateErrorAndNoRetrievedEvent) {
    ScriptServer server;
    PlayLogin(server).Line().Send("+OK 1 3\r\n").Line().Send("+OK\r\n.\r\n");
    server.Start();
    PopClient client(server);
    client.pop.SetMessageDirectory((client.dir / "missing").string());
    client.pop.Connect();
    try {
        client.pop.Retrieve(0);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file " + (client.dir / "missing" / "msg_0.eml").string());
    }
    EXPECT_THAT(client.events, ElementsAre("retrieving 0"));
}

TEST(Pop3UpdateInfo, ListsSizesAndHeadersThenEndsTheSession) {
    ScriptServer server;
    PlayLogin(server, "+OK 2 300")
        .Line()
        .Send("+OK 1 100\r\n")
        .Line()
        .Send("+OK\r\nSubject: one\r\nFrom: a@b\r\n\r\nbody\r\n.\r\n")
        .Line()
        .Send("+OK 2 200\r\n")
        .Line()
        .Send("+OK\r\nSubject: two\r\n.\r\n")
        .Line()
        .Send("+OK bye\r\n");
    server.Start();
    PopClient client(server);
    std::vector<int> added;
    client.pop.OnNextInfoUpdated = [&](TagSocket&, int n) { added.push_back(n); };
    client.pop.UpdateInfo();
    EXPECT_FALSE(client.pop.Connected());
    ASSERT_EQ(client.pop.RemoteInfo.Count(), 2);
    EXPECT_EQ(client.pop.RemoteInfo.Items(0).Size, 100);
    EXPECT_THAT(client.pop.RemoteInfo.Items(0).Headers.Lines(), ElementsAre("Subject: one", "From: a@b"));
    EXPECT_THAT(client.pop.RemoteInfo.Items(1).Headers.Lines(), ElementsAre("Subject: two"));
    EXPECT_THAT(added, ElementsAre(0, 1));
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("USER joe", "PASS secret", "STAT", "LIST 1", "TOP 1 1",
                                                    "LIST 2", "TOP 2 1", "QUIT"));
}

TEST(Pop3UpdateInfo, EmptyMailboxGivesEmptyListAndProcessMarkedDoesNothing) {
    ScriptServer server;
    PlayLogin(server, "+OK 0 0").Line().Send("+OK\r\n");
    server.Start();
    PopClient client(server);
    client.pop.UpdateInfo();
    EXPECT_EQ(client.pop.RemoteInfo.Count(), 0);
    EXPECT_FALSE(client.pop.Connected());
    client.pop.ProcessMarked();
    server.Join();
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("USER joe", "PASS secret", "STAT", "QUIT"));
}

TEST(Pop3ProcessMarked, VerifiesThenRetrievesAndDeletesMarkedMessages) {
    auto verify = [](ScriptServer& server) -> ScriptServer& {
        return server.Line()
            .Send("+OK 2 abc-uid\r\n")
            .Line()
            .Send("+OK 2 20\r\n")
            .Line()
            .Send("+OK\r\nSubject: s\r\n\r\n.\r\n");
    };
    ScriptServer server;
    PlayLogin(server, "+OK 2 40")
        .Line()
        .Send("+OK 1 20\r\n")
        .Line()
        .Send("+OK\r\nSubject: a\r\n.\r\n")
        .Line()
        .Send("+OK 2 20\r\n")
        .Line()
        .Send("+OK\r\nSubject: s\r\n.\r\n")
        .Line()
        .Send("+OK\r\n")
        .Accept();
    PlayLogin(server, "+OK 2 40");
    verify(server).Line().Send("+OK 2 20\r\n").Line().Send("+OK\r\nSubject: s\r\n\r\nbody\r\n.\r\n");
    verify(server).Line().Send("+OK deleted\r\n").Line().Send("+OK bye\r\n");
    server.Start();
    PopClient client(server);
    client.pop.UpdateInfo();
    client.pop.RemoteInfo.Items(1).RetrieveMark = true;
    client.pop.RemoteInfo.Items(1).DeleteMark = true;
    client.pop.ProcessMarked();
    EXPECT_FALSE(client.pop.Connected());
    EXPECT_EQ(test::ReadFileBytes(client.dir / "msg_1.eml"), "Subject: s\r\n\r\nbody\r\n");
    server.Join();
    auto lines = server.ReceivedLines();
    std::vector<std::string> second(lines.begin() + 8, lines.end());
    EXPECT_THAT(second, ElementsAre("USER joe", "PASS secret", "STAT", "UIDL 2", "LIST 2", "TOP 2 1",
                                    "LIST 2", "RETR 2", "UIDL 2", "LIST 2", "TOP 2 1", "DELE 2", "QUIT"));
}

TEST(Pop3Session, RefusedDeleteIsAnErrorOfThatMessageAndQuitCommits) {
    ScriptServer server;
    PlayLogin(server).Line().Send("-ERR no such message\r\n").Line().Send("+OK\r\n");
    server.Start();
    PopClient client(server);
    std::vector<int> deleting;
    client.pop.OnDeleting = [&](TagSocket&, int n) { deleting.push_back(n); };
    client.pop.Connect();
    try {
        client.pop.Delete(4);
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(), "-ERR no such message");
        EXPECT_EQ(e.Kind(), ErrorKind::Permanent);
    }
    client.pop.Disconnect();
    client.pop.Disconnect();
    EXPECT_FALSE(client.pop.Connected());
    EXPECT_THAT(deleting, ElementsAre(4));
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("USER joe", "PASS secret", "STAT", "DELE 5", "QUIT"));
}

struct ListingCase {
    std::string name;
    std::string stat;
    std::string list;  // the LIST listing's lines, then "."
    std::string uidl;  // the UIDL reply whole
    std::vector<std::string> items;  // each message's size, then its ID if usable
    bool hasUids;
    std::string error;  // what ListMessages raises, "" for nothing
    int maxMessages = TmsRemotePOP::DefaultMaxMessages;
    long long leftForLater = 0;
};

class Pop3Listing : public ::testing::TestWithParam<ListingCase> {};

// One LIST and one UIDL give every message's size and unique ID, in the
// session that goes on; IDs that cannot identify a message are left empty.
TEST_P(Pop3Listing, GivesSizesAndUsableIds) {
    const auto& c = GetParam();
    ScriptServer server;
    PlayLogin(server, c.stat).Line().Send("+OK\r\n" + c.list);
    if (!c.uidl.empty()) server.Line().Send(c.uidl);
    server.Start();
    PopClient client(server);
    client.pop.MaxMessages = c.maxMessages;
    client.pop.Connect();
    std::string error;
    bool hasUids = false;
    try {
        hasUids = client.pop.ListMessages();
    } catch (const Exception& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.error);
    if (c.error.empty()) {
        EXPECT_EQ(hasUids, c.hasUids);
        EXPECT_TRUE(client.pop.Connected());
        std::vector<std::string> items;
        for (int i = 0; i < client.pop.RemoteInfo.Count(); ++i) {
            const TmsRemoteInfoItem& item = client.pop.RemoteInfo.Items(i);
            items.push_back(std::to_string(item.Size) + (item.UIDL.empty() ? "" : " " + item.UIDL));
        }
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(client.pop.MessagesLeftForLater(), c.leftForLater);
    }
    client.pop.Close();
    server.Join();
}

const std::string kLongUid(71, 'u');

INSTANTIATE_TEST_SUITE_P(
    Table, Pop3Listing,
    ::testing::Values(
        ListingCase{"Plain", "+OK 2 30", "1 10\r\n2 20\r\n.\r\n", "+OK\r\n1 a1\r\n2 b2\r\n.\r\n",
                    {"10 a1", "20 b2"}, true, ""},
        ListingCase{"NoUidl", "+OK 1 5", "1 5\r\n.\r\n", "-ERR unknown command\r\n", {"5"}, false, ""},
        ListingCase{"UnusableIds", "+OK 5 5", "1 1\r\n2 1\r\n3 1\r\n4 1\r\n5 1\r\n.\r\n",
                    "+OK\r\n1 same\r\n2 same\r\n3 " + kLongUid + "\r\n4 x\x7fy\r\n9 far\r\n.\r\n",
                    {"1", "1", "1", "1", "1"}, true, ""},
        ListingCase{"OneMessageTwoIds", "+OK 2 2", "1 1\r\n2 1\r\n.\r\n", "+OK\r\n1 a\r\n1 b\r\n.\r\n",
                    {"1", "1"}, true, ""},
        ListingCase{"DotsAndMissing", "+OK 2 2", "1 1\r\n2 x\r\n.\r\n", "+OK\r\n2 ..dots\r\n.\r\n",
                    {"1", "0 ..dots"}, true, ""},
        ListingCase{"Gap", "+OK 2 2", "1 1\r\n3 1\r\n.\r\n", "", {}, false,
                    "Unexpected line in the message list: 3 1"},
        ListingCase{"MoreThanStat", "+OK 1 2", "1 1\r\n2 1\r\n.\r\n", "", {}, false,
                    "Reply longer than 1 lines"},
        ListingCase{"BeyondTheSessionBound", "+OK 3 6", "1 1\r\n2 2\r\n3 3\r\n.\r\n",
                    "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n", {"1 a", "2 b"}, true, "", 2, 1}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
