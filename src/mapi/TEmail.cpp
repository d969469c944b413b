#include "mapi/TEmail.h"

#include <filesystem>
#include <functional>
#include <utility>

#include "mapi/EMAPIunavailable.h"
#include "mapi/MapiCodes.h"
#include "mapi/SimpleMapi.h"

namespace qlk {

namespace {

// The most recipients and attachments one message may carry.
constexpr std::size_t kMaxEntries = 100000;

std::optional<std::string> NoneWhenEmpty(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

bool HasBrackets(std::string_view text) {
    return text.find('[') != std::string_view::npos && text.find(']') != std::string_view::npos;
}

// A custom address "[TYPE:address]" is sent as "TYPE:address".
std::string WithoutFirstBrackets(std::string_view entry) {
    std::string text = ShortString(entry);
    if (const std::size_t open = text.find('['); open != std::string::npos) text.erase(open, 1);
    if (const std::size_t close = text.find(']'); close != std::string::npos) text.erase(close, 1);
    return text;
}

}  // namespace

// Opens a session for one operation when none is open, and closes it on every
// way out of that operation.
class TEmail::BorrowedSession {
public:
    explicit BorrowedSession(TEmail& email) : email_(email), borrowed_(email.sessionHandle_ == 0) {
        code_ = borrowed_ ? email_.Logon() : SUCCESS_SUCCESS;
    }
    ~BorrowedSession() {
        if (!borrowed_ || email_.sessionHandle_ == 0) return;
        try {
            email_.Logoff();
        } catch (...) {  // Logoff has closed the session; the operation's own error is the one to report
        }
    }
    BorrowedSession(const BorrowedSession&) = delete;
    BorrowedSession& operator=(const BorrowedSession&) = delete;

    bool Failed() const { return code_ != SUCCESS_SUCCESS; }

private:
    TEmail& email_;
    bool borrowed_;
    int code_;
};

TEmail::TEmail(const std::filesystem::path& workFolder) : TEmail(SimpleMapi::Load(workFolder)) {}

TEmail::TEmail(std::shared_ptr<SimpleMapi> mapi) : mapi_(std::move(mapi)) {}

std::unique_ptr<TEmail> TEmail::ForGateway(const std::filesystem::path& workFolder) {
    return ForGateway(SimpleMapi::Load(workFolder));
}

std::unique_ptr<TEmail> TEmail::ForGateway(std::shared_ptr<SimpleMapi> mapi) {
    auto email = std::make_unique<TEmail>(std::move(mapi));
    email->Profile = "Internet";
    email->DownLoadFirst = false;
    email->UnreadOnly = false;
    return email;
}

TEmail::~TEmail() {
    if (sessionHandle_ == 0 || !MAPIavail()) return;
    try {
        Logoff();
    } catch (...) {  // a destructor never raises
    }
}

bool TEmail::MAPIavail() const {
    return mapi_ && mapi_->MAPIavail();
}

void TEmail::SetLongText(std::string_view text) {
    longText_ = std::string(text);
    Text.clear();
}

void TEmail::CheckMAPI() const {
    if (!MAPIavail()) throw EMAPIunavailable();
}

int TEmail::LogonWith(const std::optional<std::string>& profile, const std::optional<std::string>& password,
                      std::uint32_t flags) {
    std::uint32_t session = 0;
    const int code = mapi_->Backend().MAPILogon(profile, password, flags, session);
    if (code == SUCCESS_SUCCESS) sessionHandle_ = session;
    return code;
}

int TEmail::Logon() {
    CheckMAPI();
    if (sessionHandle_ != 0) return SUCCESS_SUCCESS;
    if (UseDefProfile) {
        if (std::optional<std::string> profile = mapi_->DefaultProfile()) Profile = *profile;
    }
    const std::uint32_t flags = DownLoadFirst ? MAPI_FORCE_DOWNLOAD : 0;
    const int code = LogonWith(NoneWhenEmpty(Profile), NoneWhenEmpty(Password), flags);
    if (code == SUCCESS_SUCCESS) return code;
    // The platform may let the operator choose a profile.
    return LogonWith(std::nullopt, std::nullopt, flags | MAPI_LOGON_UI);
}

int TEmail::Logoff() {
    CheckMAPI();
    if (sessionHandle_ == 0) return SUCCESS_SUCCESS;
    const std::uint32_t session = std::exchange(sessionHandle_, 0);
    return mapi_->Backend().MAPILogoff(session);
}

std::string TEmail::FindNext() {
    CheckMAPI();
    BorrowedSession session(*this);
    if (session.Failed()) return {};
    std::string found;
    const int code =
        mapi_->Backend().MAPIFindNext(sessionHandle_, MessageID, UnreadOnly ? MAPI_UNREAD_ONLY : 0, found);
    MessageID = code == SUCCESS_SUCCESS ? found : std::string();
    return MessageID;
}

int TEmail::CountUnread() {
    CheckMAPI();
    BorrowedSession session(*this);
    if (session.Failed()) return 0;
    int count = 0;
    std::string seed;
    for (;;) {
        std::string found;
        if (mapi_->Backend().MAPIFindNext(sessionHandle_, seed, MAPI_UNREAD_ONLY, found) != SUCCESS_SUCCESS)
            break;
        if (found == seed) break;
        ++count;
        seed = std::move(found);
    }
    return count;
}

int TEmail::ReadMail() {
    CheckMAPI();
    BorrowedSession session(*this);
    if (session.Failed()) return MAPI_E_LOGIN_FAILURE;
    if (MessageID.empty()) return MAPI_E_INVALID_MESSAGE;
    std::uint32_t flags = LeaveUnread ? MAPI_PEEK : 0;
    if (SuppressAttach) flags |= MAPI_SUPPRESS_ATTACH;
    if (EnvelopeOnly) flags |= MAPI_ENVELOPE_ONLY;
    std::optional<MapiMessage> message;
    const int code = mapi_->Backend().MAPIReadMail(sessionHandle_, MessageID, flags, message);
    if (code != SUCCESS_SUCCESS) return code;

    Recipient.clear();
    CC.clear();
    Bcc.clear();
    if (!message) return MAPI_USER_ABORT;
    AddToRecipientLists(message->Recips);
    Attachment.clear();
    AttPathNames.clear();
    for (const MapiFile& file : message->Files) {
        Attachment.push_back(file.FileName.empty() ? file.PathName : file.FileName);
        if (!SuppressAttach) AttPathNames.push_back(file.PathName);
    }
    wholeSubject_ = message->Subject.value_or("");
    Subject = wholeSubject_;
    longText_.reset();
    Text.clear();
    const std::string& note = message->NoteText ? *message->NoteText : std::string();
    if (note.size() > ShortString::MaxLength) {
        longText_ = note;
    } else {
        Text = note;
    }
    Unread = (message->Flags & MAPI_UNREAD) != 0;
    OrigName = message->Originator ? message->Originator->Name : std::string();
    if (message->Originator && !message->Originator->Address.empty())
        OrigAddress = message->Originator->Address;
    if (message->DateReceived) DateReceived = *message->DateReceived;
    return SUCCESS_SUCCESS;
}

void TEmail::AddToRecipientLists(const std::vector<MapiRecipient>& records) {
    for (const MapiRecipient& recipient : records) {
        if (recipient.RecipClass == MAPI_TO) Recipient.push_back(recipient.Name);
        if (recipient.RecipClass == MAPI_CC) CC.push_back(recipient.Name);
        if (recipient.RecipClass == MAPI_BCC) Bcc.push_back(recipient.Name);
    }
}

std::size_t TEmail::RecipientCount() const {
    return Recipient.size() + CC.size() + Bcc.size();
}

int TEmail::ResolveList(std::vector<std::string>& names, int recipClass,
                        std::vector<MapiRecipient>& records) {
    int result = SUCCESS_SUCCESS;
    MapiBackend& backend = mapi_->Backend();
    for (std::string& name : names) {
        if (name.empty()) continue;
        MapiRecipient resolved;
        int code = backend.MAPIResolveName(sessionHandle_, name, 0, resolved);
        if (code == MAPI_E_AMBIGUOUS_RECIPIENT || code == MAPI_E_UNKNOWN_RECIPIENT) {
            // The platform may let the operator choose.
            resolved = {};
            code = backend.MAPIResolveName(sessionHandle_, name, MAPI_DIALOG, resolved);
        }
        if (code != SUCCESS_SUCCESS) {
            result = code;
            continue;
        }
        if (HasBrackets(name) && resolved.Name.find_first_of("[]") == std::string::npos) {
            const std::string custom = WithoutFirstBrackets(name);
            records.push_back({recipClass, custom, custom});
        } else {
            name = resolved.Name;
            records.push_back({recipClass, resolved.Name, {}});
        }
    }
    return result;
}

int TEmail::BuildMessage(bool resolve, MapiMessage& message) {
    message.Subject = NoneWhenEmpty(Subject);
    message.NoteText = longText_ ? longText_ : NoneWhenEmpty(Text);
    const std::pair<std::vector<std::string>*, int> lists[] = {{&Recipient, MAPI_TO}, {&CC, MAPI_CC}, {&Bcc, MAPI_BCC}};
    for (const auto& [names, recipClass] : lists) {
        if (resolve) {
            ResolveList(*names, recipClass, message.Recips);
            continue;
        }
        for (const std::string& name : *names)
            if (!name.empty()) message.Recips.push_back({recipClass, name, {}});
    }
    for (const std::string& path : Attachment) {
        std::error_code error;
        if (!std::filesystem::exists(path, error)) return MAPI_E_ATTACHMENT_NOT_FOUND;
        message.Files.push_back({kNotInText, path, {}});
    }
    message.Flags = Acknowledge ? MAPI_RECEIPT_REQUESTED : 0;
    return SUCCESS_SUCCESS;
}

int TEmail::Send(bool resolveNames, const std::function<int(const MapiMessage&)>& send) {
    CheckMAPI();
    if (RecipientCount() > kMaxEntries) return MAPI_E_TOO_MANY_RECIPIENTS;
    if (Attachment.size() > kMaxEntries) return MAPI_E_TOO_MANY_FILES;
    BorrowedSession session(*this);
    if (session.Failed()) return MAPI_E_LOGIN_FAILURE;
    MapiMessage message;
    if (const int code = BuildMessage(resolveNames, message); code != SUCCESS_SUCCESS) return code;
    return send(message);
}

int TEmail::SendMail() {
    return Send(true, [this](const MapiMessage& message) {
        // With nobody to send to, the platform's send dialog lets the
        // operator address the message.
        const std::uint32_t flags = message.Recips.empty() || ShowDialog ? MAPI_DIALOG : 0;
        return mapi_->Backend().MAPISendMail(sessionHandle_, message, flags);
    });
}

int TEmail::StageMail(const std::string& stagingKey, StagedMail& staged) {
    return Send(false, [&](const MapiMessage& message) {
        return mapi_->Backend().StageMail(sessionHandle_, message, stagingKey, staged);
    });
}

int TEmail::CommitStaged(const std::string& stagingKey, std::size_t copy, const std::string& mailbox,
                         const std::string& uniqueName) {
    CheckMAPI();
    return mapi_->Backend().CommitStaged(stagingKey, copy, mailbox, uniqueName);
}

void TEmail::SetBatched(bool batched) {
    CheckMAPI();
    mapi_->Backend().SetBatched(batched);
}

int TEmail::SyncDeliveries() {
    CheckMAPI();
    return mapi_->Backend().SyncDeliveries();
}

int TEmail::DeleteMail() {
    CheckMAPI();
    BorrowedSession session(*this);
    if (session.Failed()) return MAPI_E_LOGIN_FAILURE;
    if (MessageID.empty()) return MAPI_E_INVALID_MESSAGE;
    const int code = mapi_->Backend().MAPIDeleteMail(sessionHandle_, MessageID);
    if (code == SUCCESS_SUCCESS) MessageID.clear();
    return code;
}

int TEmail::AddressBook() {
    CheckMAPI();
    if (RecipientCount() > kMaxEntries) return MAPI_E_TOO_MANY_RECIPIENTS;
    BorrowedSession session(*this);
    if (session.Failed()) return MAPI_E_LOGIN_FAILURE;
    std::vector<MapiRecipient> records;
    ResolveList(Recipient, MAPI_TO, records);
    ResolveList(CC, MAPI_CC, records);
    ResolveList(Bcc, MAPI_BCC, records);
    std::vector<MapiRecipient> chosen;
    const int code = mapi_->Backend().MAPIAddress(sessionHandle_, "", 4, "", records, chosen);
    if (code != SUCCESS_SUCCESS) return code;
    Recipient.clear();
    CC.clear();
    Bcc.clear();
    AddToRecipientLists(chosen);
    return SUCCESS_SUCCESS;
}

}  // namespace qlk
