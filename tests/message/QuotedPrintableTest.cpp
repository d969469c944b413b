#include "message/QuotedPrintable.h"

#include <gtest/gtest.h>

#include "message/TQuotedPrintable.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

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
        {"abc\n", {"abc=0A"}},  // the very last byte always belongs to the text
        {"\r\n", {""}},
        {"a=b\tc\x7f\x80\xff", {"a=3Db=09c\x7f=80=FF"}},
        {std::string("a\0b", 3), {"a=00b"}},  // a zero byte keeps what follows it
        {"trailing  ", {"trailing  "}},
    };
    for (const auto& c : cases) EXPECT_EQ(Encode(c.in), c.out) << c.in;
}

TEST(QuotedPrintable, EncodeCutsPiecesOf65AtABlank) {
    const std::string word65(65, 'x');
    EXPECT_EQ(Encode(word65), (Lines{word65 + "=", ""}));
    EXPECT_EQ(Encode(std::string(64, 'x')), (Lines{std::string(64, 'x')}));
    EXPECT_EQ(Encode(std::string(130, 'x')), (Lines{word65 + "=", word65 + "=", ""}));

    const std::string words = std::string(40, 'a') + " " + std::string(40, 'b');
    EXPECT_EQ(Encode(words), (Lines{std::string(40, 'a') + "=", " " + std::string(40, 'b')}));

    // A blank just after the 65-byte window ends the piece at 65 bytes.
    EXPECT_EQ(Encode(word65 + " tail"), (Lines{word65 + "=", " tail"}));
    // Escaping happens after the cut, so a piece can grow to 3 x 65 characters.
    const Lines escaped = Encode(std::string(70, '='));
    EXPECT_EQ(escaped[0].size(), 3u * 65 + 1);
}

TEST(QuotedPrintable, ParagraphLimits) {
    EXPECT_NO_THROW(Encode(std::string(kQPMaxEncodeParagraph, 'a')));
    EXPECT_THROW(Encode(std::string(kQPMaxEncodeParagraph + 1, 'a')), Exception);
    try {
        Encode(std::string(30000, 'a'));
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Paragraph is too large");
    }

    // Every paragraph the encoder accepts reads back.
    const std::string largest(kQPMaxEncodeParagraph, 'a');
    EXPECT_EQ(Decode(Encode(largest)), largest + "\r\n");

    Lines fits(kQPMaxDecodeParagraph / 100, std::string(100, 'a') + "=");
    fits.push_back(std::string(kQPMaxDecodeParagraph % 100, 'a'));
    EXPECT_EQ(Decode(fits).size(), kQPMaxDecodeParagraph + 2);
    Lines tooLong = fits;
    tooLong.back() += "a";
    std::string data = "kept";
    EXPECT_THROW(TQuotedPrintable(data, tooLong).Decode(), Exception);
    EXPECT_EQ(data, "kept");
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

TEST(QuotedPrintable, AllByteValuesRoundTrip) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    // Line breaks are not bytes of the content but structure; take them out
    // and check every other byte survives, also across soft breaks.
    std::string content;
    for (char c : bytes)
        if (c != '\r' && c != '\n') content += c;
    content += content;
    std::string text;
    QPEncodeAppend(content, text);
    std::string decoded;
    QPDecodeText(text, decoded);
    EXPECT_EQ(decoded, content + "\r\n");
    EXPECT_EQ(Decode(Encode(content)), content + "\r\n");
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
