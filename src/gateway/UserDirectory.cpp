#include "gateway/UserDirectory.h"

#include <utility>

#include "gateway/EDatabaseError.h"

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

void UserDirectory::AddUser() {
    table_.Last();
    UserRecord previous;
    previous.popHost = table_.AsString(UserField::POPHost);
    previous.popUserId = table_.AsString(UserField::POPUserID);
    previous.popPassword = table_.AsString(UserField::POPPassword);
    previous.deleteMail = table_.AsBoolean(UserField::DeleteMail);
    previous.alias = table_.AsBoolean(UserField::Alias);

    table_.Append();
    if (AskCopyValues && AskCopyValues()) {
        table_.SetAsString(UserField::POPHost, previous.popHost);
        table_.SetAsString(UserField::POPUserID, previous.popUserId);
        table_.SetAsBoolean(UserField::DeleteMail, previous.deleteMail);
        table_.SetAsBoolean(UserField::Alias, previous.alias);
        table_.SetAsString(UserField::POPPassword, previous.popPassword);
    }
    if (const std::string host = DefaultPOP3Server ? DefaultPOP3Server() : std::string(); !host.empty())
        table_.SetAsString(UserField::POPHost, host);
    table_.SetAsBoolean(UserField::DeleteMail, true);
    table_.SetAsBoolean(UserField::Alias, false);
}

bool UserDirectory::DeleteCurrentUser() {
    if (!ConfirmDelete || !ConfirmDelete()) return false;
    table_.Delete();
    return true;
}

bool UserDirectory::RequiredFieldsFilled(const UserRecord& row) {
    return !row.popHost.empty() && !row.popUserId.empty() && !row.popPassword.empty() &&
           !row.mailbox.empty() && !row.returnAddress.empty();
}

}  // namespace qlk
