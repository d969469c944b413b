#include <gtest/gtest.h>

#include <sstream>

#include "message/TmsMessage.h"
#include "net/ELoginRefused.h"
#include "net/TmsSMTP.h"
#include "support/TlsPeers.h"

namespace qlk {
namespace {

using test::TlsSmtpPeer;

struct SubmissionCase {
    std::string name;
    bool implicitTls;
    std::string password;
    std::string error;  // empty: the message arrives
};

class SmtpTlsSubmission : public ::testing::TestWithParam<SubmissionCase> {};

// A submission server that wants TLS and a log-in: the message arrives as
// sent, under the account that logged in; a wrong password keeps it back with
// the server's reply.
TEST_P(SmtpTlsSubmission, LogsInOverTlsAndDeliversAsTheAccount) {
    const auto& c = GetParam();
    std::string why;
    auto peer = TlsSmtpPeer::Start("joe@example.org", "s3cret-pass", c.implicitTls, why);
    QLK_NEED_PEER(peer, why);
    TmsMessage message;
    message.Sender().Address = "joe@example.org";
    message.Recipients().Add(std::make_unique<TmsMailAddress>("ann@example.net", "Ann"));
    message.SetSubject("Over TLS");
    message.Body() = {"Hello Ann,", ".a line with a dot", "Joe"};
    // Fixed, so that the text sent and the text written again compare equal.
    message.Headers().Add("Date: Tue, 08 Dec 2026 06:25:21 +0000");
    message.Headers().Add("Message-ID: <1@here.example>");
    TmsSMTP smtp;
    smtp.Server = (c.implicitTls ? "smtps://localhost:" : "localhost:") + std::to_string(peer->Port());
    smtp.TrustFileName = peer->TrustFile().string();
    smtp.SetTimeOut(20);
    smtp.UserID = "joe@example.org";
    smtp.Password = c.password;
    smtp.MailMessage = &message;
    std::vector<std::string> errors;
    smtp.OnError = [&](TagSocket&, std::string& msg) { errors.push_back(msg); };
    if (!c.error.empty()) {
        try {
            smtp.SendMail();
            ADD_FAILURE() << "sent";
        } catch (const ELoginRefused& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Transient);
            EXPECT_EQ(e.Reply().Code(), 535);
        }
        EXPECT_EQ(errors, std::vector<std::string>{c.error});
        EXPECT_TRUE(peer->Messages().empty());
        return;
    }
    smtp.SendMail();
    std::ostringstream encoded;
    message.SaveToStream(encoded);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(smtp.PasswordInClear());
    ASSERT_EQ(peer->Messages().size(), 1u);
    EXPECT_EQ(peer->Messages()[0], encoded.str());
    EXPECT_EQ(peer->Envelopes()[0],
              "AUTH:joe@example.org\nMAIL FROM:joe@example.org\nRCPT TO:ann@example.net\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmtpTlsSubmission,
    ::testing::Values(SubmissionCase{"StartTls", false, "s3cret-pass", ""},
                      SubmissionCase{"ImplicitTls", true, "s3cret-pass", ""},
                      SubmissionCase{"WrongPassword", false, "guess",
                                     "Log-in refused: 535 5.7.8 Authentication credentials invalid"}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
