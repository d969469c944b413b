#include "gateway/UsersDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "gateway/EDatabaseError.h"

namespace qlk {
namespace {

constexpr const char* kTableName = "users";
constexpr int kBusyTimeoutMs = 2000;

std::string QuotedName(const char* name) {
    return std::string("\"") + name + "\"";
}

std::string ColumnList() {
    std::string list;
    for (const auto& info : UserFields()) {
        if (!list.empty()) list += ", ";
        list += QuotedName(info.name);
    }
    return list;
}

// Owns one connection; closes it unless released.
class Connection {
public:
    Connection(const std::filesystem::path& file, int flags) {
        const int rc = sqlite3_open_v2(file.c_str(), &db_, flags | SQLITE_OPEN_EXRESCODE, nullptr);
        if (rc != SQLITE_OK) {
            const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            throw EDatabaseError(reason);
        }
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    }
    ~Connection() { sqlite3_close(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }
    sqlite3* release() { return std::exchange(db_, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement; every value goes in through Bind, never into the SQL text.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) Fail();
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(int index, const std::string& text) {
        if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK)
            Fail();
    }
    void Bind(int index, std::int64_t value) {
        if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) Fail();
    }
    // True while a row is available.
    bool Step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) Fail();
        return false;
    }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }
    std::int64_t Integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    [[noreturn]] void Fail() const { throw EDatabaseError(sqlite3_errmsg(db_)); }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void Execute(sqlite3* db, const std::string& sql) {
    Statement statement(db, sql);
    while (statement.Step()) {
    }
}

// The whole file is read page by page: a damaged file fails here, not in the
// middle of a transfer.
void CheckIntegrity(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check");
    while (check.Step()) {
        const std::string verdict = check.Text(0);
        if (verdict != "ok") throw EDatabaseError("database disk image is malformed: " + verdict);
    }
}

void CheckColumns(sqlite3* db) {
    Statement columns(db, "SELECT name FROM pragma_table_info(?1)");
    columns.Bind(1, std::string(kTableName));
    std::set<std::string> present;
    while (columns.Step()) present.insert(columns.Text(0));
    if (present.empty()) throw EDatabaseError("no table \"" + std::string(kTableName) + "\" in the file");
    for (const auto& info : UserFields()) {
        if (!present.contains(info.name))
            throw EDatabaseError("the table \"" + std::string(kTableName) + "\" has no field \"" + info.name +
                                 "\"");
    }
}

void CheckContents(sqlite3* db) {
    CheckIntegrity(db);
    CheckColumns(db);
}

bool IsInterruptedWrite(sqlite3* db) {
    return sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK;
}

void BindRow(Statement& statement, const UserRecord& row) {
    int index = 1;
    for (const auto& info : UserFields()) {
        if (const bool* flag = row.Flag(info.field))
            statement.Bind(index++, std::int64_t{*flag ? 1 : 0});
        else
            statement.Bind(index++, *row.Text(info.field));
    }
}

std::string Placeholders() {
    std::string marks;
    for (std::size_t i = 1; i <= kUserFieldCount; ++i) marks += (i == 1 ? "?" : ", ?") + std::to_string(i);
    return marks;
}

std::string Assignments() {
    std::string list;
    int index = 1;
    for (const auto& info : UserFields()) {
        if (!list.empty()) list += ", ";
        list += QuotedName(info.name) + " = ?" + std::to_string(index++);
    }
    return list;
}

}  // namespace

UsersDatabase::UsersDatabase(std::filesystem::path file) : file_(std::move(file)) {}

UsersDatabase::~UsersDatabase() {
    Close();
}

void UsersDatabase::Open() {
    if (db_) return;
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) {
        if (errno != ENOENT) throw EDatabaseError(std::strerror(errno));
        CreateNewTable();
        return;
    }
    if (!S_ISREG(info.st_mode)) throw EDatabaseError("not a regular file");
    // An empty file holds nothing to recover: it is what a first start that
    // stopped before the table was created leaves behind.
    if (info.st_size == 0) {
        CreateNewTable();
        return;
    }
    CheckWithoutWriting();
    db_ = Connection(file_, SQLITE_OPEN_READWRITE).release();
    try {
        CheckContents(db_);
    } catch (...) {
        Close();
        throw;
    }
}

void UsersDatabase::CreateNewTable() {
    CreateEmptyFile();
    db_ = Connection(file_, SQLITE_OPEN_READWRITE).release();
    CreateSchema();
}

void UsersDatabase::Close() noexcept {
    sqlite3_close(db_);
    db_ = nullptr;
}

// The file holds passwords: it gets the owner-only mode before anything is
// written into it, whatever the process's umask.
void UsersDatabase::CreateEmptyFile() const {
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) throw EDatabaseError(std::strerror(errno));
    const bool modeSet = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!modeSet) throw EDatabaseError(std::strerror(savedErrno));
}

void UsersDatabase::CreateSchema() {
    std::string columns;
    for (const auto& info : UserFields()) {
        if (!columns.empty()) columns += ", ";
        columns += QuotedName(info.name) +
                   (info.isBoolean ? " INTEGER NOT NULL DEFAULT 0" : " TEXT NOT NULL DEFAULT ''");
    }
    try {
        Execute(db_, "CREATE TABLE IF NOT EXISTS " + std::string(kTableName) + " (" + columns + ")");
    } catch (...) {
        Close();
        throw;
    }
}

// A read-only connection never creates a journal, never rolls anything back
// and never changes the file, so a file that fails here stays as it was.
void UsersDatabase::CheckWithoutWriting() const {
    Connection reader(file_, SQLITE_OPEN_READONLY);
    try {
        CheckContents(reader.get());
    } catch (const EDatabaseError&) {
        // A write cut short (power loss) leaves a journal that only a writing
        // connection may roll back; that connection checks the file again.
        if (!IsInterruptedWrite(reader.get())) throw;
    }
}

std::vector<UserRecord> UsersDatabase::LoadAll() const {
    Statement select(db_, "SELECT rowid, " + ColumnList() + " FROM " + kTableName + " ORDER BY rowid");
    std::vector<UserRecord> rows;
    while (select.Step()) {
        UserRecord& row = rows.emplace_back();
        row.rowId = select.Integer(0);
        int column = 1;
        for (const auto& info : UserFields()) {
            if (bool* flag = row.Flag(info.field))
                *flag = select.Integer(column++) != 0;
            else
                *row.Text(info.field) = select.Text(column++);
        }
    }
    return rows;
}

std::int64_t UsersDatabase::Insert(const UserRecord& row) {
    Statement insert(db_, "INSERT INTO " + std::string(kTableName) + " (" + ColumnList() + ") VALUES (" +
                              Placeholders() + ")");
    BindRow(insert, row);
    insert.Step();
    return sqlite3_last_insert_rowid(db_);
}

void UsersDatabase::Update(const UserRecord& row) {
    Statement update(db_, "UPDATE " + std::string(kTableName) + " SET " + Assignments() + " WHERE rowid = ?" +
                              std::to_string(kUserFieldCount + 1));
    BindRow(update, row);
    update.Bind(static_cast<int>(kUserFieldCount + 1), row.rowId);
    update.Step();
    if (sqlite3_changes(db_) == 0) throw EDatabaseError("the user row no longer exists in the table");
}

void UsersDatabase::Remove(std::int64_t rowId) {
    Statement remove(db_, "DELETE FROM " + std::string(kTableName) + " WHERE rowid = ?1");
    remove.Bind(1, rowId);
    remove.Step();
}

}  // namespace qlk
