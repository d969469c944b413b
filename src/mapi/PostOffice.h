#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// The post office on disk: a folder holding one Maildir per mailbox, the
// folder's name being the mailbox's display name. Administration only; mail
// moves through TEmail.
class PostOffice {
public:
    // The post office in `folder` (which need not exist yet).
    explicit PostOffice(std::filesystem::path folder);

    // Sets up a post office for the working folder: MAPI.INI (mode 0600, left
    // as it is when present), the post-office folder and the gateway's
    // mailbox "Internet".
    static PostOffice Create(const std::filesystem::path& workFolder);
    // The post office MAPI.INI in the working folder names; none when the
    // file is missing.
    static std::optional<PostOffice> Open(const std::filesystem::path& workFolder);

    // Not empty, at most 255 bytes, no "/", no leading ".", no control
    // characters.
    static bool IsValidMailboxName(std::string_view name);

    const std::filesystem::path& Folder() const { return folder_; }

    // Raises EPostOfficeError for a bad name or one taken already (letter
    // case not counted). A non-empty password is stored mode 0600.
    void AddMailbox(std::string_view name, std::string_view password = {});
    // Raises EPostOfficeError for an unknown mailbox, or one that still holds
    // messages unless `force`.
    void RemoveMailbox(std::string_view name, bool force = false);
    // The mailbox names, sorted.
    std::vector<std::string> Mailboxes() const;
    // The mailbox's own spelling of a name compared without letter case.
    std::optional<std::string> FindMailbox(std::string_view name) const;
    std::filesystem::path MailboxFolder(std::string_view name) const;
    // Where deliveries wait, written but seen by no reader, until they are
    // committed into their mailboxes: on the mailboxes' file system, under a
    // name that is no mailbox's. Created (mode 0700) when missing.
    std::filesystem::path StagingFolder() const;

    struct Counts {
        int Unread = 0;
        int Total = 0;
    };
    Counts CountMessages(std::string_view name) const;
    // The mailbox's log-on password ("" when it has none), for the
    // administrator who acts as a mailbox.
    std::string MailboxPassword(std::string_view name) const;

private:
    std::filesystem::path folder_;
};

}  // namespace qlk
