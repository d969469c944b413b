#include <gtest/gtest.h>

#include "message/EMessageError.h"
#include "message/TmsArticle.h"
#include "message/TmsHeaders.h"
#include "message/TmsMessage.h"

namespace qlk {
namespace {

TmsHeaders MakeHeaders(std::initializer_list<const char*> lines) {
    TmsHeaders headers;
    for (const char* line : lines) headers.Add(line);
    return headers;
}

struct FieldCase {
    const char* name;
    std::vector<std::string> lines;
    std::string field;
    std::string expected;
};

class GetFieldValueTest : public testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldValueTest, FindsUnfoldsAndDecodes) {
    const FieldCase& c = GetParam();
    TmsHeaders headers;
    for (const std::string& line : c.lines) headers.Add(line);
    EXPECT_EQ(headers.GetFieldValue(c.field), c.expected);
}

const std::string kLong(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, GetFieldValueTest,
    testing::Values(
        FieldCase{"NoBlankAfterColon", {"Subject:hello"}, "Subject", "hello"},
        FieldCase{"NameWithColonAnyCase", {"SUBJECT:  hi  "}, "subject:", "hi"},
        FieldCase{"FoldedJoinedByOneBlank", {"Subject: one", "\t  two", "From: x"}, "Subject", "one two"},
        FieldCase{"FirstOccurrenceWins", {"X-A: 1", "X-A: 2"}, "X-A", "1"},
        FieldCase{"Absent", {"From: a"}, "To", ""},
        FieldCase{"EncodedWord", {"Subject: =?ISO-8859-1?Q?Caf=E9?= ok"}, "Subject", "Caf\xC3\xA9 ok"},
        FieldCase{"ContentTypeNotDecoded",
                  {"Content-Type: text/plain; name=\"=?a?Q?b?=\""},
                  "Content-Type",
                  "text/plain; name=\"=?a?Q?b?=\""},
        FieldCase{"OtherValuesCutAt255", {"X-Long: " + kLong}, "X-Long", kLong.substr(0, 255)},
        FieldCase{"ContentTypeWhole", {"Content-Type: " + kLong}, "Content-Type", kLong}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(GetFieldListTest, SplitsFoldedAddressesAndKeepsQuotedCommas) {
    const TmsHeaders headers = MakeHeaders({"To: \"Doe, Jane\" <jd@x.org>, bob@x.org,", "  carol@x.org,",
                                            "  dan@x.org", "Cc: erin@x.org", "To: last@x.org"});
    std::vector<std::string> list{"stale"};
    headers.GetFieldList("TO", list);
    EXPECT_EQ(list, (std::vector<std::string>{"\"Doe, Jane\" <jd@x.org>", "bob@x.org", "carol@x.org",
                                              "dan@x.org", "last@x.org"}));
}

// An undeclared 8-bit name is windows-1252 when it is not UTF-8.
TEST(GetFieldListTest, ReadsUndeclaredBytesInNames) {
    const TmsHeaders headers = MakeHeaders({"Cc: \"J\xFFrg, M\" <j@x>, k@x"});
    std::vector<std::string> list;
    headers.GetFieldList("CC", list);
    EXPECT_EQ(list, (std::vector<std::string>{"\"J\xC3\xBFrg, M\" <j@x>", "k@x"}));
}

TEST(TmsHeadersTest, DeleteFieldTakesContinuationLinesAlong) {
    TmsHeaders headers = MakeHeaders({"To: a,", " b", "Subject: s", "To: c"});
    headers.DeleteField("to");
    EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"Subject: s", "To: c"}));
}

TEST(TmsHeadersTest, TruncateAtBlankLineDropsTheBody) {
    TmsHeaders headers = MakeHeaders({"A: 1", "B: 2", "", "body", ""});
    headers.TruncateAtBlankLine();
    EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"A: 1", "B: 2"}));
}

struct PriorityCase {
    const char* value;
    TPriority expected;
};

TEST(ParseHeadersTest, ThePriorityNumberCountsNotItsComment) {
    for (const PriorityCase& c :
         {PriorityCase{"1", ptHigh}, PriorityCase{"5", ptLow}, PriorityCase{"1 (Highest)", ptHigh},
          PriorityCase{"5 (Lowest)", ptLow}, PriorityCase{"3", ptNormal}, PriorityCase{"12", ptNormal}}) {
        TmsMessage message;
        message.ParseHeaders(MakeHeaders({("X-Priority: " + std::string(c.value)).c_str()}));
        EXPECT_EQ(message.Priority(), c.expected) << c.value;
    }
}

TEST(ParseHeadersTest, FillsAddressesSubjectAndReceipt) {
    TmsMessage message;
    message.SetSubject("kept");
    message.ParseHeaders(
        MakeHeaders({"From: \"Alice\" <a@x.org>", "To: b@x.org, Carl <c@x.org>", "CC: d@x.org (Dee)",
                     "BCC: e@x.org", "Subject:", "Return-Receipt-To: a@x.org", "X-Priority: 1"}));
    EXPECT_EQ(message.Sender().Address, "a@x.org");
    EXPECT_EQ(message.Sender().Name, "Alice");
    ASSERT_EQ(message.Recipients().Count(), 2);
    EXPECT_EQ(message.Recipients().Items(1).Name, "Carl");
    EXPECT_EQ(message.CC().Items(0).Name, "Dee");
    EXPECT_EQ(message.BCC().Items(0).Address, "e@x.org");
    EXPECT_EQ(message.Subject(), "kept");
    EXPECT_TRUE(message.ReturnReceipt());
    EXPECT_EQ(message.Headers().Count(), 7u);

    message.Clear();
    EXPECT_FALSE(message.ReturnReceipt()) << "a reused message starts from the defaults";
    EXPECT_EQ(message.Priority(), ptNormal);
}

TmsAttItem& AddItem(TmsMessage& message, const char* name) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(name);
    TmsAttItem& ref = *item;
    message.Attachments().Add(std::move(item));
    return ref;
}

struct TypeCase {
    const char* name;
    std::vector<const char*> attachments;
    bool body;
    std::string expected;
};

class ContentTypeTest : public testing::TestWithParam<TypeCase> {};

TEST_P(ContentTypeTest, IsComputedFromBodyAndAttachments) {
    TmsMessage message;
    message.Clear();
    if (GetParam().body) message.Body().push_back("text");
    for (const char* name : GetParam().attachments) AddItem(message, name);
    EXPECT_EQ(message.ContentType(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentTypeTest,
    testing::Values(TypeCase{"HtmlBodyFile", {"/tmp/_HTMBODY.HTM"}, false, "text/html"},
                    TypeCase{"RtfBodyFile", {"_rtfbody.rtf"}, false, "text/rtf"},
                    TypeCase{"HtmlBodyFileBesideText", {"_htmbody.htm"}, true, "multipart/mixed"},
                    TypeCase{"AllAlternatives", {"_alt.0", "_alt.1"}, true, "multipart/alternative"},
                    TypeCase{"AlternativeAndFile", {"_alt.0", "report.pdf"}, true, "multipart/mixed"},
                    TypeCase{"TextAfterClear", {}, true, "text/plain"},
                    TypeCase{"NothingAtAll", {}, false, "text/plain"},
                    TypeCase{"OneFileNoText", {"report.pdf"}, false, "application/pdf"},
                    TypeCase{"TwoFilesNoText", {"a.pdf", "b.pdf"}, false, "multipart/mixed"}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(ContentTypeTest, UuencodedMessageHasNoType) {
    TmsMessage message;
    message.SetEncoding(meUU);
    EXPECT_EQ(message.ContentType(), "");
}

TEST(ContentTypeTest, StoredTypeCountsForTextWithoutAttachments) {
    TmsMessage message;
    message.Body().push_back("<p>");
    message.SetContentType("TEXT/HTML");
    EXPECT_EQ(message.ContentType(), "text/html");
}

// The text of the validation error, "" when the message is valid.
std::string ValidationError(const TmsCustomMessage& message) {
    try {
        message.Validate();
    } catch (const EMessageError& e) {
        return e.what();
    }
    return "";
}

TEST(ValidateTest, RequiresSenderAndSomeRecipient) {
    TmsMessage message;
    EXPECT_EQ(ValidationError(message), "The address of sender is required");
    message.Sender().Address = "a@x.org";
    message.Recipients().AddAddress("", "Name only");
    EXPECT_EQ(ValidationError(message), "At least one Recipient, CC or BCC must be entered");
    message.BCC().AddAddress("b@x.org", "");
    EXPECT_EQ(ValidationError(message), "");
}

TEST(ValidateTest, ArticleNeedsGroupsThenSubject) {
    TmsArticle article;
    article.Sender().Address = "a@x.org";
    EXPECT_EQ(ValidationError(article), "Newsgroup header is required");
    article.SetNewsGroups("comp.mail");
    EXPECT_EQ(ValidationError(article), "Subject header is required");
}

TEST(AssignTest, CopiesEverythingDeeply) {
    TmsMessage source;
    source.Sender().Address = "a@x.org";
    source.Recipients().AddAddress("b@x.org", "B");
    source.SetPriority(ptHigh);
    source.Body().push_back("hello");
    AddItem(source, "f.bin").Data = "xyz";
    TmsMessage copy;
    copy.Assign(source);
    source.Attachments().Items(0).Data = "changed";
    EXPECT_EQ(copy.Recipients().Items(0).Address, "b@x.org");
    EXPECT_EQ(copy.Priority(), ptHigh);
    EXPECT_EQ(copy.Attachments().Items(0).Data, "xyz");
    EXPECT_EQ(copy.ContentType(), "multipart/mixed");
}

}  // namespace
}  // namespace qlk
