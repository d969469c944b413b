#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/MapiRecipient.h"
#include "mapi/StagedMail.h"
#include "platform/ShortString.h"

namespace qlk {

class SimpleMapi;
struct MapiMessage;

// One Simple MAPI session on the post office, and everything the gateway does
// through it: walk the inbox, read, send and delete messages, resolve names.
// Every result is a Simple MAPI code (mapi/MapiCodes.h); the only exception is
// EMAPIunavailable when the post office is not there at all.
//
// An operation called without an open session borrows one: it logs on, and
// logs off again on every way out. Call Logon first to have one session
// serve a run of operations.
class TEmail {
public:
    // Binds the post office named by MAPI.INI in the working folder.
    explicit TEmail(const std::filesystem::path& workFolder);
    // Runs over a given loader (tests, or a shared one).
    explicit TEmail(std::shared_ptr<SimpleMapi> mapi);
    // The gateway's own: the profile "Internet", no forced download, the
    // walk over every message.
    static std::unique_ptr<TEmail> ForGateway(const std::filesystem::path& workFolder);
    static std::unique_ptr<TEmail> ForGateway(std::shared_ptr<SimpleMapi> mapi);
    // Logs off an open session.
    virtual ~TEmail();
    TEmail(const TEmail&) = delete;
    TEmail& operator=(const TEmail&) = delete;

    // Settings, in the order of the component's published properties.
    bool Acknowledge = false;             // sent messages ask for a receipt
    std::vector<std::string> Attachment;  // to send: whole file paths; after reading: file names
    std::vector<std::string> Bcc;
    std::vector<std::string> CC;
    bool DownLoadFirst = false;
    bool UnreadOnly = false;  // FindNext walks unread messages only
    ShortString Password;
    ShortString Profile;
    std::vector<std::string> Recipient;
    bool ShowDialog = false;
    ShortString Subject;  // after reading: see WholeSubject
    ShortString Text;  // a short note text; see SetLongText
    bool UseDefProfile = false;

    bool MAPIavail() const;

    // Run-time state.
    std::uint32_t SessionHandle() const { return sessionHandle_; }
    ShortString MessageID;  // the walk's seed and the message read or deleted
    bool LeaveUnread = true;
    bool EnvelopeOnly = false;
    bool SuppressAttach = false;
    ShortString OrigName;
    ShortString OrigAddress;
    ShortString DateReceived;
    bool Unread = false;
    std::vector<std::string> AttPathNames;  // the last message's attachment files

    // Note text of any length; when present it is what SendMail sends, in
    // place of Text. Setting it empties Text.
    void SetLongText(std::string_view text);
    void ClearLongText() { longText_.reset(); }
    const std::optional<std::string>& GetLongText() const { return longText_; }
    // The whole subject line of the message read last; Subject holds no
    // more than its first 255 bytes.
    const std::string& WholeSubject() const { return wholeSubject_; }

    // Raises EMAPIunavailable when no post office is bound.
    virtual void CheckMAPI() const;

    int Logon();
    int Logoff();
    // Moves MessageID to the next message and returns it; "" when there is
    // none (MessageID then empty too, so the next call starts again).
    std::string FindNext();
    // The unread messages of the inbox, counted by a walk of its own.
    int CountUnread();
    int ReadMail();
    int SendMail();
    int DeleteMail();
    int AddressBook();

    // The gateway's exactly-once delivery (MapiBackend::StageMail): the
    // message SendMail would send, staged for the mailboxes that Recipient,
    // CC and Bcc name exactly, without resolving any name further.
    int StageMail(const std::string& stagingKey, StagedMail& staged);
    int CommitStaged(const std::string& stagingKey, std::size_t copy, const std::string& mailbox,
                     const std::string& uniqueName);
    // MapiBackend::SetBatched and SyncDeliveries.
    void SetBatched(bool batched);
    int SyncDeliveries();

private:
    class BorrowedSession;

    int LogonWith(const std::optional<std::string>& profile, const std::optional<std::string>& password,
                  std::uint32_t flags);
    int ResolveList(std::vector<std::string>& names, int recipClass, std::vector<MapiRecipient>& records);
    // The message of Subject, the note text, the recipients and Attachment;
    // names resolved through the address book when RESOLVE is set. A Simple
    // MAPI code (an attachment file that is not there).
    int BuildMessage(bool resolve, MapiMessage& message);
    // The checks, the session and the message that every send needs; SEND
    // hands the message to the back end.
    int Send(bool resolveNames, const std::function<int(const MapiMessage&)>& send);
    void AddToRecipientLists(const std::vector<MapiRecipient>& records);
    std::size_t RecipientCount() const;

    std::shared_ptr<SimpleMapi> mapi_;
    std::uint32_t sessionHandle_ = 0;
    std::optional<std::string> longText_;
    std::string wholeSubject_;
};

}  // namespace qlk
