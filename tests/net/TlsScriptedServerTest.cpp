// What the mail clients do around TLS with servers that misbehave, played by
// scripted servers that cannot speak TLS themselves: the handshake part of
// each script is garbage, a hang-up, or a reply forged ahead of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "message/TmsMessage.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"
#include "support/ErrorCode.h"
#include "support/ScriptServer.h"

namespace qlk {
namespace {

using test::ScriptServer;

struct UpgradeCase {
    std::string name;
    bool smtp;
    // Sent with the go-ahead to STLS/STARTTLS in one write, then sent once
    // the client has begun its handshake; then the server hangs up.
    std::string withGoAhead;
    std::string later;
    std::string error;
};

const std::string kForged = "Server sent data before the TLS handshake";

class TlsUpgradeFailure : public ::testing::TestWithParam<UpgradeCase> {};

// Once TLS was offered, a failed upgrade ends the session: the user name and
// password are never sent, in plain or at all.
TEST_P(TlsUpgradeFailure, EndsTheSessionWithoutFallingBackToPlain) {
    const auto& c = GetParam();
    ScriptServer server;
    std::vector<std::string> expected;
    if (c.smtp) {
        server.Send("220 relay\r\n").Line().Send("250-relay\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n");
        server.Line().Send("220 go ahead\r\n" + c.withGoAhead);
        expected = {"STARTTLS"};
    } else {
        server.Send("+OK ready\r\n").Line().Send("+OK\r\nUSER\r\nSTLS\r\n.\r\n");
        server.Line().Send("+OK begin TLS\r\n" + c.withGoAhead);
        expected = {"CAPA", "STLS"};
    }
    server.Stall(std::chrono::milliseconds(200));
    if (!c.later.empty()) server.Send(c.later);
    server.Drop();
    server.Start();
    TmsRemotePOP pop;
    TmsSMTP smtp;
    TmsMailBase& client = c.smtp ? static_cast<TmsMailBase&>(smtp) : pop;
    client.Server = server.Address();
    client.SetTimeOut(5);
    pop.UserName = smtp.UserID = "joe";
    pop.Password = smtp.Password = "secret";
    try {
        client.Connect();
        FAIL() << "logged in";
    } catch (const ESocketError& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith(c.error));
    }
    EXPECT_FALSE(client.Connected());
    server.Join();
    auto lines = server.ReceivedLines();
    if (c.smtp) lines.erase(lines.begin());  // EHLO
    EXPECT_EQ(lines, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsUpgradeFailure,
    ::testing::Values(UpgradeCase{"Pop3ForgedReply", false, "+OK forged\r\n", "", kForged},
                      UpgradeCase{"SmtpForgedReply", true, "250 forged\r\n", "", kForged},
                      UpgradeCase{"Pop3NotTls", false, "", "-ERR what is this?\r\n",
                                  "TLS handshake with 127.0.0.1 failed: "},
                      UpgradeCase{"SmtpHangsUp", true, "", "",
                                  "TLS handshake with 127.0.0.1 failed: the server closed the connection"}),
    [](const auto& p) { return p.param.name; });

// A bare host, so that TLS is used when offered.
void AimAt(TmsRemotePOP& pop, const ScriptServer& server) {
    pop.Server = server.Address();
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.SetTimeOut(5);
}

TEST(TlsUpgrade, RefusedStlsIsAServerErrorAndNothingElseIsSent) {
    ScriptServer server;
    server.Send("+OK ready\r\n").Line().Send("+OK\r\nSTLS\r\n.\r\n").Line().Send("-ERR not now\r\n");
    server.Start();
    TmsRemotePOP pop;
    AimAt(pop, server);
    EXPECT_THROW(pop.Connect(), EServerError);
    pop.Close();
    server.Join();
    EXPECT_EQ(server.ReceivedLines(), (std::vector<std::string>{"CAPA", "STLS"}));
}

// A server that offers no TLS is used in plain, and the client says so.
TEST(TlsUpgrade, ServerWithoutTlsGetsThePasswordInClearAndItIsReported) {
    ScriptServer server;
    server.Send("+OK ready\r\n").Line().Send("-ERR what?\r\n");
    for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK bye\r\n"}) server.Line().Send(reply);
    server.Start();
    TmsRemotePOP pop;
    AimAt(pop, server);
    pop.Connect();
    EXPECT_TRUE(pop.PasswordInClear());
    EXPECT_FALSE(pop.TlsActive());
    pop.Disconnect();
    server.Join();
    EXPECT_EQ(server.ReceivedLines(),
              (std::vector<std::string>{"CAPA", "USER joe", "PASS secret", "STAT", "QUIT"}));
}

struct LoginCase {
    std::string name;
    std::string server;  // "smtp://" on purpose, or a bare host
    std::string mechanisms;
    std::vector<std::string> script;  // replies after EHLO, one per line the client sends
    std::vector<std::string> expected;
    std::string error;
    bool inClear;
    // The failure: always Transient (the message is kept), with this code.
    int code;
    std::string token = {};
    bool whenAsked = false;
};

class SmtpLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(SmtpLogin, SendsCredentialsOnlyWhereAllowedAndKeepsMessagesOnRefusal) {
    const auto& c = GetParam();
    ScriptServer server;
    server.Send("220 relay\r\n").Line().Send("250-relay\r\n250 AUTH " + c.mechanisms + "\r\n");
    for (const auto& reply : c.script) server.Line().Send(reply + "\r\n");
    server.Start();
    TmsMessage message;
    message.Sender().Address = "joe@example.org";
    message.Recipients().Add(std::make_unique<TmsMailAddress>("ann@example.org", ""));
    TmsSMTP smtp;
    smtp.Server = c.server + server.Address();
    smtp.SetTimeOut(5);
    smtp.UserID = "joe";
    smtp.Password = "secret";
    smtp.AccessToken = c.token;
    smtp.LoginOnlyWhenAsked = c.whenAsked;
    smtp.MailMessage = &message;
    std::vector<std::string> shown;
    smtp.OnLineSent = [&](TagSocket&, const std::string& line) { shown.push_back(line); };
    std::string error;
    try {
        smtp.SendMail();
    } catch (const Exception& e) {
        error = e.what();
        EXPECT_EQ(e.Kind(), ErrorKind::Transient);
        EXPECT_EQ(test::ErrorCode(e), c.code);
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(smtp.PasswordInClear(), c.inClear);
    server.Join();
    auto lines = server.ReceivedLines();
    lines.erase(lines.begin());  // EHLO
    EXPECT_EQ(lines, c.expected);
    // What reaches logs never holds the password.
    for (const auto& line : shown) {
        EXPECT_EQ(line.find("c2VjcmV0"), std::string::npos) << line;
        EXPECT_EQ(line.find("AGpvZQBzZWNyZXQ="), std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmtpLogin,
    ::testing::Values(
        // "joe" and "secret" in base64: am9l, c2VjcmV0; PLAIN: \0joe\0secret.
        LoginCase{"PlainOnPurpose",
                  "smtp://",
                  "LOGIN PLAIN",
                  {"235 ok", "451 4.3.0 later", "221 bye"},
                  {"AUTH PLAIN AGpvZQBzZWNyZXQ=", "MAIL FROM:<joe@example.org>", "QUIT"},
                  "451 4.3.0 later",
                  true,
                  451},
        LoginCase{"LoginOnPurpose",
                  "smtp://",
                  "LOGIN",
                  {"334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", "535 5.7.8 no", "221 bye"},
                  {"AUTH LOGIN", "am9l", "c2VjcmV0", "QUIT"},
                  "Log-in refused: 535 5.7.8 no",
                  true,
                  535},
        // Mechanisms the client lacks count as no AUTH, until the relay asks.
        LoginCase{"UnknownMechanism", "smtp://", "CRAM-MD5 XOAUTH2",
                  {"530 5.7.0 Authentication required", "221 bye"},
                  {"MAIL FROM:<joe@example.org>", "QUIT"},
                  "127.0.0.1 wants a log-in but offers no log-in method the gateway knows: CRAM-MD5 XOAUTH2",
                  false, 530},
        LoginCase{"AskedForBy530", "smtp://", "PLAIN",
                  {"530 5.7.0 Authentication required", "235 ok", "451 4.3.0 later", "221 bye"},
                  {"MAIL FROM:<joe@example.org>", "AUTH PLAIN AGpvZQBzZWNyZXQ=",
                   "MAIL FROM:<joe@example.org>", "QUIT"},
                  "451 4.3.0 later", true, 451, {}, true},
        // A token refused: XOAUTH2 answers the server's error challenge with
        // an empty line; the password never goes.
        LoginCase{"XOAuth2Refused", "smtp://", "PLAIN XOAUTH2",
                  {"334 eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=", "535 5.7.8 bad token", "221 bye"},
                  {"AUTH XOAUTH2 dXNlcj1qb2UBYXV0aD1CZWFyZXIgdG9rAQE=", "", "QUIT"},
                  "Log-in refused: 535 5.7.8 bad token", true, 535, "tok"},
        // A bare host without STARTTLS: the password is kept back, and the
        // server's demand for it is no verdict on the message.
        LoginCase{"WithheldWithoutTls",
                  "",
                  "PLAIN",
                  {"530 5.7.0 Authentication required", "221 bye"},
                  {"MAIL FROM:<joe@example.org>", "QUIT"},
                  "127.0.0.1 wants a log-in but offers no TLS; the password is not sent in clear",
                  false,
                  530}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
