#include "gateway/UsersCommand.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "gateway/UsersDatabase.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

struct Step {
    std::vector<std::string> args;
    std::string input;  // the standard input: the password, an answer
    int code;
    std::string shows;  // in the output or the errors
};

// One session of an operator without a window, over one users.DB: the
// checks, messages and defaults are the user form's.
TEST(UsersCommandTest, ASessionAddsListsEditsAndRemovesUsersAsTheFormDoes) {
    test::TempDir work;
    const Step steps[] = {
        {{"list"}, "", 0, "No users yet"},
        {{"add", "--name", " Ann Smith ", "--mailbox", "Ann Smith", "--pop-host", " pop.example.com ",
          "--pop-user", " ann ", "--return-address", "ann@example.com "},
         "s3cret \n",
         0,
         "Added user 1: Ann Smith (Ann Smith)"},
        {{"add", "--mailbox", "Bob", "--pop-host", " pop example com ", "--pop-user", "bob",
          "--return-address", "bob@example.com"},
         "pw\n",
         1,
         "POP Host \"pop example com\" names no mail server"},
        {{"add", "--mailbox=Bob", "--pop-host=pop3s://pop.example.com", "--pop-user=bob",
          "--return-address=bob"},
         "pw\n",
         1,
         "Return Address \"bob\" is not an Internet address"},
        {{"add", "--mailbox", "Bob"},
         "\n",
         1,
         "All Required Fields are not Filled Out: POP Host, POP User ID, POP Password, Return Address"},
        {{"add", "--password=pw"}, "", 2, "never given on the command line"},
        {{"add", "--mailbox", "Bob", "--copy-previous", "--pop-user", "bob", "--return-address",
          "bob@example.com", "--keep-mail", "--alias", "--alias-address", "sales@example.com"},
         "",
         0,
         "Added user 2: Bob"},
        {{"edit", "2", "--password", "--name", "Bob Jones"},
         "new-pw\n",
         0,
         "Changed user 2: Bob Jones (Bob)"},
        {{"edit", "7"}, "", 1, "no longer exists"},
        {{"edit", "x"}, "", 2, "\"x\" is not a user ID"},
        {{"list"}, "", 0, "bob@example.com  no           yes    sales@example.com  password"},
        {{"remove", "1"}, "", 1, "with --yes"},
        {{"remove", "1", "--yes"}, "", 0, "Removed user 1: Ann Smith (Ann Smith)"},
        {{"rename", "1"}, "", 2, "unknown command \"rename\""},
    };
    std::string everything;
    for (const Step& step : steps) {
        std::istringstream in(step.input);
        std::ostringstream out, err;
        UsersCommand command(work.path(), in, out, err, false);
        EXPECT_EQ(command.Run(step.args), step.code) << step.args[0] << "\n" << out.str() << err.str();
        EXPECT_NE((out.str() + err.str()).find(step.shows), std::string::npos) << out.str() << err.str();
        everything += out.str() + err.str();
    }
    for (const char* password : {"s3cret", "pw"})
        EXPECT_EQ(everything.find(password), std::string::npos) << "no password is ever shown";

    UsersDatabase stored(work / "users.DB");
    stored.Open();
    const std::vector<UserRecord> rows = stored.LoadAll();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (UserRecord{2, "Bob Jones", "Bob", "pop.example.com", "bob", "new-pw",
                                   "bob@example.com", false, true, "sales@example.com"}));
}

}  // namespace
}  // namespace qlk
