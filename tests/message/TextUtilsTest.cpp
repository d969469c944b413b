#include "message/TextUtils.h"

#include <gtest/gtest.h>

#include "message/TmsMailAddress.h"
#include "platform/EFCreateError.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

TEST(TextUtils, StripQuotes) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  \"John Smith\"\t", "John Smith"},
        {"\"\"\"x\"\"", "x"},
        {"\" inner \"", " inner "},  // no trimming after the quotes go
        {"\"", ""},
        {"plain", "plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(StripQuotes(c.in), c.out) << c.in;
}

TEST(TextUtils, ParseAddress) {
    const struct {
        const char* text;
        const char* name;
        const char* address;
    } cases[] = {
        {"john@example.com", "", "john@example.com"},
        {" john@example.com ", "", " john@example.com "},  // a bare mailbox is taken as it stands
        {"john@example.com (John Smith)", "John Smith", "john@example.com"},
        {"\"Smith, John\" <john@example.com>", "Smith, John", "john@example.com"},
        {"john@example.com <john@example.com>", "john@example.com", "john@example.com"},
        {"John <john@example.com", "John <john@example.com", ""},
        {"John >x< <y>", "John >x<", "y"},  // the last angle brackets hold the mailbox
        // Quotes, escapes and comments are syntax, not part of the name.
        {"\"Doe, \\\"JJ\\\" <x>\" <jd@x>", "Doe, \"JJ\" <x>", "jd@x"},
        {"John (work) <jd@x>", "John", "jd@x"},
        {"<jd@x> (John Doe)", "John Doe", "jd@x"},
        {"\"a <b@c>\" <d@e>", "a <b@c>", "d@e"},
        {"x@y (", "", "x@y"},
        {"<>", "", ""},
        // Comments, folding blanks and source routes are not part of the mailbox.
        {"Pete(his account)@silly.test(his host)", "his account his host", "Pete@silly.test"},
        {"Pete(A nice \\) chap) <pete(his account)@silly.test(his host)>", "Pete", "pete@silly.test"},
        {"@machine.tld:mary@example.net", "", "mary@example.net"},
        {"Mary Smith <@node.test,@relay.test:mary@example.net>", "Mary Smith", "mary@example.net"},
        {"jdoe@test   . example", "", "jdoe@test.example"},
    };
    for (const auto& c : cases) {
        TmsMailAddress address("stale", "stale");
        ParseAddress(c.text, address);
        EXPECT_EQ(address.Name, c.name) << c.text;
        EXPECT_EQ(address.Address, c.address) << c.text;
    }
}

TEST(TextUtils, GetParameter) {
    const struct {
        const char* name;
        const char* value;
        const char* result;
    } cases[] = {
        {"boundary", "multipart/mixed; boundary=\"=_b1 x\"", "=_b1 x"},
        {"BOUNDARY", "multipart/mixed; boundary=abc;", "abc"},
        {"boundary", "multipart/mixed; boundary=abc; charset=x", "abc"},
        {"name", "application/pdf; filename=\"r.pdf\"", "r.pdf"},  // found inside "filename"
        {"charset", "text/plain", ""},
        {"charset", "text/plain; charset=\"unterminated", "unterminated"},
        {"charset", "text/plain; charset", ""},
        {"", "text/plain", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetParameter(c.name, c.value), c.result) << c.value;
}

TEST(TextUtils, GetMainValue) {
    EXPECT_EQ(GetMainValue("  text/plain; charset=us-ascii"), "");  // a leading blank ends it at once
    EXPECT_EQ(GetMainValue("text/plain; charset=us-ascii"), "text/plain");
    EXPECT_EQ(GetMainValue("multipart/mixed boundary=x"), "multipart/mixed");
    EXPECT_EQ(GetMainValue(std::string(300, 'a')), std::string(255, 'a'));
}

TEST(TextUtils, ExtractWord) {
    const struct {
        const char* line;
        int n;
        bool stop;
        const char* word;
    } cases[] = {
        {"+OK 12 3456", 1, true, "12"},
        {"+OK 12 3456", 2, true, "3456"},
        {"+OK 12 3456", 1, false, "12 3456"},
        {"+OK 12 3456", 0, true, "+OK"},
        {"+OK 12 3456", 3, true, ""},
        {"+OK   12    3456  ", 2, true, "3456"},
        {"+OK", 1, true, ""},
        {"", 0, true, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractWord(c.line, c.n, c.stop), c.word) << c.line << " " << c.n;
}

TEST(TextUtils, ExtractWordInt) {
    EXPECT_EQ(ExtractWordInt("+OK 12 3456", 2), 3456);
    EXPECT_EQ(ExtractWordInt("+OK", 1), -1);
    EXPECT_EQ(ExtractWordInt("+OK abc", 1), -1);
    EXPECT_EQ(ExtractWordInt("+OK 12x", 1), -1);
    EXPECT_EQ(ExtractWordInt("+OK 99999999999999999999999", 1), -1);
    EXPECT_EQ(ExtractWordInt("+OK 5000000000", 1), 5000000000);
}

TEST(TextUtils, AddBackslash) {
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("QLKATT"), "QLKATT/");
    EXPECT_EQ(AddBackslash("QLKATT/"), "QLKATT/");
}

TEST(TextUtils, SaveStringsToFileEndsEveryLineWithCrLf) {
    test::TempDir dir;
    SaveStringsToFile({"one", "", "three"}, (dir / "out.txt").string());
    EXPECT_EQ(test::ReadFileBytes(dir / "out.txt"), "one\r\n\r\nthree\r\n");
    EXPECT_THROW(SaveStringsToFile({"x"}, (dir / "missing/out.txt").string()), EFCreateError);
}

TEST(TextUtils, RemoveTrailingBlankLines) {
    std::vector<std::string> lines{"", "text", " \t", "", "\r"};
    RemoveTrailingBlankLines(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"", "text"}));
    std::vector<std::string> blank{" ", ""};
    RemoveTrailingBlankLines(blank);
    EXPECT_TRUE(blank.empty());
}

}  // namespace
}  // namespace qlk
