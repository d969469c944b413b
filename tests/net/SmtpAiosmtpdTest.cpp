#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "message/TmsMessage.h"
#include "net/TmsSMTP.h"
#include "support/Outcome.h"
#include "support/Peers.h"

namespace qlk {
namespace {

using test::SmtpPeer;

std::string AllByteValues() {
    std::string bytes;
    for (int round = 0; round < 40; ++round) {
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    }
    return bytes;
}

std::unique_ptr<TmsAttItem> Attachment(const std::string& name, std::string data) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    item->Data = std::move(data);
    return item;
}

void FillMessage(TmsMessage& message) {
    message.Sender().Address = "me@here.example";
    message.Recipients().Add(std::make_unique<TmsMailAddress>("joe@there.example", "Joe"));
    message.CC().Add(std::make_unique<TmsMailAddress>("cc@there.example", ""));
    message.BCC().Add(std::make_unique<TmsMailAddress>("bcc@there.example", ""));
    message.SetSubject("Report with attachments");
    message.Body() = {"Hello,", ".", ".leading dot", "..two dots", "", "regards"};
    message.Attachments().Add(Attachment("data.bin", AllByteValues()));
    message.Attachments().Add(Attachment("notes.txt", ".first line of the notes\r\n.\r\nend\r\n"));
}

std::string Encoded(TmsMessage& message) {
    std::ostringstream out;
    message.SaveToStream(out);
    return std::move(out).str();
}

TEST(SmtpAiosmtpd, MessagesArriveByteExactAndDecodeToWhatWasSent) {
    std::string why;
    auto peer = SmtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);

    TmsMessage message;
    FillMessage(message);
    TmsSMTP smtp;
    smtp.Server = peer->Address();
    smtp.SetTimeOut(20);
    smtp.MailMessage = &message;
    smtp.SendMail();
    smtp.SendMail();

    auto messages = peer->Messages();
    ASSERT_EQ(messages.size(), 2u);
    TmsMessage reference;
    FillMessage(reference);
    std::string sent = Encoded(reference);
    // The boundary is made afresh for every message; everything else matches.
    EXPECT_EQ(messages[0].size(), sent.size());
    EXPECT_THAT(peer->Envelopes()[0],
                ::testing::StrEq("MAIL FROM:me@here.example\nRCPT TO:joe@there.example\n"
                                 "RCPT TO:cc@there.example\nRCPT TO:bcc@there.example\n"));

    TmsMessage received;
    received.LoadFromText(messages[0]);
    EXPECT_EQ(received.Subject(), "Report with attachments");
    EXPECT_EQ(received.Sender().Address, "me@here.example");
    EXPECT_THAT(received.Body(),
                ::testing::ElementsAre("Hello,", ".", ".leading dot", "..two dots", "", "regards"));
    ASSERT_EQ(received.Attachments().Count(), 2);
    EXPECT_EQ(received.Attachments().Items(0).Data, AllByteValues());
    EXPECT_EQ(received.Attachments().Items(1).Data, ".first line of the notes\r\n.\r\nend\r\n");
}

TEST(SmtpAiosmtpd, SinglePartTextIsByteExact) {
    std::string why;
    auto peer = SmtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    TmsMessage message;
    message.Sender().Address = "me@here.example";
    message.Recipients().Add(std::make_unique<TmsMailAddress>("joe@there.example", ""));
    message.Body() = {".", "..", ".x", "plain", "."};
    // Fixed, so that writing the message twice gives the same text.
    message.Headers().Add("Date: Tue, 8 Dec 2026 10:00:00 +0000");
    message.Headers().Add("Message-ID: <1@here.example>");
    TmsSMTP smtp;
    smtp.Server = peer->Address();
    smtp.MailMessage = &message;
    smtp.SendMail();
    auto messages = peer->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], Encoded(message));
}

// A relay that asks for a log-in takes the token (XOAUTH2), never the
// password; a token it refuses is a refused log-in.
TEST(SmtpAiosmtpd, AccessTokenLogsInWhenTheRelayAsks) {
    std::string why;
    auto relay = SmtpPeer::StartLoginRelay(true, {{"ann", "secret"}}, {{"ann", "good-token"}}, why);
    QLK_NEED_PEER(relay, why);
    for (const std::string token : {"bad-token", "good-token"}) {
        TmsMessage message;
        FillMessage(message);
        TmsSMTP smtp;
        smtp.Server = "smtp://" + relay->Address();
        smtp.UserID = "ann";
        smtp.Password = "wrong";
        smtp.AccessToken = token;
        smtp.LoginOnlyWhenAsked = true;
        smtp.MailMessage = &message;
        const std::string outcome = test::Outcome([&] { smtp.SendMail(); });
        EXPECT_EQ(outcome.substr(0, 30), token == "good-token" ? "ok" : "server: Log-in refused: 535 5.")
            << token;
    }
    ASSERT_EQ(relay->Envelopes().size(), 1u);
    EXPECT_THAT(relay->Envelopes()[0], ::testing::StartsWith("AUTH:ann\n"));
}

}  // namespace
}  // namespace qlk
