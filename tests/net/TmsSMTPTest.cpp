#include "net/TmsSMTP.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "message/EMessageError.h"
#include "message/TmsMessage.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ScriptServer;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

struct WireCase {
    std::string name;
    std::string text;
    std::string wire;
};

class SmtpWireText : public ::testing::TestWithParam<WireCase> {};

TEST_P(SmtpWireText, StuffsDotsAndMendsLineEnds) {
    EXPECT_EQ(TmsSMTP::WireText(GetParam().text), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmtpWireText,
    ::testing::Values(WireCase{"Unchanged", "a\r\nb\r\n", "a\r\nb\r\n"},
                      WireCase{"LoneDot", "a\r\n.\r\nb\r\n", "a\r\n..\r\nb\r\n"},
                      WireCase{"LeadingDots", ".x\r\n..y\r\nz.\r\n", "..x\r\n...y\r\nz.\r\n"},
                      WireCase{"BareLf", "a\nb\n.c\n", "a\r\nb\r\n..c\r\n"},
                      WireCase{"BareCr", "a\rb\r.c", "a\r\nb\r\n..c"},
                      WireCase{"CrCrLf", "a\r\r\nb", "a\r\n\r\nb"},
                      WireCase{"NulKept", std::string("a\0.b\r\n", 6), std::string("a\0.b\r\n", 6)}),
    [](const auto& p) { return p.param.name; });

// A message with two To addresses, one CC and one BCC.
void FillMessage(TmsMessage& message) {
    message.Sender().Address = "me@here.example";
    message.Recipients().Add(std::make_unique<TmsMailAddress>("to1@there.example", "To One"));
    message.Recipients().Add(std::make_unique<TmsMailAddress>("to2@there.example", ""));
    message.CC().Add(std::make_unique<TmsMailAddress>("cc@there.example", "Cee"));
    message.BCC().Add(std::make_unique<TmsMailAddress>("bcc@there.example", ""));
    message.SetSubject("Hello");
    message.Body() = {"first line", ".", ".starts with a dot", "last"};
    // Fixed, so that writing the message twice gives the same text.
    message.Headers().Add("Date: Tue, 8 Dec 2026 10:00:00 +0000");
    message.Headers().Add("Message-ID: <1@here.example>");
}

std::string Encoded(TmsMessage& message) {
    std::ostringstream out;
    message.SaveToStream(out);
    return std::move(out).str();
}

// Greeting and HELO, both answered with multi-line replies.
ScriptServer& PlayLogin(ScriptServer& server) {
    return server.Send("220-smtp.example ESMTP\r\n220 ready\r\n")
        .Line()
        .Send("250-hello\r\n250 nice to meet you\r\n");
}

struct SmtpClient {
    test::TempDir tmp;
    std::string savedTmp;
    TmsMessage message;
    TmsSMTP smtp;
    std::vector<std::string> events;

    explicit SmtpClient(const ScriptServer& server) {
        // The temporary message file goes to a folder of the test's own.
        if (const char* old = std::getenv("TMPDIR")) savedTmp = old;
        setenv("TMPDIR", tmp.path().c_str(), 1);
        FillMessage(message);
        // Plain on purpose: these scripts play the HELO exchange of old.
        smtp.Server = "smtp://" + server.Address();
        smtp.SetTimeOut(5);
        smtp.MailMessage = &message;
        smtp.OnError = [this](TagSocket&, std::string& msg) { events.push_back("error:" + msg); };
        smtp.OnMailSent = [this](TagSocket&) { events.push_back("sent"); };
    }
    ~SmtpClient() {
        if (savedTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp.c_str(), 1);
    }
    bool TempFolderEmpty() const { return fs::is_empty(tmp.path()); }
};

// Login, then MAIL FROM and the four RCPT TO accepted.
ScriptServer& PlayEnvelopeAccepted(ScriptServer& server) {
    PlayLogin(server);
    for (int i = 0; i < 5; ++i) server.Line().Send("250 ok\r\n");
    return server;
}

const std::vector<std::string> kEnvelope = {"MAIL FROM:<me@here.example>", "RCPT TO:<to1@there.example>",
                                            "RCPT TO:<to2@there.example>", "RCPT TO:<cc@there.example>",
                                            "RCPT TO:<bcc@there.example>", "DATA"};

TEST(SmtpSendMail, WholeSessionWithStuffedTextAndFinalDot) {
    ScriptServer server;
    PlayEnvelopeAccepted(server);
    server.Line().Send("354 go ahead\r\n").Data().Send("250 queued\r\n").Line().Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    std::string expected = TmsSMTP::WireText(Encoded(client.message));
    client.smtp.SendMail();
    EXPECT_FALSE(client.smtp.Connected());
    server.Join();
    auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].substr(0, 5), "HELO ");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), kEnvelope);
    EXPECT_EQ(lines.back(), "QUIT");
    ASSERT_EQ(server.ReceivedData().size(), 1u);
    EXPECT_EQ(server.ReceivedData()[0], expected + ".\r\n");
    EXPECT_NE(expected.find("\r\n..\r\n"), std::string::npos);
    EXPECT_NE(expected.find("\r\n..starts with a dot\r\n"), std::string::npos);
    EXPECT_THAT(client.events, ElementsAre("sent"));
    EXPECT_TRUE(client.TempFolderEmpty());
}

// A server may check the whole message before it answers the final ".":
// that wait outlasts the general time-out.
TEST(SmtpSendMail, SlowReplyToTheMessageTextIsAwaited) {
    ScriptServer server;
    PlayEnvelopeAccepted(server);
    server.Line().Send("354 go ahead\r\n").Data().Stall(std::chrono::milliseconds(2500));
    server.Send("250 queued\r\n").Line().Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    client.smtp.SetTimeOut(1);
    client.smtp.SendMail();
    EXPECT_THAT(client.events, ElementsAre("sent"));
    EXPECT_EQ(client.smtp.TimeOut(), 1);
}

TEST(SmtpSendMail, BareHeloAfterTheNamedOneIsRefused) {
    ScriptServer server;
    server.Send("220 hi\r\n")
        .Line()
        .Send("501 bad name\r\n")
        .Line()
        .Send("250 ok\r\n")
        .Line()
        .Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    client.smtp.Open();
    client.smtp.Login();
    client.smtp.Disconnect();
    server.Join();
    auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "HELO");
    EXPECT_EQ(lines[2], "QUIT");
}

TEST(SmtpSendMail, HandlerThatProceedsSkipsTheRejectedRecipient) {
    ScriptServer server;
    PlayLogin(server).Line().Send("250 ok\r\n").Line().Send("550 no\r\n");
    for (int i = 0; i < 3; ++i) server.Line().Send("250 ok\r\n");
    server.Line().Send("354 go\r\n").Data().Send("250 ok\r\n").Line().Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    std::vector<std::string> rejected;
    client.smtp.OnAddressRejected = [&](TagSocket&, const std::string& address, const std::string& reply,
                                        bool& proceed) {
        rejected.push_back(address + " " + reply);
        proceed = true;
    };
    client.smtp.SendMail();
    EXPECT_THAT(rejected, ElementsAre("to1@there.example 550 no"));
    EXPECT_THAT(client.events, ElementsAre("sent"));
}

struct RefusalCase {
    std::string name;
    int acceptedBefore;  // commands answered "250 ok" before the refusal
    std::string reply;
    std::string command;  // the one refused
    ErrorKind kind;
};

class SmtpRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SmtpRefusal, FailsWithTheServersLineAndEndsWithQuit) {
    ScriptServer server;
    PlayLogin(server);
    for (int i = 0; i < GetParam().acceptedBefore; ++i) server.Line().Send("250 ok\r\n");
    server.Line().Send(GetParam().reply + "\r\n").Line().Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    try {
        client.smtp.SendMail();
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_EQ(e.what(), GetParam().reply);
        EXPECT_EQ(e.Reply().Command(), GetParam().command);
        EXPECT_EQ(e.Kind(), GetParam().kind);
    }
    EXPECT_FALSE(client.smtp.Connected());
    server.Join();
    EXPECT_EQ(server.ReceivedLines().back(), "QUIT");
    EXPECT_TRUE(client.TempFolderEmpty());
}

// A rejected recipient without a handler, and anything but a go-ahead to DATA.
INSTANTIATE_TEST_SUITE_P(
    Table, SmtpRefusal,
    ::testing::Values(RefusalCase{"RecipientWithoutHandler", 1, "550 no such user",
                                  "RCPT TO:<to1@there.example>", ErrorKind::Permanent},
                      RefusalCase{"DataAnswered250", 5, "250 ok", "DATA", ErrorKind::Transient},
                      RefusalCase{"DataRefused", 5, "554 no data today", "DATA", ErrorKind::Permanent},
                      RefusalCase{"DataFull", 5, "452 full", "DATA", ErrorKind::Transient}),
    [](const auto& p) { return p.param.name; });

// A line break would start a command of its own, "> NOTIFY=NEVER" an ESMTP
// parameter, a blank or "<" an address the relay reads otherwise.
TEST(SmtpSendMail, AddressThatWouldChangeTheCommandIsRefusedBeforeTheEnvelope) {
    const std::vector<std::string> addresses = {"cc@x\r\nRCPT TO:<victim@y>", "cc@x> NOTIFY=NEVER", "c c@x",
                                                "<cc@x"};
    ScriptServer server;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (i > 0) server.Accept();
        PlayLogin(server).Line().Send("221 bye\r\n");
    }
    server.Start();
    SmtpClient client(server);
    for (const std::string& address : addresses) {
        client.message.CC().Items(0).Address = address;
        EXPECT_THROW(client.smtp.SendMail(), EMessageError) << address;
    }
    server.Join();
    auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 2 * addresses.size());
    for (std::size_t i = 1; i < lines.size(); i += 2) EXPECT_EQ(lines[i], "QUIT");
    EXPECT_TRUE(client.events.empty());
}

TEST(SmtpSendMail, MissingOrInvalidMessageStillEndsTheSession) {
    ScriptServer server;
    PlayLogin(server).Line().Send("221 bye\r\n").Accept();
    PlayLogin(server).Line().Send("221 bye\r\n");
    server.Start();
    SmtpClient client(server);
    client.smtp.MailMessage = nullptr;
    EXPECT_THROW(client.smtp.SendMail(), ESocketError);
    EXPECT_THAT(client.events, ElementsAre("error:MailMessage property must be assigned"));
    client.smtp.MailMessage = &client.message;
    client.message.Sender().Address = "";
    EXPECT_THROW(client.smtp.SendMail(), EMessageError);
    server.Join();
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(server.ReceivedLines().back(), "QUIT");
}

TEST(SmtpSendMail, RefusedConnectionIsReportedOnceAndSendsNothing) {
    TmsMessage message;
    FillMessage(message);
    TmsSMTP smtp;
    smtp.Server = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    smtp.MailMessage = &message;
    std::vector<std::string> reported;
    smtp.OnError = [&](TagSocket&, std::string& msg) { reported.push_back(msg); };
    EXPECT_THROW(smtp.SendMail(), ESocketError);
    EXPECT_THAT(reported, ElementsAre("[10061] Connection refused"));
    EXPECT_FALSE(smtp.Connected());
}

TEST(SmtpSendMail, DropDuringDataFailsAndLeavesNoTemporaryFile) {
    ScriptServer server;
    PlayEnvelopeAccepted(server);
    server.Line().Send("354 go\r\n").Bytes(10).Abort();
    server.Start();
    SmtpClient client(server);
    // Large enough that the drop arrives while the text is still going out.
    client.message.Body().assign(200000, "a line of body text that fills the socket buffers");
    EXPECT_THROW(client.smtp.SendMail(), ESocketError);
    EXPECT_FALSE(client.smtp.Connected());
    EXPECT_TRUE(client.TempFolderEmpty());
}

}  // namespace
}  // namespace qlk
