#include <gtest/gtest.h>

#include <regex>

#include "MessageTestSupport.h"
#include "message/Charsets.h"
#include "message/TmsArticle.h"
#include "message/TmsCustomEncoder.h"

namespace qlk {
namespace {

using test::Encoded;
using test::SplitCrlf;

// Every test starts from a plain text message from Alice to Bob.
class MessageEncoderTest : public testing::Test {
protected:
    MessageEncoderTest() {
        message.Sender().Name = "Alice";
        message.Sender().Address = "alice@x.org";
        message.Recipients().AddAddress("bob@x.org", "Bob B. Builder");
        message.SetSubject("Hello");
        message.Body() = {"line one", "line two"};
        message.Headers().Add("Date: Mon, 7 Dec 2026 10:00:00 +0000");
        message.Headers().Add("Message-ID: <1@x.org>");
    }

    TmsMessage message;
};

TmsAttItem& Attach(TmsMessage& message, const char* name, std::string data) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    item->Data = std::move(data);
    TmsAttItem& ref = *item;
    message.Attachments().Add(std::move(item));
    return ref;
}

// Boundaries are random; tests name them B1, B2 in order of appearance.
std::string NormalizedBoundaries(std::string text) {
    std::regex boundary("boundary=\"([0-8]{8})\"");
    int n = 0;
    for (std::smatch m; std::regex_search(text, m, boundary);) {
        const std::string value = m[1];
        const std::string name = "B" + std::to_string(++n);
        for (std::size_t at; (at = text.find(value)) != std::string::npos;)
            text.replace(at, value.size(), name);
    }
    return text;
}

TEST_F(MessageEncoderTest, WritesAPlainTextMessage) {
    message.Headers().Add("Subject: dropped, the property wins");
    EXPECT_EQ(Encoded(message),
              "From:     Alice <alice@x.org>\r\n"
              "To:       \"Bob B. Builder\" <bob@x.org>\r\n"
              "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
              "Message-ID: <1@x.org>\r\n"
              "Subject: Hello\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "line one\r\n"
              "line two\r\n");
}

TEST_F(MessageEncoderTest, FoldsOneAddressPerLineAndNeverWritesBcc) {
    message.Recipients().AddAddress("c@x.org", "");
    message.Recipients().AddAddress("d@x.org", "Dee");
    message.CC().AddAddress("e@x.org", "E");
    message.BCC().AddAddress("secret@x.org", "S");
    message.SetReturnReceipt(true);
    message.SetPriority(ptLow);
    const std::vector<std::string> lines = SplitCrlf(Encoded(message));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 7),
              (std::vector<std::string>{"To:       \"Bob B. Builder\" <bob@x.org>,", "           <c@x.org>,",
                                        "          Dee <d@x.org>", "CC:       E <e@x.org>",
                                        "Return-Receipt-To: <alice@x.org>", "X-Priority: 5"}));
    EXPECT_EQ(Encoded(message).find("secret"), std::string::npos);
}

TEST_F(MessageEncoderTest, LongLineMakesTheBodyQuotedPrintable) {
    message.Body() = {std::string(300, 'a')};
    const std::string text = Encoded(message);
    EXPECT_NE(text.find("charset=\"us-ascii\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
                        std::string(75, 'a') + "=\r\n"),
              std::string::npos);
}

TEST_F(MessageEncoderTest, LoneDotLinesAreLeftForTheMailClientToStuff) {
    message.Body() = {"before", ".", "after"};
    EXPECT_NE(Encoded(message).find("\r\nbefore\r\n.\r\nafter\r\n"), std::string::npos);
    EXPECT_EQ(message.Body()[1], ".");
}

TEST_F(MessageEncoderTest, HeaderValuesCannotStartHeaderLines) {
    message.SetSubject("hi\r\nBcc: victim@x.org");
    message.Sender().Name = "Eve\nX-Evil: 1";
    message.Headers().Add("X-App: a\rCc: b");
    message.Headers().Add("");
    // Received from a spammer: to most readers a line that is not a field
    // ends the header, and the Subject and From after it with it.
    message.Headers().Add("quite Delivered-To: x@y.org");
    message.Headers().Add(" folded on");
    const std::vector<std::string> lines = SplitCrlf(Encoded(message));
    for (const std::string& line : lines) {
        EXPECT_FALSE(line.starts_with("Bcc:") || line.starts_with("X-Evil") || line.starts_with("Cc:") ||
                     line.starts_with("quite") || line == " folded on")
            << line;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Subject: hi  Bcc: victim@x.org"), lines.end());
}

TEST_F(MessageEncoderTest, MatchesTheDocumentedAttachmentLayout) {
    message.Recipients().Items(0).Name = "Bob";
    Attach(message, "/home/a/data.bin", std::string(114, '\x01'));
    std::string line76;
    for (int i = 0; i < 19; ++i) line76 += "AQEB";
    EXPECT_EQ(NormalizedBoundaries(Encoded(message)),
              "From:     Alice <alice@x.org>\r\n"
              "To:       Bob <bob@x.org>\r\n"
              "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
              "Message-ID: <1@x.org>\r\n"
              "Subject: Hello\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"B1\"\r\n"
              "\r\n"
              "This is a multipart message in MIME format\r\n"
              "\r\n"
              "--B1\r\n"
              "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "line one\r\n"
              "line two\r\n"
              "\r\n"
              "--B1\r\n"
              "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
              "Content-Transfer-Encoding: Base64\r\n"
              "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
              "\r\n" +
                  line76 + "\r\n" + line76 + "\r\n" +
                  "\r\n"  // the empty block after two full ones
                  "\r\n"
                  "--B1--\r\n");
}

TEST_F(MessageEncoderTest, NestsTheAlternativeInsideMixed) {
    Attach(message, "_alt.0", "<p>hi</p>\r\n").ContentType = "text/html";
    Attach(message, "a.txt", "file\r\n");
    const std::vector<std::string> lines = SplitCrlf(NormalizedBoundaries(Encoded(message)));
    const std::vector<std::string> structure = [&] {
        std::vector<std::string> kept;
        for (const std::string& l : lines) {
            if (l.starts_with("--") || l.starts_with("Content-")) kept.push_back(l);
        }
        return kept;
    }();
    EXPECT_EQ(structure,
              (std::vector<std::string>{
                  "Content-Type: multipart/mixed; boundary=\"B1\"", "--B1",
                  "Content-Type:  multipart/alternative; boundary=\"B2\"", "Content-Transfer-Encoding: 7bit",
                  "--B2", "Content-Type: text/plain; charset=\"us-ascii\"", "Content-Transfer-Encoding: 7bit",
                  "--B2", "Content-Type: text/html", "Content-Transfer-Encoding: Base64", "--B2--", "--B1",
                  "Content-Type: text/plain; name=\"a.txt\"", "Content-Transfer-Encoding: Quoted-Printable",
                  "Content-Disposition: attachment; filename=\"a.txt\"", "--B1--"}));
}

TEST_F(MessageEncoderTest, WritesTheHtmlBodyFileAsTheMessage) {
    message.Body().clear();
    Attach(message, "_htmbody.htm", "<p>x</p>\r\n");
    const std::vector<std::string> lines = SplitCrlf(Encoded(message));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
              (std::vector<std::string>{"Content-Type: text/html",
                                        "Content-Transfer-Encoding: Quoted-Printable", "", "<p>x</p>"}));
}

TEST_F(MessageEncoderTest, WritesAnHtmlBodyQuotedPrintableAndKeepsItEncoded) {
    message.SetCharSet(csISO8859);
    message.SetContentType("text/html");
    message.Body() = {"<p>Caf\xE9</p>"};
    const std::vector<std::string> lines = SplitCrlf(Encoded(message));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
              (std::vector<std::string>{"Content-Type: text/html; charset=\"iso-8859-1\"",
                                        "Content-Transfer-Encoding: quoted-printable", "", "<p>Caf=E9</p>"}));
    EXPECT_EQ(message.Body(), (std::vector<std::string>{"<p>Caf=E9</p>"}));
}

TEST_F(MessageEncoderTest, WritesUuencodedMessages) {
    message.SetEncoding(meUU);
    Attach(message, "dir/x.bin", std::string(45, 'a'));
    const std::vector<std::string> lines = SplitCrlf(Encoded(message));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"Subject: Hello", "", "line one", "line two", "", "begin 600 x.bin",
                                        "M86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A", "`",
                                        "`", "end"}));
}

TEST_F(MessageEncoderTest, WritesArticleHeaders) {
    TmsArticle article;
    article.Sender().Name = "A. Writer";
    article.Sender().Address = "w@x.org";
    article.SetNewsGroups("comp.mail.misc");
    article.SetSubject("Question");
    article.Body() = {"text"};
    std::ostringstream out;
    article.SaveToStream(out);
    // Without a Date and a Message-ID of the application's, fresh ones.
    EXPECT_TRUE(std::regex_search(
        out.str(), std::regex("^From:     A. Writer <w@x.org>\r\nNewsgroups: comp.mail.misc\r\n"
                              "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} [A-Z][a-z]{2} [0-9]{4} "
                              "[0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4}\r\n"
                              "Message-ID: <[0-9a-f]+\\.[0-9a-f]{16}@x\\.org>\r\n"
                              "Subject:  Question\r\nMime-Version: 1.0\r\n")))
        << out.str();
}

TEST_F(MessageEncoderTest, BoundaryIsEightDigitsWithoutNine) {
    for (int i = 0; i < 200; ++i)
        EXPECT_TRUE(std::regex_match(TmsCustomEncoder::NewBoundary(), std::regex("[0-8]{8}")));
}

}  // namespace
}  // namespace qlk

namespace qlk {
namespace {

// What we write is standard and reads back as it was meant: names with
// specials quoted, non-ASCII names, subject and file names encoded, 8-bit
// text labelled with its charset and never 7bit, short quoted-printable lines.
TEST_F(MessageEncoderTest, NonAsciiAndSpecialsAreWrittenAsTheStandardsSay) {
    message.Sender().Name = "Doe, John";
    message.Recipients().Items(0).Name = "Zoë Ünal";
    message.SetSubject("Grüße – the plan, with a long tail so that the encoded words need folding");
    message.Body() = {"Caf\xC3\xA9 at 8.", std::string(200, 'x') + " "};
    Attach(message, "naïve plan.pdf", "%PDF");
    Attach(message, "notes.txt", "8-bit caf\xC3\xA9\r\n").Encoding = ae7Bit;
    Attach(message, "=?UTF-8?B?Zm9v?=.txt", "not foo");
    message.CC().AddAddress("m@x.org", "Müller, Hans");
    const std::string text = Encoded(message);
    const std::vector<std::string> lines = SplitCrlf(text);
    auto has = [&](const std::string& wanted) {
        return std::find(lines.begin(), lines.end(), wanted) != lines.end();
    };
    EXPECT_TRUE(has("From:     \"Doe, John\" <alice@x.org>"));
    EXPECT_TRUE(has("To:       =?UTF-8?B?Wm/DqyDDnG5hbA==?= <bob@x.org>"));
    EXPECT_TRUE(has(" filename*=UTF-8''na%C3%AFve%20plan.pdf"));
    EXPECT_TRUE(has("Content-Type: text/plain; charset=\"utf-8\""));
    EXPECT_TRUE(has("Content-Type: text/plain; charset=\"utf-8\"; name=\"notes.txt\""));
    EXPECT_TRUE(has("CC:       =?UTF-8?B?TcO8bGxlciwgSGFucw==?= <m@x.org>"))
        << "encoded once, not quoted too";
    EXPECT_EQ(text.find("Content-Transfer-Encoding: 7bit"), std::string::npos);
    for (const std::string& line : lines) {
        EXPECT_TRUE(IsAscii(line)) << line;
        EXPECT_LE(line.size(), 78u) << line;
    }

    TmsMessage back;
    back.LoadFromText(text);
    EXPECT_EQ(back.Sender().Name, "Doe, John");
    EXPECT_EQ(back.Recipients().Items(0).Name, "Zoë Ünal");
    EXPECT_EQ(back.Subject(), message.Subject());
    EXPECT_EQ(back.Body(), message.Body());
    EXPECT_EQ(back.CharSet(), csUTF8);
    ASSERT_EQ(back.Attachments().Count(), 3);
    EXPECT_EQ(back.Attachments().Items(0).FileName(), "naïve plan.pdf");
    EXPECT_EQ(back.Attachments().Items(2).FileName(), "=?UTF-8?B?Zm9v?=.txt");
    EXPECT_EQ(back.Attachments().Items(1).Data, "8-bit caf\xC3\xA9\r\n");
}

}  // namespace
}  // namespace qlk
