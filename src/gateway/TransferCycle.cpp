#include "gateway/TransferCycle.h"

#include <exception>
#include <system_error>

#include "gateway/AccountTokens.h"
#include "gateway/TransferDisplay.h"
#include "gateway/Version.h"
#include "net/DialUpConnection.h"
#include "net/TmsRemotePOP.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

// The message of an error in flight; empty for one that carries none.
std::string MessageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

}  // namespace

TransferCycle::TransferCycle(StatusLog& log, TableEngine& users, TmsRemotePOP& pop,
                             std::filesystem::path workFolder)
    : log_(log), users_(users), pop_(pop), workFolder_(std::move(workFolder)) {}

bool TransferCycle::RunTransferCycle(bool manual) {
    if (Busy) return false;
    Busy = true;
    ManualCheck = manual;
    LastMailboxKey = "none";
    settings_ = CurrentSettings ? CurrentSettings() : Settings{};
    try {
        RunBody();
    } catch (...) {
        log_.WriteLog("Error Sending Mail (Big Loop) : " + MessageOf(std::current_exception()), 0);
    }
    LogTotals();
    LogUpdateNotice();
    LogLowDisk();
    if (log_.ErrorCount > 0)
        log_.WriteLog("There were " + std::to_string(log_.ErrorCount) + " error(s) during the transfer", 0);
    if (settings_.ConnectionIndex > 0) HangUp();
    log_.Flush();
    EnableTransferNow(true);
    Busy = false;
    ManualCheck = false;
    return true;
}

void TransferCycle::RunBody() {
    EnableTransferNow(false);
    ResetForCycle();
    // Dial-up prompts to re-establish a dropped connection are a thing of
    // another platform: there are none to close here.
    if (!ManualCheck) {
        log_.WriteLog("", 1);
        log_.WriteLog("", 1);
    }
    log_.WriteLog("Beggining Mail Transfer", 1);
    if (StartingCycle) StartingCycle();
    ConnectFailed = false;
    log_.WriteLog("Connecting to Internet : " + ConnectionText(settings_.ConnectionIndex), 3);
    if (settings_.ConnectionIndex > 0) Connect();
    if (settings_.AutoUpdate && CheckForUpdate) CheckForUpdate();
    // A table that cannot be used ends the cycle's body here, with its reason.
    users_.First();
    UserLoop();
}

void TransferCycle::ResetForCycle() {
    currentUser_ = {};
    notedThisCycle_.clear();
    tally_.Reset();
    log_.ErrorCount = 0;
}

std::string TransferCycle::ConnectionText(int connectionIndex) const {
    if (connectionIndex == 0) return NetworkConnectionText;
    if (connectionIndex < 0 || !RAS) return {};
    const std::vector<std::string> entries = RAS->Entries();
    const auto entry = static_cast<std::size_t>(connectionIndex - 1);
    return entry < entries.size() ? entries[entry] : std::string();
}

void TransferCycle::Connect() {
    try {
        if (!RAS) throw Exception("No dial-up connection is available on this system");
        RAS->SetPassword(settings_.DialupPassword);
        RAS->SetService(ConnectionText(settings_.ConnectionIndex));
        RAS->Abort();
        RAS->HangUp();
        RAS->Dial();
    } catch (...) {
        const std::string message = MessageOf(std::current_exception());
        if (RAS) {
            RAS->Abort();
            HangUp();
        }
        log_.WriteLog(message, 0);
        ConnectFailed = true;
    }
}

void TransferCycle::UserLoop() {
    for (;;) {
        if (NextRow() == nullptr || ConnectFailed || Stopping()) {
            if (!ConnectFailed && !Stopping()) SendOutgoing();
            return;
        }
        FetchCurrentUser();
        DisconnectPop();
        ProcessMessages();
    }
}

void TransferCycle::FetchCurrentUser() {
    try {
        if (!SelectNextMailbox()) return;
        const AccountTokens::LogIn login =
            AccountTokens::ForTransfer(*this, log_, workFolder_, AccountTokens::UserNamed(currentUser_.name),
                                       currentUser_.popHost, currentUser_.popUserId);
        if (login.Skip) return;
        pop_.AccessToken = login.AccessToken;
        pop_.Connect();
        if (pop_.PasswordInClear()) LogPasswordInClear();
    } catch (...) {
        log_.WriteLog("Error getting Mail : " + MessageOf(std::current_exception()), 0);
        log_.WriteLog("Error occurred during mailcheck for " + currentUser_.name, 0);
        return;
    }
    try {
        if (GetUserMail) GetUserMail();
    } catch (...) {
        // The inbound transfer has logged what went wrong.
    }
}

// QUIT is when the server deletes. A server that refuses it, or never
// answers, keeps this session's deletions; the messages are remembered, so
// the next session deletes them instead of delivering them again. The
// session is closed all the same (the next user's Connect would otherwise
// go on in this mailbox) and the cycle goes on.
void TransferCycle::DisconnectPop() {
    try {
        pop_.Disconnect();
    } catch (...) {
        pop_.Close();
        log_.WriteLog("Error ending the POP3 session for " + currentUser_.name + " : " +
                          MessageOf(std::current_exception()),
                      0);
    }
}

bool TransferCycle::FirstTimeThisCycle(const std::string& note) {
    return notedThisCycle_.insert(note).second;
}

// Once per host and cycle, so that a row per user of one server does not
// fill the log.
void TransferCycle::LogPasswordInClear() {
    if (!FirstTimeThisCycle("clear " + pop_.Server)) return;
    log_.WriteLog("Password sent in clear to " + pop_.Server + " (no TLS)", 1);
}

void TransferCycle::SendOutgoing() {
    try {
        if (SendOutgoingMail) SendOutgoingMail();
    } catch (...) {
        const std::string message = MessageOf(std::current_exception());
        log_.WriteLog(
            message.empty() ? "Unknown Error While Sending Mail" : "Error Sending Mail : " + message, 0);
    }
}

// Rows are stored in rowId order: the next row is the first one after the
// row processed last, so rows added during the cycle come at its end and a
// row deleted meanwhile is passed over.
const UserRecord* TransferCycle::NextRow() const {
    for (const UserRecord& row : users_.Rows())
        if (row.rowId > currentUser_.rowId) return &row;
    return nullptr;
}

// A row that repeats the mailbox just processed is passed over, unless it is
// the table's last row. False when no row is left.
bool TransferCycle::SelectNextMailbox() {
    for (const UserRecord* row = NextRow(); row != nullptr; row = NextRow()) {
        ++tally_.UsersChecked;
        currentUser_ = *row;
        const std::string key = row->popUserId + row->popHost;
        if (key != LastMailboxKey || NextRow() == nullptr) {
            LastMailboxKey = key;
            pop_.Server = currentUser_.popHost;
            pop_.UserName = currentUser_.popUserId;
            pop_.Password = currentUser_.popPassword;
            return true;
        }
    }
    return false;
}

void TransferCycle::LogTotals() {
    log_.WriteLog("Checked mail for " + std::to_string(tally_.UsersChecked) + " user(s).", 1);
    log_.WriteLog("Received " + std::to_string(tally_.MessagesReceived) + " message(s).", 1);
    log_.WriteLog("Sent " + std::to_string(tally_.MessagesSent) + " message(s).", 1);
    log_.WriteLog("Downloaded " + std::to_string(tally_.AttachmentsDownloaded) + " attachment(s).", 2);
    log_.WriteLog("Uploaded " + std::to_string(tally_.AttachmentsUploaded) + " attachment(s).", 2);
    log_.WriteLog("Finished Mail Transfer", 1);
}

void TransferCycle::LogUpdateNotice() {
    const std::string newer = AvailableVersion ? AvailableVersion() : std::string();
    if (newer.empty() || settings_.AutoUpdate) return;
    log_.WriteLog(std::string("QLK UPDATE : Your Current QLK version is ") + VersionText + ", but " + newer +
                      " is available on the internet.",
                  4);
    log_.WriteLog("If you don't have the newest version, please get it from ftp://" + UpdateServerHost() +
                      "/ as soon as possible.",
                  4);
}

void TransferCycle::LogLowDisk() {
    const std::optional<std::uintmax_t> free = FreeSpace ? FreeSpace() : WorkFolderFreeSpace();
    if (!free || *free < LowDiskBytes) log_.WriteLog("Drive C Low, QLK May Not Work, Please Free Space", 0);
}

std::optional<std::uintmax_t> TransferCycle::WorkFolderFreeSpace() const {
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(workFolder_, error);
    if (error) return std::nullopt;
    return space.available;
}

void TransferCycle::HangUp() {
    if (!RAS) return;
    try {
        RAS->HangUp();
    } catch (const std::exception& e) {
        log_.WriteLog(e.what(), 0);
    }
}

void TransferCycle::EnableTransferNow(bool enabled) {
    if (Display) Display->EnableTransferNow(enabled);
}

}  // namespace qlk
