#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "gateway/Settings.h"
#include "gateway/UserRecord.h"
#include "mapi/StagedMail.h"

namespace qlk {

class Gateway;
class RememberedMessages;
class TmsMailAddress;

// Brings one user row's POP3 mailbox into the post office: lists the
// mailbox (one LIST and one UIDL), fetches each message into memory (a copy
// goes to QLKMSG/ only when the settings ask for one), decodes it, works out the
// post-office recipients (the row's own mailbox, or for an alias row every
// row its "To:" and "CC:" entries name), appends the delivery information,
// hands the text and the attachments (through QLKATT/) to the post office,
// and deletes the message on the server when the row says so.
//
// Deliveries are made durable in batches (up to BatchMessages messages or
// BatchTime): the batch's copies are staged, then synced together, their IDs
// remembered with one wait for the disk, the copies committed and synced
// together, and only then are the batch's messages deleted on the server.
//
// Every message reaches the post office exactly once: the account's
// delivered messages are remembered by their unique IDs (RememberedMessages)
// before any copy becomes visible, a remembered message is never delivered
// again (it is deleted on the server, or left there when the row keeps its
// mail), and a delivery a crash interrupted is finished before anything
// else. A message that cannot be handled (refused by the server, over the
// size limit, not readable, refused by the post office) stays on the server
// and the rest go on; a lost connection ends the user's run.
class InboundTransfer {
public:
    static constexpr const char* ForwardManuallyPrefix = "No Recipient Found - Forward Manually -- ";
    static constexpr const char* BadAttachmentName = "Bad.bad";
    // A POP3 session may take this long, plus a second for every
    // SessionMinBytesPerSecond bytes it moves: a slow but honest link passes,
    // a server that trickles does not hold up the other users.
    static constexpr int SessionFloorSeconds = 120;
    static constexpr long long SessionMinBytesPerSecond = 1024;
    // One durability point for this many staged deliveries, or for what was
    // staged within this time.
    static constexpr std::size_t BatchMessages = 64;
    static constexpr std::chrono::milliseconds BatchTime{250};

    explicit InboundTransfer(Gateway& gateway);

    // Called by the cycle with its current user row and the POP3 client
    // connected to the row's mailbox. Logs what goes wrong and returns.
    void GetUserMail();

    // The note text handed to the post office for the decoded message in
    // the gateway's Internet message, before any attachment error lines.
    std::string DeliveryInformation(bool showHeaders) const;

private:
    void TransferMailbox();
    void FinishInterruptedDeliveries(RememberedMessages& remembered);
    void ForgetDeletedMessages(RememberedMessages& remembered);
    void TransferMessage(int index, int count, RememberedMessages& remembered);
    // A fetched message: its text in memory, or the file it was fetched
    // into (a large message, so that it is never held whole).
    struct Fetched {
        std::string text;
        std::filesystem::path file;
    };
    bool Retrieve(int index, const Settings& settings, RememberedMessages& remembered, Fetched& fetched);
    void FetchAhead(int index, const Settings& settings, const RememberedMessages& remembered);
    bool PrepareDelivery(int index, const Settings& settings, Fetched fetched);
    void LoadMessage(Fetched fetched, bool keepFile);
    bool Stage(int index, const std::string& uid, RememberedMessages& remembered);
    bool BatchDue() const;
    void CommitBatch(RememberedMessages& remembered, bool finishOnServer);
    bool CommitCopies(const std::string& stagingKey, const StagedMail& staged, const std::string& what);
    void FinishOnServer(int index);
    void LeaveOnServer(int index, const std::string& why);
    void DeleteRefused(int index, const std::string& reason);
    void DeleteArtifacts();
    void EmptyAttachmentFolder();
    bool AddRecipients(const Settings& settings);
    bool ResolveToRecipients();
    bool ResolveCCRecipients();
    bool RowMatches(const UserRecord& row, const TmsMailAddress& entry, bool logMatches);
    std::string ForwardManually(const Settings& settings);
    void AttachFiles(std::string& text);
    std::filesystem::path MessageFile(int index) const;

    Gateway& gateway_;
    std::filesystem::path messageFolder_;
    std::filesystem::path attachmentFolder_;
    // The message in hand saved attachments under attachmentFolder_.
    bool attachmentsSaved_ = false;
    // The account's row as the cycle took it, and the table's rows as they
    // stood when the message in hand was decoded.
    UserRecord account_;
    std::vector<UserRecord> rows_;
    // The server listed unique IDs in this session.
    bool listedUids_ = false;
    // Deliveries staged since the last durability point, oldest first.
    struct StagedDelivery {
        int index;
        std::string uid;  // empty for a message without one
        std::string stagingKey;
        StagedMail staged;
    };
    std::vector<StagedDelivery> batch_;
    std::chrono::steady_clock::time_point batchStarted_{};
};

}  // namespace qlk
