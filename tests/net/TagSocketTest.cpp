#include "net/TagSocket.h"

#include <netdb.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "net/ECanceledError.h"
#include "net/ESocketError.h"
#include "net/ETimedOutError.h"
#include "net/SocketMessages.h"
#include "net/TTempFileStream.h"
#include "platform/EventPump.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ScriptServer;
using ::testing::ElementsAre;
using namespace std::chrono_literals;

// A socket connected to `server`, recording the events it fires.
struct Client {
    TagSocket socket;
    std::vector<std::string> events;

    explicit Client(const ScriptServer& server, int timeOut = 5) {
        socket.Server = server.Address();
        socket.SetTimeOut(timeOut);
        socket.OnError = [this](TagSocket&, std::string& msg) { events.push_back("error:" + msg); };
        socket.OnCancel = [this](TagSocket&) { events.push_back("cancel"); };
        socket.Reset();
        socket.Open();
        socket.ConnectSocket();
    }
};

TEST(SocketMessages, TextsKeepWinsockNumbering) {
    EXPECT_EQ(SocketMessageText(WinsockCodeFromErrno(ECONNREFUSED)), "[10061] Connection refused");
    EXPECT_EQ(SocketMessageText(WinsockCodeFromErrno(ECONNRESET)), "[10054] Connection reset by peer");
    EXPECT_EQ(SocketMessageText(WinsockCodeFromResolver(EAI_NONAME, 0)), "[11001] Host not found");
    EXPECT_EQ(SocketMessageText(10013), "[10013] Permission denied.");
    EXPECT_EQ(SocketMessageText(10000), "[0] No Error");
    EXPECT_EQ(SocketMessageText(10100), "Error #10100");
    EXPECT_EQ(SocketMessageText(57008), "You have to connect to the server first");
}

// Names table cases after their `name` field.
struct CaseName {
    template <class Info>
    std::string operator()(const Info& testInfo) const {
        return testInfo.param.name;
    }
};

struct PortCase {
    std::string server;
    std::string service;
    std::uint16_t defaultPort;
    std::uint16_t expected;
};

class SocketPort : public ::testing::TestWithParam<PortCase> {};

TEST_P(SocketPort, ComesFromServerElseServiceElseDefault) {
    const auto& c = GetParam();
    TagSocket socket;
    socket.Server = c.server;
    socket.ServiceName = c.service;
    socket.DefaultPort = c.defaultPort;
    socket.Open();
    EXPECT_EQ(socket.Port(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketPort,
    ::testing::Values(PortCase{"127.0.0.1:2525", "smtp", 1, 2525}, PortCase{"127.0.0.1:", "smtp", 1, 25},
                      PortCase{"127.0.0.1:x25", "pop3", 1, 110}, PortCase{"127.0.0.1:0", "pop3", 1, 110},
                      PortCase{"127.0.0.1:70000", "pop3", 1, 110},
                      PortCase{"127.0.0.1", "no-such-service-qlk", 4321, 4321},
                      PortCase{"[::1]:2526", "smtp", 1, 2526}, PortCase{"::1", "smtp", 1, 25}));

TEST(SocketOpen, NeedsServerAndServiceName) {
    TagSocket socket;
    std::string reported;
    socket.OnError = [&](TagSocket&, std::string& msg) { reported = msg; };
    EXPECT_THROW(socket.Open(), ESocketError);
    EXPECT_EQ(reported, "Server property is required");
    socket.Server = "127.0.0.1";
    EXPECT_THROW(socket.Open(), ESocketError);
    EXPECT_EQ(reported, "Service name is required");
}

TEST(SocketConnect, RefusalReportsWinsockTextThroughOnErrorFirst) {
    TagSocket socket;
    socket.Server = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    std::string reported;
    socket.OnError = [&](TagSocket&, std::string& msg) {
        reported = msg;
        msg = "rewritten: " + msg;
    };
    socket.Open();
    try {
        socket.ConnectSocket();
        FAIL() << "connected to a closed port";
    } catch (const ESocketError& e) {
        EXPECT_EQ(reported, "[10061] Connection refused");
        EXPECT_STREQ(e.what(), "rewritten: [10061] Connection refused");
    }
    EXPECT_FALSE(socket.Connected());
}

struct LineCase {
    std::string name;
    std::vector<std::string> segments;
    int code;
    std::string line;
};

class SocketReadLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SocketReadLine, AssemblesOneLineWithoutItsEnd) {
    ScriptServer server;
    server.SendSplit(GetParam().segments).Drop();
    server.Start();
    Client client(server);
    std::string line;
    EXPECT_EQ(client.socket.ReadLine(line), GetParam().code);
    EXPECT_EQ(line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketReadLine,
    ::testing::Values(LineCase{"Whole", {"250 ok\r\n"}, 250, "250 ok"},
                      LineCase{"Split", {"2", "50 o", "k\r", "\n"}, 250, "250 ok"},
                      LineCase{"BareLf", {"250 ok\n"}, 250, "250 ok"},
                      LineCase{"CodeOnly", {"250\r\n"}, 250, "250"},
                      LineCase{"NotNumeric", {"+OK fine\r\n"}, -1, "+OK fine"},
                      LineCase{"NulKept", {std::string("250 a\0b\r\n", 9)}, 250, std::string("250 a\0b", 7)},
                      LineCase{"DropMidLine", {"250 no end"}, -1, ""}),
    CaseName());

TEST(SocketReadLine, NeverTakesBytesOfTheNextLine) {
    ScriptServer server;
    server.Send("+OK one\r\n+OK two\r\nDATA\r\n.\r\n");
    server.Start();
    Client client(server);
    std::string line;
    client.socket.ReadLine(line);
    EXPECT_EQ(line, "+OK one");
    client.socket.ReadLine(line);
    EXPECT_EQ(line, "+OK two");
    std::ostringstream block;
    client.socket.ReceiveToStream(block, -1);
    EXPECT_EQ(block.str(), "DATA\r\n.\r\n");
}

TEST(SocketReadLine, TakesALineOfTheBoundWholeAndALongerOneOnlyWhenTheBoundIsRaised) {
    std::string longest = "250 " + std::string(TagSocket::DefaultMaxLineLength - 4, 'x');
    std::string challenge = "+ " + std::string(64 * 1024, 'c');
    ScriptServer server;
    server.Send(longest + "\r\n" + challenge + "\r\n" + longest + "y\r\n");
    server.Start();
    Client client(server);
    std::string line;
    EXPECT_EQ(client.socket.ReadLine(line), 250);
    EXPECT_EQ(line, longest);
    client.socket.MaxLineLength = 128 * 1024;
    client.socket.ReadLine(line);
    EXPECT_EQ(line, challenge);
    client.socket.MaxLineLength = TagSocket::DefaultMaxLineLength;
    EXPECT_THROW(client.socket.ReadLine(line), ESocketError);
    EXPECT_THAT(client.events, ElementsAre("error:Reply line longer than 8192 bytes"));
    EXPECT_FALSE(client.socket.Connected());
}

TEST(SocketReadReply, ConsumesContinuationLinesUpToALastLineWithOrWithoutText) {
    ScriptServer server;
    server.SendSplit({"250-first\r\n250-sec", "ond\r\n250 last\r\n", "220-next\r\n220\r\n", "221 bye\r\n"});
    server.Start();
    Client client(server);
    EXPECT_EQ(client.socket.ReadReply(), 250);
    EXPECT_EQ(client.socket.LastReply(), "250 last");
    EXPECT_EQ(client.socket.ReadReply(), 220);
    EXPECT_EQ(client.socket.LastReply(), "220");
    EXPECT_EQ(client.socket.ReadReply(), 221);
}

TEST(SocketWait, ServerThatNeverAnswersTimesOut) {
    ScriptServer server;
    server.Stall(3s);
    server.Start();
    Client client(server, 1);
    std::string line;
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.socket.ReadLine(line), ETimedOutError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_THAT(client.events, ElementsAre("error:Operation timed out"));
    EXPECT_FALSE(client.socket.Connected());
}

TEST(SocketWait, CancelFromTheEventPumpEndsTheWait) {
    ScriptServer server;
    server.Stall(3s);
    server.Start();
    Client client(server, 10);
    int pumped = 0;
    auto previous = SetMessagePump([&] {
        if (++pumped == 3) client.socket.Cancel();
    });
    std::string line;
    EXPECT_THROW(client.socket.ReadLine(line), ECanceledError);
    SetMessagePump(previous);
    EXPECT_THAT(client.events, ElementsAre("cancel", "error:Operation has been canceled"));
    EXPECT_FALSE(client.socket.Connected());
}

TEST(SocketWait, ResetByPeerIsReportedAndCloses) {
    ScriptServer server;
    server.Line().Abort();
    server.Start();
    Client client(server);
    client.socket.SendLine("HELLO");
    std::string line;
    EXPECT_THROW(client.socket.ReadLine(line), ESocketError);
    EXPECT_THAT(client.events, ElementsAre("error:[10054] Connection reset by peer"));
    EXPECT_FALSE(client.socket.Connected());
}

struct BlockCase {
    std::string name;
    std::vector<std::string> segments;
    std::string block;
};

class SocketReceive : public ::testing::TestWithParam<BlockCase> {};

TEST_P(SocketReceive, FindsTheEndAcrossSegmentsAndStopsThere) {
    ScriptServer server;
    auto segments = GetParam().segments;
    segments.push_back("+OK after\r\n");
    server.SendSplit(segments);
    server.Start();
    Client client(server);
    std::ostringstream block;
    client.socket.ReceiveToStream(block, -1);
    EXPECT_EQ(block.str(), GetParam().block);
    std::string line;
    client.socket.ReadLine(line);
    EXPECT_EQ(line, "+OK after");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketReceive,
    ::testing::Values(
        BlockCase{"OneSegment", {"a\r\n..b\r\n.\r\n"}, "a\r\n..b\r\n.\r\n"},
        BlockCase{"EndSplitAfterDot", {"a\r\n.", "\r\n"}, "a\r\n.\r\n"},
        BlockCase{"EndSplitBeforeDot", {"a\r", "\n", ".\r", "\n"}, "a\r\n.\r\n"},
        BlockCase{"OnlyTheEndLine", {".\r\n"}, ".\r\n"},
        BlockCase{"DotLineInsideIsNotTheEnd", {"a\r\n.x\r\n", "b\r\n.\r\n"}, "a\r\n.x\r\nb\r\n.\r\n"},
        BlockCase{"NulBytes", {std::string("a\0b\r\n.\r\n", 8)}, std::string("a\0b\r\n.\r\n", 8)}),
    CaseName());

TEST(SocketReceive, LargeBlockReportsProgressAgainstExpectedSize) {
    std::string body;
    for (int i = 0; i < 5000; ++i) body += "line " + std::to_string(i) + " of the message text\r\n";
    body += ".\r\n";
    ScriptServer server;
    server.Send(body);
    server.Start();
    Client client(server);
    std::vector<int> percents;
    client.socket.OnProgress = [&](TagSocket&, int perc, long long) { percents.push_back(perc); };
    std::ostringstream block;
    client.socket.ReceiveToStream(block, static_cast<long long>(body.size()));
    EXPECT_EQ(block.str(), body);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_LE(percents.back(), 100);
}

TEST(SocketReceive, DropInTheMiddleFailsAtOnce) {
    ScriptServer server;
    server.Send("From: a\r\n\r\npart of the te").Drop();
    server.Start();
    Client client(server, 30);
    std::ostringstream block;
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.socket.ReceiveToStream(block, 1000), ESocketError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_THAT(client.events, ElementsAre("error:[10053] Software caused connection abort"));
    EXPECT_FALSE(client.socket.Connected());
}

TEST(SocketReceive, BlockBeyondItsBoundFailsAndCloses) {
    ScriptServer server;
    server.Send(std::string(100000, 'x'));
    server.Start();
    Client client(server);
    std::ostringstream block;
    EXPECT_THROW(client.socket.ReceiveToStream(block, -1, 50000), ESocketError);
    EXPECT_THAT(client.events, ElementsAre("error:Data block longer than 50000 bytes"));
    EXPECT_FALSE(client.socket.Connected());
    EXPECT_LT(block.str().size(), 50000u + TagSocket::ReceiveChunk * 2);
}

TEST(SocketReceive, SocketClosedByAHandlerEndsTheWaitAtOnce) {
    ScriptServer server;
    server.Send("part of a block").Stall(3s);
    server.Start();
    Client client(server, 10);
    client.socket.OnProgress = [&](TagSocket& sender, int, long long) { sender.Close(); };
    std::ostringstream block;
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.socket.ReceiveToStream(block, -1), ESocketError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(SocketSend, LinesAndStreamsGoOutAsGiven) {
    std::string text(100000, 'z');
    ScriptServer server;
    server.Line().Bytes(text.size());
    server.Start();
    Client client(server);
    std::vector<std::string> sent;
    client.socket.OnLineSent = [&](TagSocket&, const std::string& line) { sent.push_back(line); };
    std::vector<std::pair<int, long long>> progress;
    client.socket.OnProgress = [&](TagSocket&, int perc, long long n) { progress.emplace_back(perc, n); };
    client.socket.SendLine("MAIL FROM:<a@b>");
    std::istringstream stream(text);
    client.socket.SendStream(stream);
    client.socket.Close();
    server.Join();
    EXPECT_THAT(server.ReceivedLines(), ElementsAre("MAIL FROM:<a@b>"));
    EXPECT_EQ(server.ReceivedData().at(0), text);
    EXPECT_THAT(sent, ElementsAre("MAIL FROM:<a@b>"));
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[progress.size() - 2], std::make_pair(100, 100000LL));
    EXPECT_EQ(progress.back(), std::make_pair(0, 0LL));
}

TEST(SocketTranscript, KeepsLinesAndHidesTheMessageBody) {
    test::TempDir dir;
    std::string logFile = (dir / "transcript.txt").string();
    {
        ScriptServer server;
        server.Send("220 hi\r\n").Line().Bytes(4);
        server.Start();
        Client client(server);
        client.socket.LogFileName = logFile;
        client.socket.ReadReply();
        client.socket.SendLine("HELO me");
        std::istringstream body("body");
        client.socket.SendStream(body);
    }
    EXPECT_EQ(test::ReadFileBytes(logFile), "220 hi\nHELO me\nSuppressing the message body\n");
}

TEST(TempFileStream, LivesInTmpdirAsMsAndGoesWhenFreed) {
    test::TempDir dir;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    std::string name;
    {
        TTempFileStream file;
        name = file.FileName();
        file << "abc";
        EXPECT_EQ(file.Size(), 3);
        EXPECT_TRUE(std::filesystem::exists(name));
    }
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(std::filesystem::path(name).parent_path(), dir.path());
    EXPECT_EQ(std::filesystem::path(name).filename().string().substr(0, 2), "ms");
    EXPECT_FALSE(std::filesystem::exists(name));
}

}  // namespace
}  // namespace qlk
