#include <gtest/gtest.h>

#include "MessageTestSupport.h"
#include "message/MimePart.h"
#include "message/TmsArticle.h"

namespace qlk {
namespace {

using test::Decoded;

const char kFallbackFirstLine[] = "The following error has been occured while processing the message:";

TEST(MessageDecoderTest, PlainMessageWithUuencodedFileKeepsTheTextAroundIt) {
    TmsMessage message;
    Decoded(message,
            "From: a@x.org\nTo: b@x.org\nSubject: files\n\nHere it is.\n\nbegin 0644 hi.txt\n#:&D*\n`\nend\n"
            "trailing words\n");
    EXPECT_EQ(message.Body(), (std::vector<std::string>{"Here it is.", "trailing words"}));
    EXPECT_EQ(message.Encoding(), meUU);
    ASSERT_EQ(message.Attachments().Count(), 1);
    EXPECT_EQ(message.Attachments().Items(0).FileName(), "hi.txt");
    EXPECT_EQ(message.Attachments().Items(0).Data, "hi\n");
}

TEST(MessageDecoderTest, MimeTextBodyWithUuencodedFileIsReadAsPlain) {
    TmsMessage message;
    Decoded(message,
            "From: a@x.org\nTo: b@x.org, c@x.org\nMIME-Version: 1.0\nContent-Type: text/plain\n\ntext\n"
            "begin 644 hi.txt\n#:&D*\n`\nend\n");
    EXPECT_EQ(message.Recipients().Count(), 2) << "recipients are not doubled by the second header pass";
    EXPECT_EQ(message.Body(), (std::vector<std::string>{"text"}));
    EXPECT_EQ(message.Attachments().Items(0).Data, "hi\n");
}

TEST(MessageDecoderTest, AlternativeGivesBodyAndHtmlPart) {
    TmsMessage message;
    Decoded(
        message,
        "From: a@x.org\nMIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"b\"\n\npreamble\n"
        "--b\nContent-Type: text/plain\n\nplain\n\n--b\nContent-Type: text/html\n\n<p>html</p>\n\n--b--\n");
    EXPECT_EQ(message.Body(), (std::vector<std::string>{"plain"}));
    ASSERT_EQ(message.Attachments().Count(), 1);
    EXPECT_EQ(message.Attachments().Items(0).FileName(), "_alt.0");
    EXPECT_EQ(message.Attachments().Items(0).ContentType, "text/html");
    EXPECT_EQ(message.Attachments().Items(0).Data, "<p>html</p>\r\n");
    EXPECT_EQ(message.ContentType(), "multipart/alternative");
}

TEST(MessageDecoderTest, MixedWhoseOnlyPartIsAnAlternativeMakesNoExtraAttachment) {
    TmsMessage message;
    Decoded(message,
            "From: a@x.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=o\n\n--o\n"
            "Content-Type: multipart/alternative; boundary=i\n\n--i\nContent-Type: text/plain\n\nplain\n"
            "--i\nContent-Type: text/html\n\n<p/>\n--i--\n\n--o--\n");
    EXPECT_EQ(message.Body(), (std::vector<std::string>{"plain"}));
    ASSERT_EQ(message.Attachments().Count(), 1);
    EXPECT_EQ(message.Attachments().Items(0).FileName(), "_alt.0");
    EXPECT_EQ(message.ContentType(), "multipart/alternative");
}

TEST(MessageDecoderTest, SinglePartAttachmentTakesDispositionNameAndDeclaredType) {
    TmsMessage message;
    Decoded(message,
            "From: a@x.org\nMIME-Version: 1.0\nContent-Type: application/octet-stream\n"
            "Content-Transfer-Encoding: base64\nContent-Disposition: attachment; "
            "filename=\"r.pdf\"\n\nAAEC\n.\n");
    EXPECT_TRUE(message.Body().empty());
    ASSERT_EQ(message.Attachments().Count(), 1);
    const TmsAttItem& item = message.Attachments().Items(0);
    EXPECT_EQ(item.FileName(), "r.pdf");
    EXPECT_EQ(item.ContentType, "application/octet-stream");
    EXPECT_EQ(item.Data, std::string("\0\1\2", 3));
    EXPECT_EQ(message.ContentType(), "application/octet-stream");
}

// A multipart without any boundary line cannot be read: the message keeps
// its text and carries the original.
TEST(MessageDecoderTest, MissingBoundaryEndsInTheFallbackWithTheOriginal) {
    const std::string text =
        "From: a@x.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\nno parts at all\n";
    TmsMessage message;
    Decoded(message, text);
    EXPECT_EQ(message.Body(),
              (std::vector<std::string>{kFallbackFirstLine, "Cannot find boundary",
                                        "The original message will be stored as an attachment"}));
    ASSERT_EQ(message.Attachments().Count(), 1);
    EXPECT_EQ(message.Attachments().Items(0).FileName(), "original.eml");
    EXPECT_EQ(message.Attachments().Items(0).ContentType, "message/rfc822");
    EXPECT_EQ(message.Attachments().Items(0).Data, test::Crlf(text));
}

TEST(MessageDecoderTest, HtmlTextMessageKeepsItsType) {
    TmsMessage message;
    Decoded(message, "From: a@x.org\nMIME-Version: 1.0\nContent-Type: text/html\n\n<p>x</p>\n");
    EXPECT_EQ(message.ContentType(), "text/html");
}

TEST(MessageDecoderTest, LongLinesStayWholeInBodyAndParts) {
    const std::string longLine(100000, 'q');
    TmsMessage message;
    Decoded(message,
            "From: a@x.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\n" +
                longLine + "\n--b\nContent-Type: text/x-log; name=\"l.log\"\n\n" + longLine +
                "\nend\n--b--\n");
    EXPECT_EQ(message.Body(), (std::vector<std::string>{longLine}));
    ASSERT_EQ(message.Attachments().Count(), 1);
    EXPECT_EQ(message.Attachments().Items(0).Data, longLine + "\r\nend");
}

TEST(MessageDecoderTest, ArticleTakesGroupsAndIdentifier) {
    TmsArticle article;
    article.LoadFromText(test::Crlf(
        "From: a@x.org\nNewsgroups: comp.mail\nMessage-ID: <1@x>\nPath: news!x\nSubject: q\n\ntext\n"));
    EXPECT_EQ(article.NewsGroups(), "comp.mail");
    EXPECT_EQ(article.MessageId(), "<1@x>");
    EXPECT_EQ(article.Path(), "news!x");
    EXPECT_EQ(article.Body(), (std::vector<std::string>{"text"}));
}

struct PathCase {
    const char* name;
    std::string text;
    std::vector<std::string> body;
    std::vector<std::string> attachmentData;
    TCharSet charSet;
};

class DecoderPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(DecoderPathTest, FillsBodyAttachmentsAndCharSet) {
    TmsMessage message;
    Decoded(message, GetParam().text);
    EXPECT_EQ(message.Body(), GetParam().body);
    std::vector<std::string> data;
    for (int i = 0; i < message.Attachments().Count(); ++i)
        data.push_back(message.Attachments().Items(i).Data);
    EXPECT_EQ(data, GetParam().attachmentData);
    EXPECT_EQ(message.CharSet(), GetParam().charSet);
}

const std::string kMime = "From: a@x.org\nMIME-Version: 1.0\n";
const std::string kMixed = kMime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n";

INSTANTIATE_TEST_SUITE_P(
    Paths, DecoderPathTest,
    testing::Values(
        PathCase{"UuencodedPart",
                 kMixed +
                     "\ntext\n--b\nContent-Type: text/plain; name=\"hi.txt\"\nContent-Transfer-Encoding: "
                     "x-uuencode\n\nbegin 644 hi.txt\n#:&D*\n`\nend\n--b--\n",
                 {"text"},
                 {"hi\n"},
                 csUSASCII},
        PathCase{
            "AutoconvertedQuotedPrintable",
            kMime +
                "Content-Type: text/plain\nX-MIME-Autoconverted: from quoted-printable to 8bit\n\na=3Db\n",
            {"a=b"},
            {},
            csUSASCII},
        PathCase{"Base64TextBody",
                 kMime + "Content-Transfer-Encoding: base64\n\naGVsbG8N\nCndvcmxk\n.\n",
                 {"hello", "world"},
                 {},
                 csUSASCII},
        PathCase{"Base64JapaneseFirstPart",
                 kMixed +
                     "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: base64\n\n"
                     "GyRCJDMbKEI=\n--b--\n",
                 {"\xE3\x81\x93"},
                 {},
                 csUTF8},
        PathCase{
            "LastLineDotIsText", "From: a@x.org\n\none\n..two\n.\n", {"one", "..two", "."}, {}, csUSASCII},
        PathCase{"QuotedPrintableLatin1BodyBecomesUtf8",
                 kMime + "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: "
                         "quoted-printable\n\n"
                         "Caf=E9 soft=\n break\nnext\n",
                 {"Caf\xC3\xA9 soft break", "next"},
                 {},
                 csUTF8},
        PathCase{"MailerThatMislabelsTextIsReadAsPlainBody",
                 "From: a@x.org\nX-Mailer: V Mailsystem R #0001\nMIME-Version: 1.0\n"
                 "Content-Type: application/octet-stream\n\nreally text\n",
                 {"really text"},
                 {},
                 csUSASCII},
        PathCase{"NamedTextIsAnAttachment",
                 kMime + "Content-Type: text/plain; name=\"notes.txt\"\n\nsome text\n",
                 {},
                 {"some text\r\n"},
                 csUSASCII},
        PathCase{
            "NamedQuotedPrintableText",
            kMime +
                "Content-Type: text/plain; name=\"n.txt\"\nContent-Transfer-Encoding: quoted-printable\n\n"
                "a=3Db\nc\n",
            {},
            {"a=b\r\nc\r\n"},
            csUSASCII},
        PathCase{"UnlessCcMailNamedIt",
                 kMime + "Content-Type: text/plain; name=\"cc:Mail\"\n\nsome text\n",
                 {"some text"},
                 {},
                 csUSASCII},
        // A one-part alternative, or a first part that is a multipart of
        // another kind, gives its text as the body and loses nothing after it.
        PathCase{"FileAfterAOnePartAlternativeIsKept",
                 kMixed +
                     "Content-Type: multipart/alternative; boundary=i\n\n--i\nContent-Type: text/plain\n\n"
                     "plain\n--i--\n--b\nContent-Type: application/pdf; name=\"f.pdf\"\n"
                     "Content-Transfer-Encoding: base64\n\nJVBERg==\n--b--\n",
                 {"plain"},
                 {"%PDF"},
                 csUSASCII},
        PathCase{"FirstPartThatIsAMixedGivesItsTextAndFiles",
                 kMixed +
                     "Content-Type: multipart/mixed; boundary=i\n\n--i\n\ninner text\n--i\n"
                     "Content-Type: image/gif; name=\"a.gif\"\nContent-Transfer-Encoding: base64\n\nR0lG\n"
                     "--i--\n--b\nContent-Type: text/plain; name=\"n.txt\"\n\nnote\n--b--\n",
                 {"inner text"},
                 {"GIF", "note"},
                 csUSASCII},
        PathCase{"Base64FirstPartIsAnAttachment",
                 kMixed + "Content-Type: image/gif\nContent-Transfer-Encoding: base64\n\nR0lG\n--b--\n",
                 {},
                 {"GIF"},
                 csUSASCII}),
    [](const auto& testInfo) { return testInfo.param.name; });

}  // namespace
}  // namespace qlk

namespace qlk {
namespace {

// Beyond the depth and part-count limits the rest of the tree is kept whole
// as one message attachment: the innermost text and the last part are still
// there, and the kept rest reads as a message of its own.
TEST(MessageDecoderTest, TreesBeyondTheLimitsLoseNothing) {
    std::string deep = kMime + "Content-Type: multipart/mixed; boundary=b0\n\n";
    const int depth = MimePart::MaxDepth + 5;
    for (int i = 1; i <= depth; ++i) {
        deep += "--b" + std::to_string(i - 1) + "\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i) + "\n\n";
    }
    deep += "--b" + std::to_string(depth) + "\n\ninnermost text\n";
    std::string wide = kMime + "Content-Type: multipart/mixed; boundary=w\n\n--w\n\nbody\n";
    for (int i = 0; i < MimePart::MaxParts + 50; ++i) {
        wide += "--w\nContent-Type: application/octet-stream; name=\"p" + std::to_string(i) +
                ".bin\"\n\npart " + std::to_string(i) + "\n";
    }
    wide += "--w--\n";
    for (const std::string& text : {deep, wide}) {
        TmsMessage message;
        Decoded(message, text);
        const TmsAttList& attachments = message.Attachments();
        ASSERT_GT(attachments.Count(), 0);
        const TmsAttItem& rest = attachments.Items(attachments.Count() - 1);
        EXPECT_EQ(rest.ContentType, "message/rfc822");
        EXPECT_TRUE(rest.FileName().ends_with(".eml")) << rest.FileName();
        const bool kept =
            rest.Data.find("innermost text") != std::string::npos ||
            rest.Data.find("part " + std::to_string(MimePart::MaxParts + 49)) != std::string::npos;
        EXPECT_TRUE(kept);
        TmsMessage inner;
        inner.LoadFromText(rest.Data);
        EXPECT_GT(inner.Attachments().Count() + static_cast<int>(inner.Body().size()), 0);
    }
}

}  // namespace
}  // namespace qlk
