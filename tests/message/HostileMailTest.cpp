#include <gtest/gtest.h>

#include <functional>

#include "MessageTestSupport.h"
#include "message/FileNames.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

bool IsSafeName(const std::string& name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos ||
        name.find("..") != std::string::npos) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

std::string Multipart(const std::string& boundary, const std::string& parts) {
    return "From: a@x.org\r\nTo: b@x.org\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
           boundary + "\"\r\n\r\n" + parts;
}

std::string NamedPart(const std::string& boundary, const std::string& name) {
    return "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n";
}

std::string FilenamePart(const std::string& boundary, const std::string& disposition) {
    return "--" + boundary +
           "\r\nContent-Type: application/octet-stream\r\nContent-Disposition: " + disposition +
           "\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n";
}

std::string NestedMultiparts(int depth) {
    std::string text = Multipart("b0", "");
    for (int i = 1; i <= depth; ++i) {
        text += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"b" +
                std::to_string(i) + "\"\r\n\r\n";
    }
    text += "--b" + std::to_string(depth) + "\r\n\r\ninnermost\r\n";
    for (int i = depth; i >= 0; --i) text += "--b" + std::to_string(i) + "--\r\n";
    return text;
}

struct HostileCase {
    const char* name;
    std::function<std::string()> text;
    bool fallback;  // the decoder ends in its error fallback
};

const std::string kBody = "--b\r\n\r\nbody\r\n";

class HostileMailTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileMailTest, LoadsSavesAndReloadsWithSafeNames) {
    const HostileCase& c = GetParam();
    const std::string text = c.text();
    TmsMessage message;
    ASSERT_NO_THROW(message.LoadFromText(text));
    const TmsAttList& attachments = message.Attachments();
    for (int i = 0; i < attachments.Count(); ++i) {
        EXPECT_TRUE(IsSafeName(attachments.Items(i).FileName())) << attachments.Items(i).FileName();
    }
    const bool fellBack =
        attachments.Count() > 0 && attachments.Items(attachments.Count() - 1).FileName() == "original.eml";
    EXPECT_EQ(fellBack, c.fallback);
    if (fellBack) {
        EXPECT_EQ(attachments.Items(attachments.Count() - 1).Data, text) << "the message is kept";
    }

    test::TempDir dir;
    for (int i = 0; i < attachments.Count(); ++i) {
        const std::string path = message.SaveAttachment(static_cast<std::size_t>(i), dir.path().string());
        EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.path());
    }
    TmsMessage again;
    ASSERT_NO_THROW(again.LoadFromText(test::Encoded(message)));
}

// A mixed message with a text part, then the given part, then the closing boundary.
std::string WithPart(const std::string& part) {
    return Multipart("b", kBody + part + "--b--\r\n");
}

std::string WithUuencodedFile(const std::string& beginLine) {
    return "From: a@x.org\r\n\r\ntext\r\n" + beginLine + "\r\n#:&D*\r\n`\r\nend\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileMailTest,
    testing::Values(
        HostileCase{"InvalidBase64Character", [] { return WithPart(NamedPart("b", "a.bin") + "A*AA\r\n"); },
                    false},
        HostileCase{"EqualsInTheMiddle",
                    [] { return WithPart(NamedPart("b", "a.bin") + "AA=A\r\nAAAA\r\n"); }, false},
        HostileCase{"OneCharacterLine", [] { return WithPart(NamedPart("b", "a.bin") + "Q\r\n"); }, false},
        HostileCase{"ClosingBoundaryBeforeOpening",
                    [] { return Multipart("b", "--b--\r\n" + kBody + NamedPart("b", "a") + "--b--\r\n"); },
                    false},
        HostileCase{"MissingFinalBoundary", [] { return Multipart("b", kBody + NamedPart("b", "a")); },
                    false},
        HostileCase{"MissingEveryBoundary", [] { return Multipart("b", "just text\r\n"); }, true},
        HostileCase{"EmptyBoundary",
                    [] { return Multipart("", "--\r\n\r\nbody\r\n--\r\n\r\nAAAA\r\n----\r\n"); }, true},
        HostileCase{"LongBoundary",
                    [] {
                        const std::string b(200, 'z');
                        return Multipart(
                            b, "--" + b + "\r\n\r\nbody\r\n" + NamedPart(b, "a") + "--" + b + "--\r\n");
                    },
                    false},
        HostileCase{
            "PartReusesParentBoundary",
            [] {
                return WithPart(
                    "--b\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ninner\r\n--b--\r\n");
            },
            false},
        HostileCase{"MegabyteHeaderLineWithoutLineEnd",
                    [] { return "From: a@x.org\r\nSubject: " + std::string(1 << 20, 's'); }, false},
        HostileCase{"TenThousandHeaderLines",
                    [] {
                        std::string text = "From: a@x.org\r\n";
                        for (int i = 0; i < 10000; ++i) text += "To: r" + std::to_string(i) + "@x.org\r\n";
                        return text + "\r\nbody\r\n";
                    },
                    false},
        HostileCase{"FromWithManyColons", [] { return "From:" + std::string(99999, ':') + "\r\n\r\nx\r\n"; },
                    false},
        HostileCase{"TenThousandNestedMultiparts", [] { return NestedMultiparts(10000); }, false},
        HostileCase{"NameClimbsUp", [] { return WithPart(NamedPart("b", "../../x")); }, false},
        HostileCase{"AbsoluteName", [] { return WithPart(NamedPart("b", "/abs/x")); }, false},
        HostileCase{"DriveName", [] { return WithPart(NamedPart("b", "C:\\x\\y")); }, false},
        HostileCase{"NameWithNul", [] { return WithPart(NamedPart("b", std::string("a\0b", 3))); }, false},
        HostileCase{"FilenameWithNewlineFolded",
                    [] { return WithPart(FilenamePart("b", "attachment; filename=\"a\r\n b\"")); }, false},
        HostileCase{
            "EncodedDotDotSlash",
            [] { return WithPart(FilenamePart("b", "attachment; filename=\"=?us-ascii?Q?=2E=2E=2Fx?=\"")); },
            false},
        HostileCase{
            "EncodedControlCharacters",
            [] { return WithPart(FilenamePart("b", "attachment; filename=\"=?us-ascii?Q?a=0Ab=00c?=\"")); },
            false},
        HostileCase{"UuencodeModeOfFourDigits", [] { return WithUuencodedFile("begin 4755 ../x"); }, false},
        HostileCase{"UuencodeNameClimbsUp", [] { return WithUuencodedFile("begin 644 ../../x"); }, false},
        HostileCase{"OnlyCarriageReturns",
                    [] {
                        std::string text =
                            "From: a@x.org\rMIME-Version: 1.0\rContent-Type: multipart/mixed; boundary=b\r\r";
                        for (int i = 0; i < 2000; ++i) text += "--b\r\r" + std::string(50, 'x') + "\r";
                        return text;
                    },
                    false},
        HostileCase{"BrokenEncodedWordInHeaders",
                    [] {
                        return std::string(
                            "From: =?x?B?a*b?= <a@x.org>\r\nTo: =?x?B?!?= <b@x.org>\r\n"
                            "Subject: =?ISO-2022-JP?B?\xFF\xFF?=\r\n\r\nbody\r\n");
                    },
                    false},
        HostileCase{"HugeQuotedPrintableParagraph",
                    [] {
                        std::string text =
                            "From: a@x.org\r\nMIME-Version: 1.0\r\nContent-Transfer-Encoding: "
                            "quoted-printable\r\n\r\n";
                        for (int i = 0; i < 1000; ++i) text += std::string(60, 'p') + "=\r\n";
                        return text;
                    },
                    false}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(HostileMailTest, EncodedCrLfNeverBecomesAHeaderLine) {
    TmsMessage message;
    message.LoadFromText(
        "From: =?us-ascii?Q?Eve=0D=0ABcc:_x@evil.org?= <e@x.org>\r\nTo: "
        "=?us-ascii?Q?T=0D=0ABcc:_y@evil.org?= "
        "<t@x.org>\r\nSubject: =?us-ascii?Q?hi=0D=0ABcc:_z@evil.org?=\r\n\r\nbody\r\n");
    for (const std::string& line : test::SplitCrlf(test::Encoded(message))) {
        EXPECT_FALSE(line.starts_with("Bcc")) << line;
    }
}

struct SafeNameCase {
    std::string input;
    std::string expected;
};

TEST(SafeFileNameTest, LeavesOnlyAPlainName) {
    // Bounded as file systems need, the type kept.
    const std::string longName = test::Repeated("\xD0\x96", 200) + ".pdf";
    const std::string bounded = test::Repeated("\xD0\x96", 125) + ".pdf";
    for (const SafeNameCase& c : std::vector<SafeNameCase>{{"report.pdf", "report.pdf"},
                                                           {"../../x", "x"},
                                                           {"/abs/x", "x"},
                                                           {"C:\\x\\y", "y"},
                                                           {"..", "attachment"},
                                                           {"a/..", "attachment"},
                                                           {"", "attachment"},
                                                           {std::string("a\0b\r\nc", 6), "abc"},
                                                           {"dir/", "attachment"},
                                                           {"x...y", "x.y"},
                                                           {" spaced name ", "spaced name"},
                                                           {longName, bounded},
                                                           {std::string(300, 'a'), std::string(255, 'a')}}) {
        EXPECT_EQ(SafeFileName(c.input), c.expected) << c.input;
    }
}

}  // namespace
}  // namespace qlk
