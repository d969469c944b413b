#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "gateway/EDatabaseError.h"
#include "gateway/TableEngine.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

namespace fs = std::filesystem;

UserRecord ValidRow(const std::string& mailbox) {
    UserRecord row;
    row.name = mailbox + " name";
    row.mailbox = mailbox;
    row.popHost = "pop.example.com";
    row.popUserId = mailbox + "-id";
    row.popPassword = "secret";
    row.returnAddress = mailbox + "@example.com";
    row.deleteMail = true;
    return row;
}

void WriteRow(TableEngine& table, const UserRecord& row) {
    for (const auto& info : UserFields()) {
        if (const bool* flag = row.Flag(info.field))
            table.SetAsBoolean(info.field, *flag);
        else
            table.SetAsString(info.field, *row.Text(info.field));
    }
}

void AppendRow(TableEngine& table, const UserRecord& row) {
    table.Append();
    WriteRow(table, row);
    table.Post();
}

std::vector<std::string> Mailboxes(const TableEngine& table) {
    std::vector<std::string> names;
    for (const auto& row : table.Rows()) names.push_back(row.mailbox);
    return names;
}

class TableEngineTest : public ::testing::Test {
protected:
    fs::path File() const { return dir_ / "users.DB"; }
    TableEngine& OpenWith(int rows) {
        table_.Open();
        for (int i = 1; i <= rows; ++i) AppendRow(table_, ValidRow("user" + std::to_string(i)));
        table_.First();
        return table_;
    }

    test::TempDir dir_;
    TableEngine table_{dir_ / "users.DB"};
};

TEST_F(TableEngineTest, FirstOpenCreatesTheNineFieldsReadableByTheOwnerOnly) {
    const mode_t oldMask = ::umask(0);  // even a permissive umask must not widen the mode
    table_.Open();
    ::umask(oldMask);
    table_.Close();

    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(File().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('users')", -1, &stmt, nullptr),
              SQLITE_OK);
    std::vector<std::string> columns;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    EXPECT_EQ(columns, (std::vector<std::string>{"Name", "Mailbox", "POP Host", "POP User ID", "POP Password",
                                                 "Return Address", "Delete Mail", "Alias", "Alias Address"}));
}

enum class Op { First, Last, Next, MoveTo2, Delete };

struct CursorCase {
    const char* what;
    int rows;
    std::vector<Op> ops;
    int recNo;
    bool eof;
    std::vector<std::string> mailboxes;  // empty: the rows as created
};

// Cases print as their descriptions rather than as bytes.
void PrintTo(const CursorCase& c, std::ostream* out) {
    *out << c.what;
}

class CursorTest : public TableEngineTest, public ::testing::WithParamInterface<CursorCase> {};

TEST_P(CursorTest, MovesAndReportsItsPosition) {
    const CursorCase& c = GetParam();
    TableEngine& table = OpenWith(c.rows);
    for (Op op : c.ops) {
        switch (op) {
            case Op::First:
                table.First();
                break;
            case Op::Last:
                table.Last();
                break;
            case Op::Next:
                table.Next();
                break;
            case Op::MoveTo2:
                table.MoveTo(2);
                break;
            case Op::Delete:
                table.Delete();
                break;
        }
    }
    EXPECT_EQ(table.RecNo(), c.recNo);
    EXPECT_EQ(table.Eof(), c.eof);
    if (!c.mailboxes.empty()) {
        EXPECT_EQ(Mailboxes(table), c.mailboxes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CursorTest,
    ::testing::Values(
        CursorCase{"empty table is at its end at once", 0, {}, 0, true, {}},
        CursorCase{"open puts the cursor on the first row", 3, {}, 1, false, {}},
        CursorCase{"next walks in stored order", 3, {Op::Next, Op::Next}, 3, false, {}},
        CursorCase{"next from the last row ends the table", 3, {Op::Last, Op::Next}, 3, true, {}},
        CursorCase{"first after the end starts again", 3, {Op::Last, Op::Next, Op::First}, 1, false, {}},
        CursorCase{"move to a row clears the end", 3, {Op::Last, Op::Next, Op::MoveTo2}, 2, false, {}},
        CursorCase{"one row: next ends the table", 1, {Op::Next}, 1, true, {}},
        CursorCase{
            "delete goes to the following row", 3, {Op::MoveTo2, Op::Delete}, 2, false, {"user1", "user3"}},
        CursorCase{"delete of the last row goes to the new last",
                   3,
                   {Op::Last, Op::Delete},
                   2,
                   false,
                   {"user1", "user2"}},
        CursorCase{"delete of the only row empties the table", 1, {Op::Delete}, 0, true, {}}),
    [](const ::testing::TestParamInfo<CursorCase>& param) {
        std::string name = param.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(TableEngineTest, MovingToARowOutsideTheTableFails) {
    TableEngine& table = OpenWith(2);
    EXPECT_THROW(table.MoveTo(0), EDatabaseError);
    EXPECT_THROW(table.MoveTo(3), EDatabaseError);
    EXPECT_EQ(table.RecNo(), 1);
}

TEST_F(TableEngineTest, HostileTextsAreStoredAndReadBackExactly) {
    const std::vector<std::string> texts = {
        "O'Brien \"Bob\"",
        "x'); DROP TABLE users; --",
        "a;b;c",
        "Jürgen Groß-Ærøskøbing",
        "名前のユーザー",
        std::string(50, 'z'),
        [] {
            std::string fifty;
            for (int i = 0; i < 50; ++i) fifty += "ü";  // 50 letters, 100 bytes
            return fifty;
        }(),
        "\xE9t\xE9",  // Latin-1 bytes, not UTF-8
    };
    table_.Open();
    for (const auto& text : texts) {
        UserRecord row = ValidRow("m");
        for (const auto& info : UserFields())
            if (std::string* field = row.Text(info.field)) *field = text;
        AppendRow(table_, row);
    }
    table_.Close();
    table_.Open();

    ASSERT_EQ(table_.RecordCount(), static_cast<int>(texts.size()));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        table_.MoveTo(static_cast<int>(i) + 1);
        for (const auto& info : UserFields()) {
            if (!info.isBoolean) {
                EXPECT_EQ(table_.AsString(info.field), texts[i]) << info.name;
            }
        }
    }
}

struct RuleCase {
    UserField field;
    std::string value;
    std::string message;  // empty: the row is stored
};

void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << InfoOf(c.field).name << " = \"" << c.value << '"';
}

class PostRuleTest : public TableEngineTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(PostRuleTest, StoreRefusesARowThatBreaksARuleAndKeepsItPending) {
    const RuleCase& c = GetParam();
    table_.Open();
    table_.Append();
    UserRecord row = ValidRow("m");
    *row.Text(c.field) = c.value;
    WriteRow(table_, row);
    if (c.message.empty()) {
        table_.Post();
        EXPECT_EQ(table_.RecordCount(), 1);
        return;
    }
    try {
        table_.Post();
        FAIL() << "stored a row that breaks a rule";
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(error.what(), c.message);
    }
    EXPECT_EQ(table_.State(), TableState::Inserting);
    EXPECT_EQ(table_.AsString(c.field), c.value);
    EXPECT_EQ(table_.RecordCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PostRuleTest,
    ::testing::Values(RuleCase{UserField::Mailbox, "", "Field 'Mailbox' must have a value"},
                      RuleCase{UserField::POPHost, "", "Field 'POP Host' must have a value"},
                      RuleCase{UserField::POPUserID, "", "Field 'POP User ID' must have a value"},
                      RuleCase{UserField::POPPassword, "", "Field 'POP Password' must have a value"},
                      RuleCase{UserField::Name, "", ""}, RuleCase{UserField::ReturnAddress, "", ""},
                      RuleCase{UserField::AliasAddress, "", ""},
                      RuleCase{UserField::Name, std::string(51, 'n'),
                               "Field 'Name' is longer than 50 characters"},
                      RuleCase{UserField::AliasAddress, std::string(50, 'a') + "\xC3\xBC",
                               "Field 'Alias Address' is longer than 50 characters"},
                      RuleCase{UserField::POPPassword, "pw\r\nDELE 1",
                               "Field 'POP Password' contains a control character"}));

TEST_F(TableEngineTest, CancelAndCloseDropUnstoredChanges) {
    TableEngine& table = OpenWith(2);
    table.SetAsString(UserField::POPPassword, "changed");
    EXPECT_EQ(table.State(), TableState::Editing);
    table.Cancel();
    EXPECT_EQ(table.AsString(UserField::POPPassword), "secret");

    table.Append();
    table.SetAsString(UserField::Mailbox, "new");
    table.Cancel();
    EXPECT_EQ(table.RecordCount(), 2);

    table.MoveTo(2);
    table.SetAsString(UserField::POPPassword, "changed");
    table.Close();
    table.Open();
    table.MoveTo(2);
    EXPECT_EQ(table.AsString(UserField::POPPassword), "secret");
    EXPECT_EQ(table.State(), TableState::Browsing);
}

TEST_F(TableEngineTest, AnEditStoresIntoItsOwnRowEvenAfterTheCursorMoved) {
    TableEngine& table = OpenWith(3);
    table.MoveTo(2);
    table.Edit();
    table.First();  // a transfer walks the table while the form is open
    table.Next();
    table.Next();
    EXPECT_EQ(table.AsString(UserField::Mailbox), "user3");
    table.SetAsString(UserField::POPPassword, "typed");
    table.Post();

    EXPECT_EQ(table.Rows()[1].popPassword, "typed");
    EXPECT_EQ(table.Rows()[2].popPassword, "secret");
}

TEST_F(TableEngineTest, FieldsAreReachableByNameAndBooleansAsText) {
    TableEngine& table = OpenWith(1);
    EXPECT_EQ(table.FieldAsString("pop user id"), "user1-id");
    EXPECT_EQ(table.FieldAsString("Delete Mail"), "True");
    EXPECT_FALSE(table.FieldAsBoolean("Alias"));
    table.SetFieldAsString("Alias", "true");
    EXPECT_TRUE(table.FieldAsBoolean("Alias"));
    EXPECT_THROW(table.SetFieldAsString("Alias", "maybe"), EDatabaseError);
    EXPECT_THROW(table.FieldAsString("Phone"), EDatabaseError);
    EXPECT_THROW(table.FieldAsBoolean("Mailbox"), EDatabaseError);
    EXPECT_THROW(table.SetFieldAsBoolean("Name", true), EDatabaseError);
}

TEST_F(TableEngineTest, AZeroByteFileIsMadeIntoANewTable) {
    test::WriteFileBytes(File(), "");
    ::chmod(File().c_str(), 0644);
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 0);
    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Power lost in the middle of a store: the file is half written and its
// journal holds the old pages. The table must open with the stored rows.
TEST_F(TableEngineTest, AWriteCutShortIsRolledBackAndTheTableOpens) {
    OpenWith(1);
    table_.Close();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(File().c_str(), &db);
        sqlite3_exec(
            db,
            "PRAGMA cache_size = 1; BEGIN; "
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO users (\"Mailbox\", \"Name\") SELECT 'lost' || i, printf('%200s', i) FROM n",
            nullptr, nullptr, nullptr);
        ::_exit(0);  // no commit, no clean-up
    }
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(fs::exists(File().string() + "-journal"));

    table_.Open();
    EXPECT_EQ(Mailboxes(table_), std::vector<std::string>{"user1"});
}

// Files the engine must refuse without changing a byte.
struct BadFileCase {
    const char* what;
    std::string (*make)(const fs::path& file);
};

std::string NotADatabase(const fs::path&) {
    return "Name,Mailbox\r\nBob,bob\r\n";
}

std::string OtherSchema(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE users (\"Name\" TEXT, \"Mailbox\" TEXT); INSERT INTO users VALUES ('a', 'b');",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return test::ReadFileBytes(file);
}

std::string DamagedPages(const fs::path& file) {
    TableEngine(file).Open();
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                 "INSERT INTO users (\"Mailbox\", \"POP Host\") SELECT 'user' || i, 'pop.example.com' FROM n",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string bytes = test::ReadFileBytes(file);
    for (std::size_t i = 4096 + 8; i < bytes.size() && i < 4096 * 3; ++i) bytes[i] = '\xA5';
    return bytes;
}

std::string CutShort(const fs::path& file) {
    return DamagedPages(file).substr(0, 100);
}

void PrintTo(const BadFileCase& c, std::ostream* out) {
    *out << c.what;
}

class BadFileTest : public TableEngineTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFileTest, IsReportedAndLeftExactlyAsItWas) {
    const std::string bytes = GetParam().make(File());
    test::WriteFileBytes(File(), bytes);
    ::chmod(File().c_str(), 0644);
    const fs::file_time_type mtime = fs::last_write_time(File());

    EXPECT_THROW(table_.Open(), EDatabaseError);
    EXPECT_FALSE(table_.Active());
    EXPECT_TRUE(table_.Rows().empty());
    try {
        table_.First();
        FAIL() << "a closed table moved its cursor";
    } catch (const EDatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("could not be opened"), std::string::npos) << error.what();
    }
    table_.Close();

    EXPECT_EQ(test::ReadFileBytes(File()), bytes);
    EXPECT_EQ(fs::last_write_time(File()), mtime);
    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_FALSE(fs::exists(File().string() + "-journal"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadFileTest,
    ::testing::Values(BadFileCase{"NotADatabase", NotADatabase}, BadFileCase{"OtherSchema", OtherSchema},
                      BadFileCase{"DamagedPages", DamagedPages}, BadFileCase{"CutShort", CutShort}),
    [](const ::testing::TestParamInfo<BadFileCase>& param) { return std::string(param.param.what); });

}  // namespace
}  // namespace qlk
