#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "gateway/Settings.h"

namespace qlk {

class Gateway;
class TmsMailAddress;

// Brings one user row's POP3 mailbox into the post office: lists the
// mailbox, stores each message in QLKMSG/, decodes it, works out the
// post-office recipients (the row's own mailbox, or for an alias row every
// row its "To:" and "CC:" entries name), appends the delivery information,
// hands the text and the attachments (through QLKATT/) to the post office,
// and deletes the message on the server when the row says so, but only
// once the post office has accepted it.
class InboundTransfer {
public:
    static constexpr const char* ForwardManuallyPrefix = "No Recipient Found - Forward Manually -- ";
    static constexpr const char* BadAttachmentName = "Bad.bad";

    explicit InboundTransfer(Gateway& gateway);

    // Called by the cycle with the table on the account's row and the POP3
    // client connected to its mailbox. Logs what goes wrong and returns.
    void GetUserMail();

    // The note text handed to the post office for the decoded message in
    // the gateway's Internet message, before any attachment error lines.
    std::string DeliveryInformation(bool showHeaders) const;

private:
    void TransferMailbox();
    void TransferMessage(int index, int count);
    void DeleteArtifacts() const;
    void EmptyAttachmentFolder() const;
    void AddRecipients(const Settings& settings);
    void ResolveToRecipients();
    void ResolveCCRecipients();
    bool RowMatches(const TmsMailAddress& entry, bool logMatches);
    void ForwardManually(const Settings& settings, std::string& subjectPrefix);
    void AttachFiles(std::string& text);
    int HandOver();
    void FinishOnServer(int index, int handOverCode);
    void BackToAccountRow();
    std::filesystem::path MessageFile(int index) const;

    Gateway& gateway_;
    std::filesystem::path messageFolder_;
    std::filesystem::path attachmentFolder_;
};

}  // namespace qlk
