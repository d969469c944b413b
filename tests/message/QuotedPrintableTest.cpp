#include "message/QuotedPrintable.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "message/TQuotedPrintable.h"
#include "platform/EventPump.h"

namespace qlk {
namespace {

using Lines = std::vector<std::string>;

Lines Encode(std::string data) {
    Lines lines;
    TQuotedPrintable(data, lines).Encode();
    return lines;
}

std::string Decode(Lines lines) {
    std::string data;
    TQuotedPrintable(data, lines).Decode();
    return data;
}

TEST(QuotedPrintable, EncodeParagraphsAndBreaks) {
    const std::string x75(75, 'x');
    const struct {
        std::string in;
        Lines out;
    } cases[] = {
        {"", {}},
        {"abc", {"abc"}},
        {"abc\r\ndef", {"abc", "def"}},
        {"abc\n\rdef", {"abc", "def"}},
        {"abc\r\n\r\ndef", {"abc", "", "def"}},
        {"abc\n\ndef", {"abc", "", "def"}},  // each LF of a doubled LF is a line
        {"abc\r\n", {"abc"}},
        {"abc\n", {"abc"}},
        {"\r\n", {""}},
        {"a=b\tc\x7f\x80\xff", {"a=3Db\tc\x7f=80=FF"}},
        {std::string("a\0b", 3), {"a=00b"}},  // a zero byte keeps what follows it
        // Blanks that end a line are escaped: transports strip them.
        {"trailing  ", {"trailing =20"}},
        {"tab\t\r\nnext", {"tab=09", "next"}},
        // Lines of at most 76 characters, the soft break included.
        {x75, {x75}},
        {x75 + "y", {x75 + "=", "y"}},
        {std::string(74, 'x') + "\xE9", {std::string(74, 'x') + "=", "=E9"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Encode(c.in), c.out) << c.in;
}

// A 58 KB single-line HTML part (no paragraph limit either way), and every
// byte value: lines stay within 76 characters and the data comes back exactly.
TEST(QuotedPrintable, LongParagraphsRoundTripInShortLines) {
    std::string html = "<html><body>";
    while (html.size() < 58000) html += "<td class=\"c\">Caf\xC3\xA9 \t </td> ";
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    for (const std::string& data : {html, bytes + bytes, html + "\r\n"}) {
        std::string text;
        QPEncodeAppend(data, text);
        std::size_t longest = 0;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            longest = std::max(longest, end - start);
            start = end + 2;
        }
        EXPECT_LE(longest, 76u);
        std::string decoded;
        QPDecodeText(text, decoded);
        // The decoder ends the last line; the encoder wrote it without a break.
        const std::string expected = data;
        std::string normalised;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == '\r' || expected[i] == '\n') {
                normalised += "\r\n";
                if (expected[i] == '\r' && i + 1 < expected.size() && expected[i + 1] == '\n') ++i;
            } else {
                normalised += expected[i];
            }
        }
        if (!normalised.ends_with("\r\n")) normalised += "\r\n";
        EXPECT_EQ(decoded, normalised);
    }
}

TEST(QuotedPrintable, Decode) {
    const struct {
        Lines in;
        std::string out;
    } cases[] = {
        {{"abc=3D"}, "abc=\r\n"},
        {{"abc=", "def"}, "abcdef\r\n"},
        {{"=4x =4", "=G1"}, "=4x =4\r\n=G1\r\n"},
        {{"=e9=E9"}, "\xe9\xe9\r\n"},
        {{"a=1"}, "a=1\r\n"},
        {{"x=1A"}, "x\x1a"},                // Ctrl-Z ends the text without a line break
        {{"x=1A", "y"}, "x\x1a\r\ny\r\n"},  // but never joins two paragraphs
        {{"x=1A", ""}, "x\x1a\r\n\r\n"},
        {{""}, "\r\n"},
        {{"soft at end="}, "soft at end"},
        {{"soft after blanks=  ", "x"}, "soft after blanksx\r\n"},  // blanks a transport added
        {{"kept =20"}, "kept  \r\n"},
        {{"=="}, "="},
        {{std::string(250, 'a') + "=3D=3D=3D"}, std::string(250, 'a') + "==3\r\n"},  // cut at 255
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.in), c.out) << c.in[0];
}

TEST(QuotedPrintable, WholeBufferPathsReadLongLinesWhole) {
    const std::string line = std::string(250, 'a') + "=3D=3D=3D";
    std::string out;
    QPDecodeLines({line}, out);
    EXPECT_EQ(out, std::string(250, 'a') + "===\r\n");
    out.clear();
    QPDecodeText("a=\r\nb\nc\rd\r\n", out);
    EXPECT_EQ(out, "ab\r\nc\r\nd\r\n");
}

TEST(QuotedPrintable, DecodeStringGivesFirstLine) {
    EXPECT_EQ(QPDecodeString("caf=E9"), "caf\xe9");
    EXPECT_EQ(QPDecodeString("one=0D=0Atwo"), "one");
    EXPECT_EQ(QPDecodeString("soft="), "soft");
}

TEST(QuotedPrintable, LargeInputGivesTheEventPumpTurns) {
    int turns = 0;
    auto previous = SetMessagePump([&] { ++turns; });
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += "some ordinary text of a line\r\n";
    std::string encoded;
    QPEncodeAppend(lines, encoded);
    std::string decoded;
    QPDecodeText(encoded, decoded);
    SetMessagePump(previous);
    EXPECT_EQ(decoded, lines);
    EXPECT_GT(turns, 10);
}

}  // namespace
}  // namespace qlk
