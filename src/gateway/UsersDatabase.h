#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "gateway/UserRecord.h"

struct sqlite3;

namespace qlk {

// The file users.DB: an SQLite database with one table of user rows, kept in
// rowid order. A missing (or empty) file is created readable by the owner
// only. An existing file is first checked over a read-only connection, so a
// file that is not an SQLite database, is damaged or lacks the user table is
// reported and left exactly as it was for recovery. Every failure raises
// EDatabaseError with the database's own message.
class UsersDatabase {
public:
    explicit UsersDatabase(std::filesystem::path file);
    ~UsersDatabase();
    UsersDatabase(const UsersDatabase&) = delete;
    UsersDatabase& operator=(const UsersDatabase&) = delete;

    void Open();
    void Close() noexcept;
    const std::filesystem::path& File() const { return file_; }

    std::vector<UserRecord> LoadAll() const;
    std::int64_t Insert(const UserRecord& row);  // returns the new row's rowid
    void Update(const UserRecord& row);
    void Remove(std::int64_t rowId);

private:
    void CreateNewTable();
    void CreateEmptyFile() const;
    void CreateSchema();
    void CheckWithoutWriting() const;

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
};

}  // namespace qlk
