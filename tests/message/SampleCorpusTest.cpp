#include <gtest/gtest.h>

#include "MessageTestSupport.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::Repeated;

struct ExpectedPart {
    std::string name;
    std::string type;
    std::size_t size;
};

struct Sample {
    const char* file;
    std::string contentType;
    TCharSet charSet;
    std::string subject;
    std::vector<std::string> firstBodyLines;
    std::vector<ExpectedPart> parts;
};

const char kKonnichiwa[] = "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF";

class SampleCorpusTest : public testing::TestWithParam<Sample> {};

std::string TestName(const testing::TestParamInfo<Sample>& testInfo) {
    std::string name = testInfo.param.file;
    name.resize(name.find('.'));
    std::erase(name, '-');
    return name;
}

TEST_P(SampleCorpusTest, DecodesAsExpected) {
    const Sample& sample = GetParam();
    TmsMessage message;
    message.LoadFromFile(test::SourcePath(std::string("tests/data/") + sample.file).string());
    EXPECT_EQ(message.ContentType(), sample.contentType);
    EXPECT_EQ(message.CharSet(), sample.charSet);
    EXPECT_EQ(message.Subject(), sample.subject);
    ASSERT_GE(message.Body().size(), sample.firstBodyLines.size());
    EXPECT_EQ(
        std::vector<std::string>(message.Body().begin(),
                                 message.Body().begin() + static_cast<long>(sample.firstBodyLines.size())),
        sample.firstBodyLines);
    ASSERT_EQ(message.Attachments().Count(), static_cast<int>(sample.parts.size()));
    for (std::size_t i = 0; i < sample.parts.size(); ++i) {
        const TmsAttItem& item = message.Attachments().Items(static_cast<int>(i));
        EXPECT_EQ(item.FileName(), sample.parts[i].name);
        if (!sample.parts[i].type.empty()) {
            EXPECT_EQ(item.ContentType, sample.parts[i].type);
        }
        EXPECT_EQ(item.Data.size(), sample.parts[i].size) << item.FileName();
    }
}

TEST_P(SampleCorpusTest, SurvivesSaveAndReload) {
    TmsMessage first;
    first.LoadFromFile(test::SourcePath(std::string("tests/data/") + GetParam().file).string());
    TmsMessage copy;
    copy.Assign(first);
    TmsMessage second;
    second.LoadFromText(test::Encoded(copy));
    EXPECT_EQ(second.Body(), first.Body());
    EXPECT_EQ(second.Subject(), first.Subject());
    EXPECT_EQ(second.Sender().Address, first.Sender().Address);
    EXPECT_EQ(second.ContentType(), first.ContentType());
    ASSERT_EQ(second.Attachments().Count(), first.Attachments().Count());
    for (int i = 0; i < first.Attachments().Count(); ++i) {
        EXPECT_EQ(second.Attachments().Items(i).FileName(), first.Attachments().Items(i).FileName());
        EXPECT_EQ(second.Attachments().Items(i).Data, first.Attachments().Items(i).Data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, SampleCorpusTest,
    testing::Values(
        Sample{"plain.eml", "text/plain", csUSASCII, "Quarterly figures", {"Hi Bob,", ""}, {}},
        Sample{"alternative.eml",
               "multipart/alternative",
               csUSASCII,
               "Caf\xC3\xA9 news",
               {"Cafe opens at 8.", "See the HTML version for the menu."},
               {{"_alt.0", "text/html", 205}}},
        Sample{"mixed-alternative.eml",
               "multipart/mixed",
               csUSASCII,
               "Nightly report",
               {"Nightly report: all jobs finished."},
               {{"_alt.0", "text/html", 69}, {"report.pdf", "application/pdf", 1516}}},
        Sample{
            "attachments.eml",
            "multipart/mixed",
            csUSASCII,
            "Three files",
            {"Three files for you."},
            {{"chart.png", "image/png", 708}, {"notes.txt", "text/plain", 57}, {"data.csv", "text/csv", 26}}},
        Sample{"qp-latin1.eml",
               "text/plain",
               csUTF8,
               "Gr\xC3\xBC\xC3\x9F"
               "e aus M\xC3\xBCnchen",
               {"Hallo Anna,", "",
                "sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
                "e aus M\xC3\xBCnchen. Das Wetter ist gro\xC3\x9F"
                "artig und wir "
                "gehen morgen in die Berge."},
               {}},
        Sample{"iso-2022-jp.eml", "text/plain", csUTF8, kKonnichiwa, {kKonnichiwa, "Yamada"}, {}},
        Sample{"uuencoded.eml",
               "",
               csUSASCII,
               "the files you asked for",
               {"Here are the two files."},
               {{"hello.txt", "text/plain", 29}, {"blob.bin", "application/octet-stream", 256}}},
        Sample{"digest.eml",
               "multipart/mixed",
               csUSASCII,
               "Example-list Digest, Vol 12, Issue 3",
               {"Today's Topics:"},
               {{"att.0.eml", "message/rfc822", 121},
                {"att.1.eml", "message/rfc822", 109},
                {"att.2", "text/plain", 76}}},
        Sample{"rfc822-part.eml",
               "multipart/mixed",
               csUSASCII,
               "Fwd: meeting",
               {"See the forwarded message below."},
               {{"meeting.eml", "message/rfc822", 157}}},
        // The shapes today's mail programs send: every leaf of the
        // tree reaches the reader, in order, under its own name.
        Sample{"outlook-related.eml",
               "multipart/mixed",
               csUTF8,
               "Q3 review – draft “final”",
               {"“Final” numbers attached – see the chart below."},
               {{"_alt.0", "text/html", 335}, {"image001.png", "image/png", 191}}},
        Sample{"thunderbird-alternative-related.eml",
               "multipart/mixed",
               csUTF8,
               "Plan für nächste Woche",
               {"Hi Anna,", "", "the plan is attached; the photo shows the café."},
               {{"_alt.0", "text/html", 148},
                {"photo.png", "image/png", 222},
                {"naïve plan.pdf", "application/pdf", 784}}},
        Sample{"apple-mail-mixed.eml",
               "multipart/mixed",
               csUTF8,
               "Photos from the trip",
               {"Here is the view from the hotel — more tomorrow."},
               {{"view.png", "image/png", 268}, {"att.1", "text/plain", 9}}},
        Sample{"smime-signed.eml",
               "multipart/mixed",
               csUSASCII,
               "Signed: new badge policy",
               {"Please read the attached policy."},
               {{"badge-policy.pdf", "application/pdf", 784}, {"smime.p7s", "", 700}}},
        Sample{"rfc2231-names.eml",
               "multipart/mixed",
               csUSASCII,
               "Four names",
               {"Four files with names that need decoding."},
               {{"Quarterly report €.xlsx", "", 102},
                {"übersicht.txt", "text/plain", 18},
                {"résumé.pdf", "application/pdf", 300},
                {"plain name.bin", "", 40}}},
        Sample{"utf8.eml",
               "text/plain",
               csUTF8,
               "日本語と français and English",
               {"日本語と français, русский, 中文 — all in one body."},
               {}},
        Sample{
            "euc-kr.eml", "text/plain", csUTF8, "회의 안내", {"안녕하세요. 회의는 내일 오후 3시입니다."}, {}},
        Sample{"dot-lines.eml",
               "multipart/mixed",
               csUSASCII,
               ".NET and dots",
               {".NET rocks", "..", "."},
               {{"dots.txt", "text/plain", 9}}},
        // Names decoded whole before they are bounded: a long RFC 2231 name
        // keeps its end, and one too long for a file keeps its type.
        Sample{"long-names.eml",
               "multipart/mixed",
               csUSASCII,
               "Длинные имена",
               {"Two files with long names."},
               {{"Отчёт о проделанной работе за первое полугодие.pdf", "application/pdf", 15},
                {Repeated("Я", 125) + ".pdf", "application/pdf", 15}}},
        Sample{"lenient.eml",
               "multipart/mixed",
               csUSASCII,
               "Begin here",
               {"Begin 100 days of testing", "begin the next phase tomorrow"},
               {{"blob.bin", "", 200}}}),
    TestName);

TEST(SaveAttachmentTest, WritesTheBytesUnderTheSafeName) {
    TmsMessage message;
    message.LoadFromFile(test::SourcePath("tests/data/uuencoded.eml").string());
    message.Attachments().Items(1).SetFileName("../../etc/blob.bin");
    test::TempDir dir;
    const std::string path = message.SaveAttachment(1, dir.path().string());
    EXPECT_EQ(path, (dir / "blob.bin").string());
    std::string expected;
    for (int i = 0; i < 256; ++i) expected += static_cast<char>(i);
    EXPECT_EQ(test::ReadFileBytes(path), expected);
}

}  // namespace
}  // namespace qlk
