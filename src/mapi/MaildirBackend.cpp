#include "mapi/MaildirBackend.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <set>
#include <utility>

#include "mapi/MaildirFolder.h"
#include "mapi/MapiCodes.h"
#include "mapi/PostOfficeMessage.h"
#include "message/FileNames.h"
#include "message/TextUtils.h"
#include "message/TmsAttItem.h"

namespace qlk {

namespace {

bool SamePassword(std::string_view given, std::string_view stored) {
    // Compared in full whatever the first difference, so timing tells nothing.
    unsigned char difference = given.size() == stored.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |=
            static_cast<unsigned char>(given[i] ^ stored[i % std::max<std::size_t>(stored.size(), 1)]);
    return difference == 0;
}

// "[TYPE:address]" as a recipient entry: the address part.
std::optional<std::string> CustomAddress(const std::string& name) {
    if (name.size() < 3 || name.front() != '[' || name.back() != ']') return std::nullopt;
    const std::string inner = name.substr(1, name.size() - 2);
    const std::size_t colon = inner.find(':');
    return colon == std::string::npos ? inner : inner.substr(colon + 1);
}

// Letters and digits only, so that a key from a caller never reaches a path
// as anything but a plain file name.
bool IsStagingKey(const std::string& key) {
    return !key.empty() && key.size() <= 64 && std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

int ReadWholeFile(const std::string& path, std::string& data) {
    TmsAttItem file;
    file.SetFileName(path);
    try {
        file.LoadDataFromFile();
    } catch (const std::exception&) {
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    }
    data = std::move(file.Data);
    return SUCCESS_SUCCESS;
}

int LoadAttachments(const std::vector<MapiFile>& files,
                    std::vector<PostOfficeMessage::Attachment>& attachments) {
    for (const MapiFile& file : files) {
        std::error_code error;
        if (file.PathName.empty() || !std::filesystem::is_regular_file(file.PathName, error))
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        PostOfficeMessage::Attachment attachment;
        attachment.FileName =
            SafeFileName(file.FileName.empty() ? std::string(ExtractFileName(file.PathName)) : file.FileName);
        // A quote would end the name's parameter in the part's header early.
        std::replace(attachment.FileName.begin(), attachment.FileName.end(), '"', '\'');
        if (const int code = ReadWholeFile(file.PathName, attachment.Data); code != SUCCESS_SUCCESS)
            return code;
        attachments.push_back(std::move(attachment));
    }
    return SUCCESS_SUCCESS;
}

}  // namespace

MaildirBackend::MaildirBackend(std::filesystem::path postOfficeFolder, std::string defaultProfile)
    : postOffice_(std::move(postOfficeFolder)), defaultProfile_(std::move(defaultProfile)) {}

MaildirBackend::~MaildirBackend() = default;

const std::string* MaildirBackend::SessionMailbox(std::uint32_t session) const {
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? nullptr : &found->second;
}

MaildirFolder* MaildirBackend::Inbox(std::uint32_t session) {
    const std::string* mailbox = SessionMailbox(session);
    if (mailbox == nullptr) return nullptr;
    std::unique_ptr<MaildirFolder>& folder = folders_[*mailbox];
    if (!folder) {
        folder = std::make_unique<MaildirFolder>(postOffice_.MailboxFolder(*mailbox));
        folder->RemoveStaleTemporaryFiles();
    }
    return folder.get();
}

int MaildirBackend::MAPILogon(const std::optional<std::string>& profile,
                              const std::optional<std::string>& password, std::uint32_t flags,
                              std::uint32_t& session) {
    std::string name;
    if (profile) {
        name = *profile;
    } else if ((flags & MAPI_LOGON_UI) != 0) {
        name = defaultProfile_;
    } else {
        return MAPI_E_LOGIN_FAILURE;
    }
    const std::optional<std::string> mailbox = postOffice_.FindMailbox(name);
    if (!mailbox) return MAPI_E_LOGIN_FAILURE;
    const std::string stored = postOffice_.MailboxPassword(*mailbox);
    if (!stored.empty() && !SamePassword(password.value_or(""), stored)) return MAPI_E_LOGIN_FAILURE;
    if (nextSession_ == 0) nextSession_ = 1;
    session = nextSession_++;
    sessions_[session] = *mailbox;
    return SUCCESS_SUCCESS;
}

int MaildirBackend::MAPILogoff(std::uint32_t session) {
    if (sessions_.erase(session) == 0) return MAPI_E_INVALID_SESSION;
    attachmentFolders_.RemoveEmpty();
    return SUCCESS_SUCCESS;
}

int MaildirBackend::MAPIFindNext(std::uint32_t session, const std::string& seed, std::uint32_t flags,
                                 std::string& messageId) {
    MaildirFolder* inbox = Inbox(session);
    if (inbox == nullptr) return MAPI_E_INVALID_SESSION;
    return inbox->Next(seed, (flags & MAPI_UNREAD_ONLY) != 0, messageId);
}

int MaildirBackend::MAPIReadMail(std::uint32_t session, const std::string& messageId, std::uint32_t flags,
                                 std::optional<MapiMessage>& message) {
    MaildirFolder* inbox = Inbox(session);
    if (inbox == nullptr) return MAPI_E_INVALID_SESSION;
    const std::optional<MaildirFolder::Message> stored = inbox->Locate(messageId);
    if (!stored) return MAPI_E_INVALID_MESSAGE;
    MapiMessage read;
    const int code = PostOfficeMessage::Read(inbox->Folder() / stored->File, flags, read, attachmentFolders_);
    if (code != SUCCESS_SUCCESS) return code;
    if (stored->Unread) read.Flags |= MAPI_UNREAD;
    if ((flags & MAPI_PEEK) == 0) inbox->MarkSeen(messageId);
    message = std::move(read);
    return SUCCESS_SUCCESS;
}

std::optional<std::string> MaildirBackend::RecipientMailbox(const MapiRecipient& recipient) const {
    if (recipient.Address.empty()) return postOffice_.FindMailbox(recipient.Name);
    const std::size_t colon = recipient.Address.find(':');
    return postOffice_.FindMailbox(colon == std::string::npos ? recipient.Address
                                                              : recipient.Address.substr(colon + 1));
}

int MaildirBackend::PrepareSend(std::uint32_t session, const MapiMessage& message, std::uint32_t flags,
                                PreparedSend& prepared) const {
    prepared.sender = SessionMailbox(session);
    if (prepared.sender == nullptr) return MAPI_E_INVALID_SESSION;
    if ((flags & MAPI_DIALOG) != 0) return MAPI_USER_ABORT;
    if (message.Recips.empty()) return MAPI_E_UNKNOWN_RECIPIENT;
    std::set<std::string> chosen;
    for (const MapiRecipient& recipient : message.Recips) {
        const std::optional<std::string> mailbox = RecipientMailbox(recipient);
        if (!mailbox) return MAPI_E_UNKNOWN_RECIPIENT;
        if (chosen.insert(*mailbox).second) prepared.mailboxes.push_back(*mailbox);
    }
    return LoadAttachments(message.Files, prepared.attachments);
}

int MaildirBackend::MAPISendMail(std::uint32_t session, const MapiMessage& message, std::uint32_t flags) {
    PreparedSend prepared;
    if (const int code = PrepareSend(session, message, flags, prepared); code != SUCCESS_SUCCESS) return code;
    std::string text;
    try {
        text = PostOfficeMessage::Compose(message, *prepared.sender, std::move(prepared.attachments),
                                          std::time(nullptr));
    } catch (const std::exception&) {
        return MAPI_E_FAILURE;
    }
    std::vector<std::filesystem::path> folders;
    for (const std::string& mailbox : prepared.mailboxes) folders.push_back(postOffice_.MailboxFolder(mailbox));
    return MaildirFolder::Deliver(folders, text);
}

std::vector<std::filesystem::path> MaildirBackend::StagedFiles(const std::string& stagingKey,
                                                               std::size_t copies) const {
    const std::filesystem::path folder = postOffice_.StagingFolder();
    std::vector<std::filesystem::path> files;
    for (std::size_t copy = 0; copy < copies; ++copy)
        files.push_back(folder / (stagingKey + "." + std::to_string(copy)));
    return files;
}

// Composed straight into the first staged file: a large message is never
// held whole as text beside its attachments.
int MaildirBackend::StageMail(std::uint32_t session, const MapiMessage& message, const std::string& stagingKey,
                              StagedMail& staged) {
    if (!IsStagingKey(stagingKey)) return MAPI_E_FAILURE;
    staged = {};
    PreparedSend prepared;
    if (const int code = PrepareSend(session, message, 0, prepared); code != SUCCESS_SUCCESS) return code;
    staged.Mailboxes = prepared.mailboxes;
    staged.UniqueName = MaildirFolder::NewUniqueName();
    bool composed = true;
    const auto compose = [&](int fd) {
        try {
            return PostOfficeMessage::ComposeInto(fd, message, *prepared.sender, std::move(prepared.attachments),
                                                  std::time(nullptr));
        } catch (const std::exception&) {
            composed = false;
            return false;
        }
    };
    try {
        const std::vector<std::filesystem::path> files = StagedFiles(stagingKey, staged.Mailboxes.size());
        const int code = MaildirFolder::Stage(files, compose, !batched_);
        if (code == SUCCESS_SUCCESS && batched_) {
            unsyncedFiles_.insert(unsyncedFiles_.end(), files.begin(), files.end());
            NoteUnsyncedFolder(files.front().parent_path());
        }
        return composed ? code : MAPI_E_FAILURE;
    } catch (const std::exception&) {
        return MAPI_E_DISK_FULL;  // the staging folder cannot be made
    }
}

int MaildirBackend::CommitStaged(const std::string& stagingKey, std::size_t copy, const std::string& mailbox,
                                 const std::string& uniqueName) {
    if (!IsStagingKey(stagingKey)) return MAPI_E_FAILURE;
    const std::optional<std::string> found = postOffice_.FindMailbox(mailbox);
    if (!found) return MAPI_E_UNKNOWN_RECIPIENT;
    try {
        const std::filesystem::path staged = StagedFiles(stagingKey, copy + 1).back();
        const std::filesystem::path folder = postOffice_.MailboxFolder(*found);
        const int code = MaildirFolder::CommitStaged(staged, folder, uniqueName, !batched_);
        if (code == SUCCESS_SUCCESS && batched_) {
            NoteUnsyncedFolder(folder / "new");
            NoteUnsyncedFolder(staged.parent_path());
        }
        return code;
    } catch (const std::exception&) {
        return MAPI_E_FAILURE;
    }
}

void MaildirBackend::NoteUnsyncedFolder(const std::filesystem::path& folder) {
    if (std::find(unsyncedFolders_.begin(), unsyncedFolders_.end(), folder) == unsyncedFolders_.end())
        unsyncedFolders_.push_back(folder);
}

int MaildirBackend::SyncDeliveries() {
    const int code = MaildirFolder::SyncBatch(unsyncedFiles_, unsyncedFolders_);
    unsyncedFiles_.clear();
    unsyncedFolders_.clear();
    return code;
}

int MaildirBackend::MAPIDeleteMail(std::uint32_t session, const std::string& messageId) {
    MaildirFolder* inbox = Inbox(session);
    if (inbox == nullptr) return MAPI_E_INVALID_SESSION;
    return inbox->Delete(messageId);
}

int MaildirBackend::ResolveMailbox(const std::string& name, std::string& mailbox) const {
    if (const std::optional<std::string> custom = CustomAddress(name)) {
        const std::optional<std::string> found = postOffice_.FindMailbox(*custom);
        if (!found) return MAPI_E_UNKNOWN_RECIPIENT;
        mailbox = *found;
        return SUCCESS_SUCCESS;
    }
    if (const std::optional<std::string> exact = postOffice_.FindMailbox(name)) {
        mailbox = *exact;
        return SUCCESS_SUCCESS;
    }
    int matches = 0;
    const std::string prefix = UpperCase(name);
    for (const std::string& candidate : postOffice_.Mailboxes()) {
        if (!name.empty() && UpperCase(candidate).starts_with(prefix)) {
            mailbox = candidate;
            ++matches;
        }
    }
    if (matches == 0) return MAPI_E_UNKNOWN_RECIPIENT;
    return matches == 1 ? SUCCESS_SUCCESS : MAPI_E_AMBIGUOUS_RECIPIENT;
}

int MaildirBackend::MAPIResolveName(std::uint32_t session, const std::string& name, std::uint32_t flags,
                                    MapiRecipient& recipient) {
    if (SessionMailbox(session) == nullptr) return MAPI_E_INVALID_SESSION;
    std::string mailbox;
    const int code = ResolveMailbox(name, mailbox);
    // A choice would need an operator; nobody is there to make it.
    if (code != SUCCESS_SUCCESS) return (flags & MAPI_DIALOG) != 0 ? MAPI_USER_ABORT : code;
    recipient = {MAPI_TO, mailbox, {}};
    return SUCCESS_SUCCESS;
}

int MaildirBackend::MAPIAddress(std::uint32_t session, const std::string&, int, const std::string&,
                                const std::vector<MapiRecipient>&, std::vector<MapiRecipient>&) {
    if (SessionMailbox(session) == nullptr) return MAPI_E_INVALID_SESSION;
    return MAPI_USER_ABORT;  // the address book is a dialog
}

}  // namespace qlk
