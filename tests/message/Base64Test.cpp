#include "message/Base64.h"

#include <gtest/gtest.h>

#include "message/EMessageParserError.h"

namespace qlk {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
}

TEST(Base64, CharValue) {
    EXPECT_EQ(Base64CharValue('A'), 0);
    EXPECT_EQ(Base64CharValue('z'), 51);
    EXPECT_EQ(Base64CharValue('9'), 61);
    EXPECT_EQ(Base64CharValue('+'), 62);
    EXPECT_EQ(Base64CharValue('/'), 63);
    EXPECT_EQ(Base64CharValue('='), 255);
    for (char c : {' ', '\r', '\n', '-', '_', '\0', '\x80'})
        EXPECT_THROW(Base64CharValue(c), EMessageParserError);
}

TEST(Base64, EncodeStringPadsToFourAndReadsAtMost255Bytes) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& c : cases) EXPECT_EQ(Base64EncodeString(c.in), c.out);
    EXPECT_EQ(Base64EncodeString(std::string(300, 'x')), Base64EncodeString(std::string(255, 'x')));
}

TEST(Base64, DecodeString) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Zm9vYg==", "foob"},
        {"Zm9vYmE=", "fooba"},
        {"", ""},
        {"Zm9vYg", "foob"},           // padding left off
        {"Zm9vY", "foo"},             // one character of a group carries no byte
        {"====", ""},                 // more padding than bytes
        {"QQ==QQ==", {"A\0\0A", 4}},  // "=" inside the line counts as zero fill
    };
    for (const auto& c : cases) EXPECT_EQ(Base64DecodeString(c.in), c.out) << c.in;
}

TEST(Base64, DecodeRejectsCharactersOutsideTheAlphabet) {
    for (const char* line : {"Zm9v Yg==", "Zm9vYg==\r", "Zm9-", "Zm9vYg=\x80"}) {
        std::string out = "kept";
        EXPECT_THROW(Base64DecodeLineAppend(line, out), EMessageParserError) << line;
        EXPECT_EQ(out, "kept");
    }
}

TEST(Base64, DecodeStringReadsOnly255Characters) {
    std::string line;
    Base64EncodeAppend(std::string(240, 'x'), line);  // 320 characters
    EXPECT_EQ(Base64DecodeString(line).size(), 255u / 4 * 3 + 2);
    std::string whole;
    Base64DecodeLineAppend(line, whole);
    EXPECT_EQ(whole, std::string(240, 'x'));
}

TEST(Base64, AllByteValuesRoundTripInEveryAlignment) {
    const std::string bytes = AllBytes();
    for (std::size_t shift = 0; shift < 3; ++shift) {
        const std::string data = bytes.substr(shift);
        std::string wrapped;
        Base64EncodeWrapped(data, wrapped);
        std::string decoded;
        Base64DecodeText(wrapped, decoded);
        EXPECT_EQ(decoded, data);
        for (std::size_t i = 0; i < data.size(); i += 57)
            EXPECT_EQ(Base64DecodeString(Base64EncodeString(data.substr(i, 57))), data.substr(i, 57));
    }
}

TEST(Base64, WrappedLinesHold57BytesAsSeventySixCharacters) {
    std::string out;
    Base64EncodeWrapped(std::string(57 * 2 + 1, 'a'), out, "\n");
    ASSERT_EQ(out.size(), 77u * 2 + 5);
    EXPECT_EQ(out.find('\n'), 76u);
    EXPECT_EQ(out.substr(154), "YQ==\n");
}

TEST(Base64, DecodeTextAcceptsAnyLineEnd) {
    std::string out;
    Base64DecodeText("Zm9v\r\nYmFy\nYg==\r\rZg", out);
    EXPECT_EQ(out, "foobarbf");
}

}  // namespace
}  // namespace qlk
