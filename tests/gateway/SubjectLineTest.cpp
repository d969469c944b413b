#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/SubjectLine.h"

namespace qlk {
namespace {

using Kind = SubjectLine::Kind;
using Items = std::vector<SubjectLine::Item>;

struct GrammarCase {
    const char* subject;
    Items items;
    bool hasBar;
    const char* realSubject;
    std::vector<std::string> notAddresses = {};
};

void PrintTo(const GrammarCase& c, std::ostream* out) {
    *out << '"' << c.subject << '"';
}

class SubjectLineGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(SubjectLineGrammar, SplitsRecipientsFromTheRealSubject) {
    const GrammarCase& c = GetParam();
    SubjectLine line(c.subject);
    EXPECT_EQ(line.Items(), c.items);
    EXPECT_EQ(line.NotAddresses(), c.notAddresses);
    EXPECT_EQ(line.HasBar(), c.hasBar);
    EXPECT_EQ(line.RealSubject(), c.realSubject);
    EXPECT_EQ(line.HasRecipient(), !c.items.empty());
}

const GrammarCase kGrammarCases[] = {
    GrammarCase{"TO:ann@example.org;CC:bob@example.org|Quarterly figures",
                {{Kind::To, "ann@example.org"}, {Kind::CC, "bob@example.org"}},
                true,
                "Quarterly figures"},
    GrammarCase{"ann@example.org", {{Kind::DefaultTo, "ann@example.org"}}, false, ""},
    GrammarCase{"BC:eve@example.org;", {{Kind::BC, "eve@example.org"}}, false, ""},
    GrammarCase{"Lunch today?", {}, false, "", {"Lunch today?"}},
    GrammarCase{"a|b|c@example.org", {}, true, "b|c@example.org", {"a"}},
    GrammarCase{"|Just a subject", {}, true, "Just a subject"}, GrammarCase{"", {}, false, ""},
    // As people type it: blanks around items, prefixes and addresses, the
    // prefix in any letter case; a prefix alone and empty items name nobody.
    GrammarCase{"TO:carol@example.org; CC:dan@example.org",
                {{Kind::To, "carol@example.org"}, {Kind::CC, "dan@example.org"}},
                false,
                ""},
    GrammarCase{" To: ann@example.org ;cc:bob@example.org; Bc: eve@example.org;bcc:fay@example.org; TO: ;;|x",
                {{Kind::To, "ann@example.org"},
                 {Kind::CC, "bob@example.org"},
                 {Kind::BC, "eve@example.org"},
                 {Kind::BC, "fay@example.org"}},
                true,
                "x"},
    // What is no address is set apart, the prefix where it stands only.
    GrammarCase{"Ann;TO:ann@example.org;Ann Smith <ann@example.org>;a b@example.org|Hi",
                {{Kind::To, "ann@example.org"}},
                true,
                "Hi",
                {"Ann", "Ann Smith <ann@example.org>", "a b@example.org"}},
    GrammarCase{"CC:TO:x@example.org;x@example.orgBC:;a@b> NOTIFY=NEVER|",
                {},
                true,
                "",
                {"CC:TO:x@example.org", "x@example.orgBC:", "a@b> NOTIFY=NEVER"}},
    GrammarCase{"TO:a@x;TO:a@x", {{Kind::To, "a@x"}, {Kind::To, "a@x"}}, false, ""},
    GrammarCase{"TO:j\xC3\xB6rg@m\xC3\xBCnchen.example",
                {{Kind::To, "j\xC3\xB6rg@m\xC3\xBCnchen.example"}},
                false,
                ""}};

INSTANTIATE_TEST_SUITE_P(Table, SubjectLineGrammar, ::testing::ValuesIn(kGrammarCases));

// A post office that holds 255 bytes of a subject cuts it on a character
// boundary: 252 to 255 bytes without a "|" may have lost recipients.
TEST(SubjectLine, ALineThatFillsThePostOfficesFieldWithoutABarMayBeCut) {
    const std::string full(255, 'x');
    EXPECT_TRUE(SubjectLine::MayBeCut(full) && SubjectLine::MayBeCut(full.substr(0, 252)));
    EXPECT_FALSE(SubjectLine::MayBeCut(full.substr(0, 251)) || SubjectLine::MayBeCut(full + "x"));
    EXPECT_FALSE(SubjectLine::MayBeCut(full.substr(0, 250) + "|Hi!"));
}

TEST(SubjectLine, LogLinesNameTheListAndTheAddressAsUsed) {
    EXPECT_EQ(SubjectLine::LogText({Kind::To, "a@x"}), "Added To: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::CC, "a@x"}), "Added CC: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::BC, "a@x"}), "Added BC: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::DefaultTo, "to:a@x"}), "Added Default To: Recipient : to:a@x");
}

}  // namespace
}  // namespace qlk
