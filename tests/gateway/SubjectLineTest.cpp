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
};

void PrintTo(const GrammarCase& c, std::ostream* out) {
    *out << '"' << c.subject << '"';
}

class SubjectLineGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(SubjectLineGrammar, SplitsRecipientsFromTheRealSubject) {
    const GrammarCase& c = GetParam();
    SubjectLine line(c.subject);
    EXPECT_EQ(line.Items(), c.items);
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
    GrammarCase{"to:ann@example.org|x", {{Kind::DefaultTo, "to:ann@example.org"}}, true, "x"},
    GrammarCase{"TO: ann@example.org|x", {{Kind::To, " ann@example.org"}}, true, "x"},
    GrammarCase{"BC:eve@example.org;", {{Kind::BC, "eve@example.org"}}, false, ""},
    GrammarCase{"Lunch today?", {}, false, ""}, GrammarCase{"a|b|c@example.org", {}, true, "b|c@example.org"},
    GrammarCase{"|Just a subject", {}, true, "Just a subject"}, GrammarCase{"", {}, false, ""},
    // Items without "@" are passed over without a word; empty ones too.
    GrammarCase{"Ann;;TO:ann@example.org;;Bob|Hi", {{Kind::To, "ann@example.org"}}, true, "Hi"},
    // The first prefix of TO:, CC:, BC: that the item holds decides,
    // wherever it stands; the first three characters go either way.
    GrammarCase{"CC:TO:x@example.org|", {{Kind::To, "TO:x@example.org"}}, true, ""},
    GrammarCase{"x@example.orgBC:|", {{Kind::BC, "xample.orgBC:"}}, true, ""},
    GrammarCase{"TO:a@x;TO:a@x", {{Kind::To, "a@x"}, {Kind::To, "a@x"}}, false, ""}};

INSTANTIATE_TEST_SUITE_P(Table, SubjectLineGrammar, ::testing::ValuesIn(kGrammarCases));

TEST(SubjectLine, LogLinesNameTheListAndTheAddressAsUsed) {
    EXPECT_EQ(SubjectLine::LogText({Kind::To, "a@x"}), "Added To: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::CC, "a@x"}), "Added CC: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::BC, "a@x"}), "Added BC: Recipient : a@x");
    EXPECT_EQ(SubjectLine::LogText({Kind::DefaultTo, "to:a@x"}), "Added Default To: Recipient : to:a@x");
}

}  // namespace
}  // namespace qlk
