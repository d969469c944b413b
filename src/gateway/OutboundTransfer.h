#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gateway/AccountTokens.h"
#include "gateway/Settings.h"
#include "gateway/SmtpDelivery.h"
#include "gateway/SubjectLine.h"
#include "gateway/UserRecord.h"

namespace qlk {

class Gateway;
class StatusLog;
class TableEngine;
class TEmail;
class TmsMessage;
class TmsSMTP;
struct TransferTally;

// Carries the post office's outgoing mail to the Internet. Post-office users
// send to the gateway's own mailbox and write the Internet recipients into
// the subject line (see SubjectLine); once per cycle the gateway walks that
// inbox, checks that each sender is a registered user, builds an Internet
// message with the user's Internet identity as sender and hands it to the
// SMTP relay.
//
// Every message ends one of three ways: sent (then deleted), answered inside
// the post office (unregistered sender, no Internet recipient, a subject line
// the post office may have cut, refused for good by the relay; then deleted
// once the answer is in the post office), or kept in the inbox for the next
// cycle (unreadable, or a transient SMTP failure). An answer carries the
// note text and the attachments back, since the post office keeps no other
// copy; a message sent to some recipients only is answered too, naming the
// others. One message kept never holds back the ones behind it; a relay that
// cannot be reached at all ends the run with an error.
class OutboundTransfer {
public:
    static constexpr const char* NotRegisteredSubject =
        "You are not in the QLK database, contact QLK administrator for help. Orig. Subject: ";
    static constexpr const char* NoRecipientSubject =
        "Invalid Internet recipient for this msg., contact your QLK adminstator. Orig. subj:";
    static constexpr const char* RefusedSubject =
        "Your message could not be delivered to the Internet. Orig. Subject: ";
    static constexpr const char* PartlyRefusedSubject =
        "Your message did not reach every Internet recipient. Orig. Subject: ";
    static constexpr const char* CutSubjectSubject =
        "Your subject line is too long for the post office, send it again with fewer recipients. "
        "Orig. Subject: ";
    static constexpr const char* AdministratorName = "QLK Administrator";
    // The relay session, which carries a whole run, may last this long plus
    // a second for every SessionMinBytesPerSecond bytes it moves: a slow
    // honest relay earns its time, one that trickles its replies does not.
    static constexpr int SessionFloorSeconds = 300;
    static constexpr long long SessionMinBytesPerSecond = 1024;

    // Works with the gateway's shared objects: the status log, the user
    // table, the post-office session, the Internet message, the SMTP client
    // and the cycle's counters.
    explicit OutboundTransfer(Gateway& gateway);

    // One run over the gateway's inbox; a shut-down asked for through the
    // cycle lets the message in hand finish and ends the run there. Raises when the relay cannot be
    // reached or the user table cannot be read; the message in hand stays.
    void SendOutgoingMail();

private:
    enum class Outcome { Sent, Answered, Kept };

    // False when the walk found no further message.
    bool HandleMessage(int number, int count);
    Outcome HandleRead();
    void AddAdministratorCopy();
    std::optional<UserRecord> FindSender(const std::string& origName) const;
    void UseSenderAccount(const UserRecord& user);
    void UseAccount(const AccountTokens::Holder& holder, const std::string& server, const std::string& userId,
                    const std::string& password);
    void SetSender(const UserRecord& user);
    void AddRecipients(const SubjectLine& line);
    Outcome Send(const UserRecord& user, const SubjectLine& line);
    void AddAttachments();
    Outcome AnswerRefusal(const UserRecord& user, const SubjectLine& line, const SmtpDelivery& delivery);
    void ReportPartialRefusal(const UserRecord& user, const SubjectLine& line, const SmtpDelivery& delivery);
    Outcome ReturnUnregistered();
    Outcome ReturnWithoutRecipient(const UserRecord& user, const SubjectLine& line);
    Outcome ReturnCutSubject(const UserRecord& user);
    // Sends a reply with the message's attachments inside the post office;
    // false (logged) when the post office did not take it, so the message it
    // answers is kept.
    bool Reply(const std::string& to, const std::string& subject, const std::string& text);
    // Reply, as the outcome of the message it answers.
    Outcome Answer(const std::string& to, const std::string& subject, const std::string& text);
    // The explanation, then the note text the sender wrote.
    std::string ReplyText(const std::string& explanation) const;
    void DeleteAttachmentFiles();
    void DeleteMessage();
    std::string NoteText() const;
    void Log(const std::string& msg, int level);
    // Asked afresh each time: the gateway may be given another post office.
    TEmail& Mapi() const;

    Gateway& gateway_;
    StatusLog& log_;
    TableEngine& users_;
    TmsMessage& inetmsg_;
    TmsSMTP& smtp_;
    Settings settings_;
    // The subject line and note text as read, for the answers.
    std::string subjectLine_;
    std::string noteText_;
    // The last message kept in this run: after a deletion the walk goes on
    // behind it instead of meeting it again.
    std::string lastKeptId_;
    std::vector<std::string> attachmentFiles_;
    // The run's SMTP session; none between runs.
    SmtpDelivery* delivery_ = nullptr;
};

}  // namespace qlk
