#include "message/HeaderWords.h"

#include <gtest/gtest.h>

#include "message/Base64.h"
#include "message/EMessageParserError.h"

namespace qlk {
namespace {

TEST(HeaderWords, Decode) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain_text without words", "plain_text without words"},
        {"=?iso-8859-1?Q?Caf=E9?= ist offen", "Caf\xe9ist offen"},
        {"Re: =?iso-8859-1?q?caf=e9?=", "Re: caf\xe9"},
        {"=?utf-8?B?SGVsbG8=?= =?utf-8?B?V29ybGQ=?=", "HelloWorld"},
        {"=?x?Q?a_b?= under_score", "a bunder score"},
        {"=?x?Q?=3D?=", "="},  // "?Q?=" opens the text, it is not the end
        {"broken =?x?Q?no end", "broken "},
        {"=?x?X?abc?=after", "after"},  // unknown encoding letter: nothing
        {"=?x?=", ""},
        {"=?novalue?= x", "x"},
        {"=?x?B?PT94P0I/YWJj?=", ""},  // decodes to "=?x?B?abc" which has no end
        {std::string(250, 'a') + " =?x?Q?abc?=", std::string(250, 'a') + " "},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeHeaderWords(c.in), c.out) << c.in;
}

TEST(HeaderWords, DecodeBoundsItsResultAndRaisesOnBadBase64) {
    EXPECT_EQ(DecodeHeaderWords(std::string(400, 'x')).size(), 255u);
    EXPECT_THROW(DecodeHeaderWords("=?x?B?a b?="), EMessageParserError);
}

TEST(HeaderWords, EncodeJisHeader) {
    const std::string jis = "\x1b$B$3$s$K$A$O\x1b(B";
    EXPECT_EQ(EncodeJisHeader(jis), "=?ISO-2022-JP?B?" + Base64EncodeString(jis) + "?=");
    EXPECT_EQ(EncodeJisHeader("plain"), "plain");
    EXPECT_EQ(EncodeJisHeader(""), "");
    EXPECT_EQ(EncodeJisHeader("\x1b" + std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(DecodeHeaderWords(EncodeJisHeader(jis)), jis);
}

}  // namespace
}  // namespace qlk
