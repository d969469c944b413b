// Every kind of failure, as each line-protocol client meets it: a scripted
// server answers the command under test with a temporary or a permanent
// refusal, breaks off in the middle of its reply, resets the connection,
// says nothing until the time-out, or is cancelled while the client waits.
#include <gtest/gtest.h>

#include <optional>

#include "message/TmsMessage.h"
#include "net/EServerError.h"
#include "net/TagFTP.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"
#include "platform/EventPump.h"
#include "support/ErrorCode.h"
#include "support/ScriptServer.h"

namespace qlk {
namespace {

using test::ScriptServer;

enum class Protocol { Pop3, Smtp, Ftp };

// The server's part: a reply (one without its final line end is cut short
// by a hang-up), or one of these.
constexpr const char* kReset = "RESET";
constexpr const char* kSilent = "SILENT";
constexpr const char* kCancel = "CANCEL";

struct KindCase {
    const char* name;
    Protocol protocol;
    std::string answer;  // to the command under test
    ErrorKind kind;
    int code;  // test::ErrorCode
};

// The client of each protocol, driven up to the command under test: POP3's
// and FTP's password, SMTP's MAIL FROM.
struct Session {
    TmsRemotePOP pop;
    TmsSMTP smtp;
    TagFTP ftp;
    TmsMessage message;
    std::string command = "PASS ****";

    TagSocket& Prepare(Protocol protocol, ScriptServer& server) {
        if (protocol == Protocol::Pop3) {
            server.Send("+OK ready\r\n").Line().Send("+OK\r\n").Line();
            pop.Server = "pop3://" + server.Address();
            pop.UserName = "joe";
            pop.Password = "secret";
            return pop;
        }
        if (protocol == Protocol::Ftp) {
            server.Send("220 ready\r\n").Line().Send("331 password\r\n").Line();
            ftp.Server = server.Address();
            ftp.Password = "secret";
            return ftp;
        }
        server.Send("220 ready\r\n").Line().Send("250 hi\r\n").Line();
        smtp.Server = "smtp://" + server.Address();
        message.Sender().Address = "joe@example.org";
        message.Recipients().AddAddress("ann@example.org", "");
        smtp.MailMessage = &message;
        command = "MAIL FROM:<joe@example.org>";
        return smtp;
    }

    void Run(Protocol protocol) {
        if (protocol == Protocol::Pop3) return pop.Connect();
        if (protocol == Protocol::Ftp) return ftp.Connect();
        smtp.Connect();
        smtp.Send();
    }
};

class FailureKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FailureKinds, TellWhatTheFailureIsWhateverItsText) {
    const KindCase& c = GetParam();
    ScriptServer server;
    Session session;
    TagSocket& client = session.Prepare(c.protocol, server);
    if (c.answer == kReset) {
        server.Abort();
    } else if (c.answer != kSilent && c.answer != kCancel) {
        server.Send(c.answer);
        if (!c.answer.ends_with("\r\n")) server.Drop();
    }
    server.Start();
    client.SetTimeOut(1);
    std::optional<ErrorKind> reported;
    client.OnError = [&](TagSocket& sender, std::string& msg) {
        reported = sender.ReportedKind();
        msg = "rewritten";
    };
    bool armed = false;
    client.OnLineSent = [&](TagSocket&, const std::string& line) { armed = line == session.command; };
    auto previous = SetMessagePump([&] {
        if (armed && c.answer == kCancel) client.Cancel();
    });
    try {
        session.Run(c.protocol);
        ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Kind(), c.kind);
        EXPECT_EQ(test::ErrorCode(e), c.code);
        if (const auto* refusal = dynamic_cast<const EServerError*>(&e)) {
            EXPECT_EQ(refusal->Reply().Command(), session.command);
            EXPECT_FALSE(reported);
        } else {
            // What OnError was told and what it left is what is raised.
            EXPECT_EQ(reported, c.kind);
            EXPECT_STREQ(e.what(), "rewritten");
        }
    }
    SetMessagePump(previous);
    client.Close();
    server.Join();
}

constexpr Protocol kPop3 = Protocol::Pop3;
constexpr Protocol kSmtp = Protocol::Smtp;
constexpr Protocol kFtp = Protocol::Ftp;
constexpr ErrorKind kTransient = ErrorKind::Transient;
constexpr ErrorKind kPermanent = ErrorKind::Permanent;
constexpr ErrorKind kLost = ErrorKind::ConnectionLost;
constexpr ErrorKind kCancelled = ErrorKind::Cancelled;

INSTANTIATE_TEST_SUITE_P(
    Table, FailureKinds,
    ::testing::Values(KindCase{"Pop3InUse", kPop3, "-ERR [IN-USE] mailbox locked\r\n", kTransient, -1},
                      KindCase{"Pop3Refused", kPop3, "-ERR [AUTH] wrong password\r\n", kPermanent, -1},
                      KindCase{"Pop3CutShort", kPop3, "+O", kLost, -1},
                      KindCase{"Pop3Reset", kPop3, kReset, kLost, 10054},
                      KindCase{"Pop3Silent", kPop3, kSilent, kTransient, -1},
                      KindCase{"Pop3Cancelled", kPop3, kCancel, kCancelled, -1},
                      KindCase{"Smtp4xx", kSmtp, "451 4.3.0 try later\r\n", kTransient, 451},
                      KindCase{"Smtp5xx", kSmtp, "550 5.7.1 not you\r\n", kPermanent, 550},
                      KindCase{"SmtpCutShort", kSmtp, "250-first line\r\n250", kLost, 250},
                      KindCase{"SmtpSilent", kSmtp, kSilent, kTransient, -1},
                      KindCase{"SmtpCancelled", kSmtp, kCancel, kCancelled, -1},
                      KindCase{"Ftp4xx", kFtp, "421 closing\r\n", kTransient, 421},
                      KindCase{"Ftp5xx", kFtp, "530 Login incorrect.\r\n", kPermanent, 530},
                      KindCase{"FtpCutShort", kFtp, "230-welcome\r\n230", kLost, 230},
                      KindCase{"FtpSilent", kFtp, kSilent, kTransient, -1},
                      KindCase{"FtpCancelled", kFtp, kCancel, kCancelled, -1}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qlk
