#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "gateway/TableEngine.h"

namespace qlk {

// The user directory as the Mailboxes page, the user form and `quelmark
// users` work it: the table users.DB in the working folder, opening it with
// its failures reported in the status log, and the rules for adding,
// changing and deleting users. Users are changed by their identity (the
// row's rowId), never through the table's cursor, which the transfers move.
// The questions to the operator are hooks, so the rules run without a window.
class UserDirectory {
public:
    using LogWriter = std::function<void(const std::string& message, int level)>;

    static constexpr const char* kFileName = "users.DB";
    static constexpr const char* kCopyValuesQuestion = "Copy values from previous record?";
    static constexpr const char* kCopyValuesTitle = "Option";
    static constexpr const char* kDeleteQuestion = "Are you sure you want to delete this user?";
    static constexpr const char* kBusyRefusal =
        "The users cannot be changed while mail is being transferred. Try again when the transfer has "
        "finished.";

    UserDirectory(const std::filesystem::path& workFolder, LogWriter writeLog);

    TableEngine& Table() { return table_; }
    const TableEngine& Table() const { return table_; }

    // Opens the table; a failure is logged as an error and leaves the table
    // closed (and the file as it was). Returns whether the table is open.
    bool OpenTable();
    void CloseTable() noexcept { table_.Close(); }
    bool ReopenTable();

    // A new row, not stored yet, filled as a new user starts: optionally the
    // last row's server, login, password and flags, the default POP3 server
    // when one is set, "Delete Mail" on and "Alias" off.
    UserRecord NewUser();

    // The stored row with this identity; raises EDatabaseError when another
    // program or window has removed it meanwhile.
    UserRecord StoredUser(std::int64_t rowId) const;

    // Stores ROW as the user form and the command line give it: trimmed,
    // checked (UserValidation), and written by its identity (a new row when
    // it has none yet). Raises EDatabaseError with the reason it was refused.
    void StoreUser(UserRecord& row);

    // Deletes the row with this identity once the operator confirms; returns
    // whether it was deleted.
    bool DeleteUser(std::int64_t rowId);

    // The delete question naming the user it is about.
    static std::string DeleteQuestion(const UserRecord& row);
    // "Name (Mailbox)", or the mailbox alone for a row without a name.
    static std::string Describe(const UserRecord& row);

    std::function<bool()> AskCopyValues;                    // Yes: true
    std::function<bool(const std::string&)> ConfirmDelete;  // the question; OK: true
    std::function<std::string()> DefaultPOP3Server;
    // A transfer is running: it reads the table by row number, so no row may
    // come or go under it.
    std::function<bool()> TransferRunning;

private:
    void RefuseWhileTransferring() const;

    TableEngine table_;
    LogWriter writeLog_;
};

}  // namespace qlk
