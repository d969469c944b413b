#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "gateway/Settings.h"
#include "gateway/StatusLog.h"
#include "gateway/TableEngine.h"
#include "gateway/TransferTally.h"

namespace qlk {

class DialUpConnection;
class TmsRemotePOP;
class TransferDisplay;

// One complete transfer: connect to the Internet (over the network or by
// dialling), run the update check, fetch every user row's POP3 mailbox into
// the post office, send the post office's outgoing mail once, report the
// totals and hang up. The parts it calls in between are hooks, so each can
// be built and tested on its own; an empty hook has nothing to do.
//
// Only one cycle runs at a time: the event pump runs inside every network
// wait, so a timer tick or a click can arrive while a cycle runs, and a
// cycle asked for then does not start.
class TransferCycle {
public:
    static constexpr const char* NetworkConnectionText = "Use Network";
    // Below this many free bytes on the working folder's file system the
    // totals end with a warning.
    static constexpr std::uintmax_t LowDiskBytes = 10240000;

    TransferCycle(StatusLog& log, TableEngine& users, TmsRemotePOP& pop, std::filesystem::path workFolder);

    // The settings in force, read at the start of the cycle.
    std::function<Settings()> CurrentSettings;
    // Runs once the cycle has begun, before any mail moves.
    std::function<void()> StartingCycle;

    // Brings one user's mailbox in. On entry CurrentUser is the row and the
    // POP3 client is connected and logged in to its mailbox. Errors it lets
    // escape are ignored.
    std::function<void()> GetUserMail;
    // Sends the post office's outgoing mail; runs after the user loop unless
    // dialling failed. An error it lets escape is logged.
    std::function<void()> SendOutgoingMail;
    // A shut-down was asked for: the transfers finish the message in hand,
    // the cycle takes no further user and no outgoing mail, and reports.
    std::function<bool()> StopRequested;
    bool Stopping() const { return StopRequested && StopRequested(); }
    // Looks for a newer version when "Check for Update" is on; it may end
    // the process to install one.
    std::function<void()> CheckForUpdate;
    // The newer version the update check found and did not install; empty
    // when there is none.
    std::function<std::string()> AvailableVersion;
    // Free bytes on the working folder's file system; nothing when unknown.
    std::function<std::optional<std::uintmax_t>()> FreeSpace;

    // The dial-up component; none means every connection is over the network.
    DialUpConnection* RAS = nullptr;
    // The progress bar and the "Transfer Now" button; may be none.
    TransferDisplay* Display = nullptr;

    // Runs one cycle unless one is running already (then returns false).
    // MANUAL: started by "Transfer Now".
    bool RunTransferCycle(bool manual = false);

    // A cycle is running. Also set while something must not be interrupted
    // by a cycle (the Tech Support window opened from the About window).
    bool Busy = false;
    bool ManualCheck = false;
    // The user row being processed, as it was when the cycle took it; the
    // cycle holds rows by their identity (rowId), so that rows added,
    // changed or deleted meanwhile never stand in for it.
    const UserRecord& CurrentUser() const { return currentUser_; }
    // POP user ID and host of the mailbox processed last.
    std::string LastMailboxKey = "none";
    // Dialling failed in this cycle.
    bool ConnectFailed = false;

    const TransferTally& Tally() const { return tally_; }
    TransferTally& Tally() { return tally_; }

    // True the first time in this cycle that NOTE is asked about: for what
    // is said once a cycle, not once per user.
    bool FirstTimeThisCycle(const std::string& note);

    // The text of the connection chosen by ConnectionIndex: "Use Network",
    // a dial-up entry's name, or empty when it names none.
    std::string ConnectionText(int connectionIndex) const;

private:
    void RunBody();
    void ResetForCycle();
    void Connect();
    void UserLoop();
    void FetchCurrentUser();
    void LogPasswordInClear();
    void SendOutgoing();
    void DisconnectPop();
    const UserRecord* NextRow() const;
    bool SelectNextMailbox();
    void LogTotals();
    void LogUpdateNotice();
    void LogLowDisk();
    void HangUp();
    void EnableTransferNow(bool enabled);
    std::optional<std::uintmax_t> WorkFolderFreeSpace() const;

    StatusLog& log_;
    TableEngine& users_;
    TmsRemotePOP& pop_;
    std::filesystem::path workFolder_;
    TransferTally tally_;
    Settings settings_;
    UserRecord currentUser_;
    std::set<std::string> notedThisCycle_;
};

}  // namespace qlk
