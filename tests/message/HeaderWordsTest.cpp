#include "message/HeaderWords.h"

#include <gtest/gtest.h>

#include "message/Base64.h"
#include "message/TmsHeaders.h"

namespace qlk {
namespace {

// How header text reads: RFC 2047 words in their character sets, the white
// space rules, and undeclared 8-bit text.
TEST(HeaderWords, DecodeToUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain_text without words", "plain_text without words"},
        {"=?UTF-8?Q?Caf=C3=A9?= au lait_bar", "Caf\xC3\xA9 au lait_bar"},
        {"=?iso-8859-1?Q?Caf=E9?= ist offen", "Caf\xC3\xA9 ist offen"},
        {"Re: =?iso-8859-1?q?caf=e9?=", "Re: caf\xC3\xA9"},
        {"=?utf-8?B?SGVsbG8=?= =?utf-8?B?V29ybGQ=?=", "HelloWorld"},  // blank between words goes
        {"=?utf-8?Q?a?=\r\n =?utf-8?Q?b?=", "ab"},
        {"=?x?Q?a_b?= under_score", "a b under_score"},  // "_" is a blank only inside Q words
        {"=?UTF-8?B?w6k=?==?UTF-8?B?w6k=?=", "\xC3\xA9\xC3\xA9"},
        // A character split between two words of one set survives.
        {"=?UTF-8?B?4oI=?= =?UTF-8?B?rA==?=", "\xE2\x82\xAC"},
        {"=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=",
         "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"},
        {"=?EUC-KR?B?vsiz58fPvLy/5A==?=", "\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94"},
        {"=?koi8-r?Q?=F0=D2=C9=D7=C5=D4?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"=?windows-1252?Q?=80?=", "\xE2\x82\xAC"},
        // Malformed UTF-8 in a UTF-8 word: each bad byte becomes U+FFFD,
        // beyond U+10FFFF included (iconv lets that through).
        {"=?utf-8?Q?a=F4=AE=B1=AB=80b?=",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "b"},
        {"=?UTF-8*en?Q?x?=", "x"},  // RFC 2231 language
        {"Gr\xFC\xDF"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},  // undeclared, not UTF-8: windows-1252
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},  // undeclared UTF-8 stays
        // What is not a well-formed word stays as written.
        {"broken =?x?Q?no end", "broken =?x?Q?no end"},
        {"=?x?X?abc?=after", "=?x?X?abc?=after"},
        {"a =?x?Q?has blank?= b", "a =?x?Q?has blank?= b"},
        {"=?unknown-set?Q?abc?=", "abc"},
        // An unknown set is read only when its bytes are UTF-8 anyway.
        {"=?NONE?B?VEVTVA=?=", "TEST"},
        {"=?NONE?Q?caf=C3=A9?= ok", "caf\xC3\xA9 ok"},
        {"=?NONE?Q?caf=E9?= =?NONE?Q?=E9?= ok", "=?NONE?Q?caf=E9?= =?NONE?Q?=E9?= ok"},
        {"=?x\xB8-1?Q?=FC?=", "=?x\xC2\xB8-1?Q?=FC?="},  // kept, but as UTF-8
        {"=?x?B?a*b?=", "i"},                            // stray characters in base64 are ignored
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeHeaderWords(c.in), c.out) << c.in;
}

// Decoded first, cut afterwards: a long value of encoded words keeps 255
// bytes of text, never half a character.
TEST(HeaderWords, HeaderValuesAreDecodedThenCut) {
    std::string value;
    for (int i = 0; i < 50; ++i) value += "=?UTF-8?B?w6nDqcOp?= ";
    TmsHeaders headers;
    headers.Add("Subject: " + value);
    const std::string subject = headers.GetFieldValue("Subject");
    EXPECT_EQ(subject.size(), 254u);
    EXPECT_EQ(subject.substr(0, 4), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(headers.GetWholeFieldValue("Subject").size(), 300u);
}

// A display name before "<address>" never makes the header 8-bit or two
// addresses of one.
TEST(HeaderWords, DisplayNamesBecomePhrases) {
    EXPECT_EQ(HeaderPhrase("Ann Smith"), "Ann Smith");
    EXPECT_EQ(HeaderPhrase("Smith, \"Ann\""), "\"Smith, \\\"Ann\\\"\"");
    EXPECT_EQ(HeaderPhrase("Zo\xC3\xAB"), "=?UTF-8?B?Wm/Dqw==?=");
}

TEST(HeaderWords, EncodeJisHeader) {
    const std::string jis = "\x1b$B$3$s$K$A$O\x1b(B";
    EXPECT_EQ(EncodeJisHeader(jis), "=?ISO-2022-JP?B?" + Base64EncodeString(jis) + "?=");
    EXPECT_EQ(EncodeJisHeader("plain"), "plain");
    EXPECT_EQ(EncodeJisHeader(""), "");
    EXPECT_EQ(EncodeJisHeader("\x1b" + std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(DecodeHeaderWords(EncodeJisHeader(jis)),
              "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF");
}

TEST(HeaderWords, EncodeMakesShortUtf8Words) {
    const std::string text = "Fran\xC3\xA7ois \xE2\x82\xAC " + std::string(60, 'x') + " \xC3\xA9";
    const std::vector<std::string> words = EncodeHeaderWords(text);
    std::string joined;
    for (const std::string& word : words) {
        EXPECT_LE(word.size(), 75u);
        EXPECT_TRUE(word.starts_with("=?UTF-8?B?")) << word;
        joined += word + " ";
    }
    EXPECT_EQ(DecodeHeaderWords(joined), text + " ");
    EXPECT_EQ(EncodeHeaderWords("plain"), (std::vector<std::string>{"plain"}));
}

}  // namespace
}  // namespace qlk
