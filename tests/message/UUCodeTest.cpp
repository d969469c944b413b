#include "message/UUCode.h"

#include <gtest/gtest.h>

#include "message/EMessageParserError.h"

namespace qlk {
namespace {

TEST(UUCode, CharValue) {
    EXPECT_EQ(UUCharValue('`'), 0);
    EXPECT_EQ(UUCharValue('!'), 1);
    EXPECT_EQ(UUCharValue('_'), 63);
    EXPECT_EQ(UUCharValue(' '), 0);  // a blank is zero, as uudecode reads it
    for (char c : {'a', '~', '\t', '\0', '\xff'}) EXPECT_THROW(UUCharValue(c), EMessageParserError);
}

TEST(UUCode, EncodeLineLengths) {
    EXPECT_EQ(UUEncodeLine(""), "`");
    EXPECT_EQ(UUEncodeLine("a").size(), 3u);
    EXPECT_EQ(UUEncodeLine("ab").size(), 4u);
    EXPECT_EQ(UUEncodeLine("abc"), "#86)C");
    EXPECT_EQ(UUEncodeLine(std::string(45, 'x')).size(), 61u);
    EXPECT_EQ(UUEncodeLine(std::string(50, 'x')), UUEncodeLine(std::string(45, 'x')));
    EXPECT_EQ(UUEncodeLine(std::string(3, '\0')), "#````");
}

TEST(UUCode, DecodeLine) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"`", ""},
        {"", ""},
        {"#86)C", "abc"},
        {"!80", "a"},
        {"#86)C```", "abc"},                          // characters beyond the count are read but dropped
        {"M86)C", "abc"},                             // a count beyond the line gives what the line holds
        {"#    ", std::string(3, '\0')},              // blanks read as zero
        {"& &AI    ", std::string("\0hi\0\0\0", 6)},  // Python's binascii.b2a_uu
        {"!8", "`"},                                  // a short group is completed with zeros
    };
    for (const auto& c : cases) EXPECT_EQ(UUDecodeLine(c.in), c.out) << c.in;
    EXPECT_THROW(UUDecodeLine("#86)c"), EMessageParserError);
    EXPECT_THROW(UUDecodeLine("a"), EMessageParserError);
}

TEST(UUCode, AllByteValuesRoundTrip) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    std::string wrapped;
    UUEncodeWrapped(bytes, wrapped, "\n");
    std::string decoded;
    std::size_t pos = 0;
    int lines = 0;
    while (pos < wrapped.size()) {
        const std::size_t end = wrapped.find('\n', pos);
        const std::string line = wrapped.substr(pos, end - pos);
        EXPECT_EQ(line, UUEncodeLine(bytes.substr(static_cast<std::size_t>(lines) * 45, 45)));
        decoded += UUDecodeLine(line);
        pos = end + 1;
        ++lines;
    }
    EXPECT_EQ(lines, 6);
    EXPECT_EQ(decoded, bytes);
}

TEST(UUCode, IsUUBegin) {
    const struct {
        const char* line;
        bool begin;
    } cases[] = {
        {"begin 644 file.txt", true},
        {"BEGIN 600 x", false},
        {"begin   644 a", true},
        {"begin 6 file.txt", false},
        {"begin 64 x", false},
        {"begin 644", false},
        {"begin644", false},
        {"begun 644 x", false},
        {"begin abc x", false},
        {"", false},
        {"begin 0644 a", true},
        {"begin 986 x", false},
        {"Begin 100 days of testing", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUUBegin(c.line), c.begin) << c.line;
}

TEST(UUCode, FileName) {
    EXPECT_EQ(UUFileName("begin 644 file.txt"), "file.txt");
    EXPECT_EQ(UUFileName("begin 644 two words.txt"), "two");
    EXPECT_EQ(UUFileName("begin 644 \"two words.txt\" rest"), "two words.txt");
    EXPECT_EQ(UUFileName("begin 644 \"open"), "");
    EXPECT_EQ(UUFileName("begin 644"), "");
    EXPECT_EQ(UUFileName("begin 644 "), "");
    // Four-digit modes and extra blanks must not cost the file its name.
    EXPECT_EQ(UUFileName("begin 0644 file.txt"), "file.txt");
    EXPECT_EQ(UUFileName("begin   644 a"), "a");
    EXPECT_EQ(UUFileName("begin 644  spaced.txt"), "spaced.txt");
}

}  // namespace
}  // namespace qlk
