#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mapi/AttachmentFolders.h"
#include "mapi/MapiBackend.h"
#include "mapi/PostOffice.h"
#include "mapi/PostOfficeMessage.h"

namespace qlk {

class MaildirFolder;

// The Simple MAPI operations over the post office's Maildirs. A profile is a
// mailbox name; a session's inbox is that mailbox. Nothing ever waits for an
// operator: what would open a dialog answers MAPI_USER_ABORT, and an
// interactive log-on without a profile opens the default profile.
class MaildirBackend : public MapiBackend {
public:
    MaildirBackend(std::filesystem::path postOfficeFolder, std::string defaultProfile);
    ~MaildirBackend() override;

    int MAPILogon(const std::optional<std::string>& profile, const std::optional<std::string>& password,
                  std::uint32_t flags, std::uint32_t& session) override;
    int MAPILogoff(std::uint32_t session) override;
    int MAPIFindNext(std::uint32_t session, const std::string& seed, std::uint32_t flags,
                     std::string& messageId) override;
    int MAPIReadMail(std::uint32_t session, const std::string& messageId, std::uint32_t flags,
                     std::optional<MapiMessage>& message) override;
    int MAPISendMail(std::uint32_t session, const MapiMessage& message, std::uint32_t flags) override;
    int MAPIDeleteMail(std::uint32_t session, const std::string& messageId) override;
    int MAPIResolveName(std::uint32_t session, const std::string& name, std::uint32_t flags,
                        MapiRecipient& recipient) override;
    int MAPIAddress(std::uint32_t session, const std::string& caption, int editFields,
                    const std::string& labels, const std::vector<MapiRecipient>& recipients,
                    std::vector<MapiRecipient>& chosen) override;
    // Staged copies wait in the post office's staging folder as
    // STAGINGKEY.COPY.
    int StageMail(std::uint32_t session, const MapiMessage& message, const std::string& stagingKey,
                  StagedMail& staged) override;
    int CommitStaged(const std::string& stagingKey, std::size_t copy, const std::string& mailbox,
                     const std::string& uniqueName) override;
    void SetBatched(bool batched) override { batched_ = batched; }
    int SyncDeliveries() override;

private:
    // The session's mailbox folder, or none for an unknown session.
    MaildirFolder* Inbox(std::uint32_t session);
    const std::string* SessionMailbox(std::uint32_t session) const;
    // The mailbox a recipient record names: its address's part after the
    // type ("SMTP:x" names x), else its display name.
    std::optional<std::string> RecipientMailbox(const MapiRecipient& recipient) const;
    int ResolveMailbox(const std::string& name, std::string& mailbox) const;
    // What a send needs: the sender's mailbox, the recipients' mailboxes
    // (each once, by exact name) and the attachments' bytes.
    struct PreparedSend {
        const std::string* sender = nullptr;
        std::vector<std::string> mailboxes;
        std::vector<PostOfficeMessage::Attachment> attachments;
    };
    // A Simple MAPI code.
    int PrepareSend(std::uint32_t session, const MapiMessage& message, std::uint32_t flags,
                    PreparedSend& prepared) const;
    std::vector<std::filesystem::path> StagedFiles(const std::string& stagingKey, std::size_t copies) const;

    PostOffice postOffice_;
    std::string defaultProfile_;
    std::map<std::uint32_t, std::string> sessions_;
    std::uint32_t nextSession_ = 1;
    std::map<std::string, std::unique_ptr<MaildirFolder>> folders_;
    AttachmentFolders attachmentFolders_;
    bool batched_ = false;
    // What the batch wrote or renamed since its last SyncDeliveries.
    std::vector<std::filesystem::path> unsyncedFiles_;
    std::vector<std::filesystem::path> unsyncedFolders_;
    void NoteUnsyncedFolder(const std::filesystem::path& folder);
};

}  // namespace qlk
