#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/EDatabaseError.h"
#include "gateway/UserDirectory.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

struct Logged {
    std::string text;
    int level;
};

class UserDirectoryTest : public ::testing::Test {
protected:
    UserDirectoryTest() {
        users_.AskCopyValues = [this] {
            ++questions_;
            return answerYes_;
        };
        users_.DefaultPOP3Server = [this] { return defaultHost_; };
    }

    void StoreRow(const std::string& mailbox, bool deleteMail, bool alias) {
        TableEngine& table = users_.Table();
        table.Append();
        table.SetAsString(UserField::Mailbox, mailbox);
        table.SetAsString(UserField::POPHost, "old.example.com");
        table.SetAsString(UserField::POPUserID, mailbox + "-id");
        table.SetAsString(UserField::POPPassword, mailbox + "-pw");
        table.SetAsBoolean(UserField::DeleteMail, deleteMail);
        table.SetAsBoolean(UserField::Alias, alias);
        table.Post();
    }

    test::TempDir dir_;
    std::vector<Logged> log_;
    UserDirectory users_{dir_.path(), [this](const std::string& text, int level) {
                             log_.push_back({text, level});
                         }};
    bool answerYes_ = false;
    int questions_ = 0;
    std::string defaultHost_;
};

struct AddCase {
    const char* what;
    bool previousRow;
    bool answerYes;
    std::string defaultHost;
    std::string host, userId, password;  // expected in the new row
};

void PrintTo(const AddCase& c, std::ostream* out) {
    *out << c.what;
}

class AddUserTest : public UserDirectoryTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddUserTest, NewRowStartsFromTheCopyRuleAndTheDefaultServer) {
    const AddCase& c = GetParam();
    ASSERT_TRUE(users_.OpenTable());
    if (c.previousRow) {
        StoreRow("first", true, false);
        StoreRow("prev", false, true);  // the flags of the last row must not carry over
    }
    users_.Table().First();
    answerYes_ = c.answerYes;
    defaultHost_ = c.defaultHost;

    const int cursor = users_.Table().RecNo();
    const UserRecord row = users_.NewUser();

    EXPECT_EQ(questions_, 1);
    EXPECT_EQ(row.rowId, 0);
    EXPECT_EQ(row.popHost, c.host);
    EXPECT_EQ(row.popUserId, c.userId);
    EXPECT_EQ(row.popPassword, c.password);
    EXPECT_EQ(row.mailbox, "");
    EXPECT_TRUE(row.deleteMail);
    EXPECT_FALSE(row.alias);
    EXPECT_EQ(users_.Table().RecNo(), cursor) << "the cursor a transfer may be using stays where it was";
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AddUserTest,
    ::testing::Values(AddCase{"yes copies the last row, the default server wins", true, true,
                              "default.example.com", "default.example.com", "prev-id", "prev-pw"},
                      AddCase{"yes without a default server keeps the copied host", true, true, "",
                              "old.example.com", "prev-id", "prev-pw"},
                      AddCase{"no gives an empty row", true, false, "", "", "", ""},
                      AddCase{"no still takes the default server", true, false, "default.example.com",
                              "default.example.com", "", ""},
                      AddCase{"yes on an empty table copies nothing", false, true, "", "", "", ""},
                      AddCase{"yes on an empty table with a default server", false, true,
                              "default.example.com", "default.example.com", "", ""}),
    [](const ::testing::TestParamInfo<AddCase>& param) { return "Case" + std::to_string(param.index); });

TEST_F(UserDirectoryTest, ATableThatCannotBeOpenedIsLoggedAsAnErrorAndStaysClosed) {
    test::WriteFileBytes(dir_ / "users.DB", "not a database at all, but long enough to be read as one");
    EXPECT_FALSE(users_.OpenTable());
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].level, 0);
    EXPECT_NE(log_[0].text.find("users.DB"), std::string::npos);
    EXPECT_FALSE(users_.Table().Active());
    EXPECT_THROW(users_.NewUser(), EDatabaseError);
}


}  // namespace
}  // namespace qlk
