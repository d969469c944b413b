#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "gateway/TableEngine.h"

namespace qlk {

// The user directory as the Mailboxes page and the user form work it: the
// table users.DB in the working folder, opening it with its failures
// reported in the status log, and the rules for adding and deleting users.
// The questions to the operator are hooks, so the rules run without a window.
class UserDirectory {
public:
    using LogWriter = std::function<void(const std::string& message, int level)>;

    static constexpr const char* kFileName = "users.DB";
    static constexpr const char* kCopyValuesQuestion = "Copy values from previous record?";
    static constexpr const char* kCopyValuesTitle = "Option";
    static constexpr const char* kDeleteQuestion = "Are you sure you want to delete this user?";
    static constexpr const char* kRequiredFieldsMissing = "All Required Fields are not Filled Out";

    UserDirectory(const std::filesystem::path& workFolder, LogWriter writeLog);

    TableEngine& Table() { return table_; }
    const TableEngine& Table() const { return table_; }

    // Opens the table; a failure is logged as an error and leaves the table
    // closed (and the file as it was). Returns whether the table is open.
    bool OpenTable();
    void CloseTable() noexcept { table_.Close(); }
    bool ReopenTable();

    // Appends a new row, filled as a new user starts: optionally the previous
    // row's server, login, password and flags, the default POP3 server when
    // one is set, "Delete Mail" on and "Alias" off.
    void AddUser();

    // Deletes the current row once the operator confirms; returns whether it
    // was deleted.
    bool DeleteCurrentUser();

    // The user form stores a row only with these filled in; "Return Address"
    // is one of them although the table itself does not require it.
    static bool RequiredFieldsFilled(const UserRecord& row);

    std::function<bool()> AskCopyValues;  // Yes: true
    std::function<bool()> ConfirmDelete;  // OK: true
    std::function<std::string()> DefaultPOP3Server;

private:
    TableEngine table_;
    LogWriter writeLog_;
};

}  // namespace qlk
