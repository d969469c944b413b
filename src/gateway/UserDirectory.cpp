#include "gateway/UserDirectory.h"

#include <utility>

#include "gateway/EDatabaseError.h"
#include "gateway/UserValidation.h"

namespace qlk {

UserDirectory::UserDirectory(const std::filesystem::path& workFolder, LogWriter writeLog)
    : table_(workFolder / kFileName), writeLog_(std::move(writeLog)) {}

bool UserDirectory::OpenTable() {
    try {
        table_.Open();
        return true;
    } catch (const EDatabaseError& error) {
        if (writeLog_)
            writeLog_("Cannot open the user table " + std::string(kFileName) + " : " + error.what() +
                          ".  The file is left as it is.",
                      0);
        return false;
    }
}

bool UserDirectory::ReopenTable() {
    table_.Close();
    return OpenTable();
}

UserRecord UserDirectory::NewUser() {
    RefuseWhileTransferring();
    table_.RecordCount();  // a closed table says why here, before any question
    UserRecord row;
    const bool copy = AskCopyValues && AskCopyValues();
    if (copy && !table_.Rows().empty()) {
        const UserRecord& previous = table_.Rows().back();
        row.popHost = previous.popHost;
        row.popUserId = previous.popUserId;
        row.popPassword = previous.popPassword;
    }
    if (const std::string host = DefaultPOP3Server ? DefaultPOP3Server() : std::string(); !host.empty())
        row.popHost = host;
    row.deleteMail = true;
    row.alias = false;
    return row;
}

UserRecord UserDirectory::StoredUser(std::int64_t rowId) const {
    table_.RecordCount();
    const UserRecord* row = table_.FindRow(rowId);
    if (!row) throw EDatabaseError("the user row no longer exists in the table");
    return *row;
}

void UserDirectory::StoreUser(UserRecord& row) {
    RefuseWhileTransferring();
    UserValidation::Tidy(row);
    if (const std::string problem = UserValidation::Problem(row); !problem.empty())
        throw EDatabaseError(problem);
    row.rowId = table_.StoreRow(row);
}

bool UserDirectory::DeleteUser(std::int64_t rowId) {
    RefuseWhileTransferring();
    const UserRecord row = StoredUser(rowId);
    if (!ConfirmDelete || !ConfirmDelete(DeleteQuestion(row))) return false;
    // The question waited for the operator while transfers could start.
    RefuseWhileTransferring();
    table_.DeleteRow(rowId);
    return true;
}

std::string UserDirectory::DeleteQuestion(const UserRecord& row) {
    return std::string(kDeleteQuestion) + "\n\n" + Describe(row);
}

std::string UserDirectory::Describe(const UserRecord& row) {
    if (row.name.empty()) return row.mailbox;
    return row.name + " (" + row.mailbox + ")";
}

void UserDirectory::RefuseWhileTransferring() const {
    if (TransferRunning && TransferRunning()) throw EDatabaseError(kBusyRefusal);
}

}  // namespace qlk
