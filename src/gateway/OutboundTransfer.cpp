#include "gateway/OutboundTransfer.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "gateway/AccountTokens.h"
#include "gateway/Gateway.h"
#include "gateway/StatusLog.h"
#include "gateway/TableEngine.h"
#include "gateway/TransferTally.h"
#include "mapi/MapiCodes.h"
#include "mapi/TEmail.h"
#include "message/HeaderWords.h"
#include "message/TLineStream.h"
#include "message/TmsMessage.h"
#include "net/TmsSMTP.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kOriginalTextMark = "\r\n----- Your message -----\r\n";

bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

OutboundTransfer::OutboundTransfer(Gateway& gateway)
    : gateway_(gateway),
      log_(gateway.Log()),
      users_(gateway.Users().Table()),
      inetmsg_(gateway.InetMsg()),
      smtp_(gateway.SMTP()) {}

TEmail& OutboundTransfer::Mapi() const {
    return gateway_.MAPI();
}

void OutboundTransfer::Log(const std::string& msg, int level) {
    log_.WriteLog(msg, level);
}

void OutboundTransfer::SendOutgoingMail() {
    settings_ = gateway_.CurrentSettings();
    smtp_.Server = settings_.SMTPServer;
    smtp_.MailMessage = &inetmsg_;
    // With an office relay account every session logs in with it; without,
    // a session logs in only when the relay asks (530), as the sender.
    smtp_.LoginOnlyWhenAsked = settings_.SMTPRelayUser.empty();
    smtp_.SessionFloorSeconds = SessionFloorSeconds;
    smtp_.SessionMinBytesPerSecond = SessionMinBytesPerSecond;
    Log("Checking MAPI for Outgoing Mail", 3);
    Mapi().Logon();
    // A message an earlier run kept must not make this run start behind it.
    Mapi().MessageID = "";
    lastKeptId_.clear();
    SmtpDelivery delivery(smtp_);
    delivery_ = &delivery;
    const std::unique_ptr<SmtpDelivery*, void (*)(SmtpDelivery**)> forget(
        &delivery_, [](SmtpDelivery** p) { *p = nullptr; });
    const int count = Mapi().CountUnread();
    Log("There are " + std::to_string(count) + " unread message(s) to be sent", 2);
    for (int i = 0; i < count; ++i) {
        if (!HandleMessage(i + 1, count)) break;
        ProcessMessages();
        if (gateway_.Cycle().Stopping()) break;
    }
}

bool OutboundTransfer::HandleMessage(int number, int count) {
    if (!lastKeptId_.empty() && Mapi().MessageID.empty()) Mapi().MessageID = lastKeptId_;
    // Every message behind the walk's position was kept: nothing is left.
    if (Mapi().FindNext().empty()) return false;
    gateway_.ResetMessageObjects();
    Log("Preparing Message " + std::to_string(number) + "/" + std::to_string(count), 2);
    const int code = Mapi().ReadMail();
    Log("MAPI Readmail Result : " + std::to_string(code), 3);
    if (code != SUCCESS_SUCCESS) {
        Log("Error Reading MS Mail Message - Skipping and Retrying", 0);
        lastKeptId_ = Mapi().MessageID;
        return true;
    }
    attachmentFiles_ = Mapi().AttPathNames;
    Outcome outcome;
    try {
        outcome = HandleRead();
    } catch (...) {
        DeleteAttachmentFiles();
        throw;
    }
    Log("Deleting Attachments from TEMP directory", 3);
    DeleteAttachmentFiles();
    if (outcome == Outcome::Kept) {
        lastKeptId_ = Mapi().MessageID;
    } else {
        DeleteMessage();
    }
    return true;
}

OutboundTransfer::Outcome OutboundTransfer::HandleRead() {
    // The whole line: the post office's Subject field holds 255 bytes only.
    subjectLine_ = Mapi().WholeSubject();
    Log("Sender : " + Mapi().OrigName.str(), 3);
    Log("Extracting Recipients and Subject from Original Subject", 3);
    Log("Original Subject : " + subjectLine_, 3);
    noteText_ = NoteText();
    const SubjectLine line(subjectLine_);
    if (line.HasBar()) Log("Subject : " + line.RealSubject(), 3);
    AddAdministratorCopy();
    Log("Looking Up User in Database", 3);
    const std::optional<UserRecord> user = FindSender(Mapi().OrigName);
    if (!user) return ReturnUnregistered();
    Log("Adding Sender Information For QLK User : " + user->name, 3);
    SetSender(*user);
    if (SubjectLine::MayBeCut(subjectLine_)) return ReturnCutSubject(*user);
    Log("Creating New Message", 3);
    Log("Parsing recipient address list", 3);
    AddRecipients(line);
    if (!line.HasRecipient()) return ReturnWithoutRecipient(*user, line);
    return Send(*user, line);
}

std::string OutboundTransfer::NoteText() const {
    const std::optional<std::string>& longText = Mapi().GetLongText();
    return Mapi().Text.empty() && longText ? *longText : Mapi().Text.str();
}

void OutboundTransfer::AddAdministratorCopy() {
    if (!settings_.CCAdmin || settings_.AdminInternetAddress.empty()) return;
    inetmsg_.Recipients().AddAddress(settings_.AdminInternetAddress, AdministratorName);
}

std::optional<UserRecord> OutboundTransfer::FindSender(const std::string& origName) const {
    // Letter case counts: the post office's display name must match the
    // Mailbox exactly.
    for (users_.First(); !users_.Eof(); users_.Next()) {
        if (users_.AsString(UserField::Mailbox) != origName) continue;
        UserRecord user;
        user.name = users_.AsString(UserField::Name);
        user.mailbox = users_.AsString(UserField::Mailbox);
        user.returnAddress = users_.AsString(UserField::ReturnAddress);
        user.popHost = users_.AsString(UserField::POPHost);
        user.popUserId = users_.AsString(UserField::POPUserID);
        user.popPassword = users_.AsString(UserField::POPPassword);
        return user;
    }
    return std::nullopt;
}

// A relay that asks for a log-in gets the sender's own POP3 account, with its
// access token when the account signs in through OAuth. A sender who must
// sign in again gives no account, so such a relay keeps the message.
void OutboundTransfer::UseSenderAccount(const UserRecord& user) {
    UseAccount(AccountTokens::UserNamed(user.name), user.popHost, user.popUserId, user.popPassword);
}

// A password is never sent for an account that logs in with a token, nor
// for one whose token cannot be had this cycle.
void OutboundTransfer::UseAccount(const AccountTokens::Holder& holder, const std::string& server,
                                  const std::string& userId, const std::string& password) {
    const AccountTokens::LogIn login = AccountTokens::ForTransfer(
        gateway_.Cycle(), gateway_.Log(), gateway_.WorkFolder(), holder, server, userId);
    smtp_.UserID = login.Skip ? "" : userId;
    smtp_.Password = login.Skip || !login.AccessToken.empty() ? "" : password;
    smtp_.AccessToken = login.AccessToken;
}

void OutboundTransfer::SetSender(const UserRecord& user) {
    inetmsg_.Sender().Name = user.mailbox;
    inetmsg_.Sender().Address = user.returnAddress;
    // A name that is not ASCII, or holds a "," or ".", would make the line
    // 8-bit or read as several addresses.
    inetmsg_.Headers().Add("Reply-To: " + HeaderPhrase(user.mailbox) + "<" + user.returnAddress + ">");
}

void OutboundTransfer::AddRecipients(const SubjectLine& line) {
    for (const SubjectLine::Item& item : line.Items()) {
        switch (item.kind) {
            case SubjectLine::Kind::CC:
                inetmsg_.CC().AddAddress(item.address, "");
                break;
            case SubjectLine::Kind::BC:
                inetmsg_.BCC().AddAddress(item.address, "");
                break;
            case SubjectLine::Kind::To:
            case SubjectLine::Kind::DefaultTo:
                inetmsg_.Recipients().AddAddress(item.address, "");
                break;
        }
        Log(SubjectLine::LogText(item), 2);
    }
    for (const std::string& item : line.NotAddresses()) Log("Not an Internet address, left out : " + item, 2);
}

OutboundTransfer::Outcome OutboundTransfer::Send(const UserRecord& user, const SubjectLine& line) {
    if (inetmsg_.Recipients().Count() > 0) {
        const TmsMailAddress& first = inetmsg_.Recipients().Items(0);
        Log("First Recipient of " + std::to_string(inetmsg_.Recipients().Count()) + " : " + first.Name.str() +
                " " + first.Address.str(),
            2);
    }
    Log("Copying Message Text", 3);
    LoadTextLines(noteText_, inetmsg_.Body());
    AddAttachments();
    inetmsg_.SetSubject(line.RealSubject());
    Log("Sending Message", 3);
    if (settings_.SMTPRelayUser.empty()) {
        UseSenderAccount(user);
    } else {
        UseAccount(AccountTokens::OfficeRelay(), settings_.SMTPServer, settings_.SMTPRelayUser,
                   settings_.SMTPRelayPassword);
    }
    SmtpDelivery& delivery = *delivery_;
    switch (delivery.Deliver()) {
        case SmtpDelivery::Result::Accepted:
            ++gateway_.Cycle().Tally().MessagesSent;
            gateway_.Cycle().Tally().AttachmentsUploaded += inetmsg_.Attachments().Count();
            if (!delivery.RefusedRecipients().empty() || !line.NotAddresses().empty())
                ReportPartialRefusal(user, line, delivery);
            return Outcome::Sent;
        case SmtpDelivery::Result::Refused:
            return AnswerRefusal(user, line, delivery);
        case SmtpDelivery::Result::Deferred:
            break;
    }
    Log("Message kept for the next transfer, the SMTP server did not take it now : " + delivery.Reason(), 0);
    return Outcome::Kept;
}

void OutboundTransfer::AddAttachments() {
    for (const std::string& path : attachmentFiles_) {
        Log("Adding Attachment  : " + path, 3);
        if (IsFile(path)) {
            inetmsg_.Attachments().AddFile(path);
        } else {
            Log("Attachment not found! frmQLK.MAPI.AttPathNames[j]", 0);
        }
    }
}

namespace {

// One line per recipient the message did not reach, with the reason.
std::string UnsentList(const SubjectLine& line, const std::vector<SmtpDelivery::RefusedRecipient>& refusals) {
    std::string list;
    for (const std::string& item : line.NotAddresses())
        list += "    " + item + " : not an Internet address (write it as name@example.com)" + kLineEnd;
    for (const SmtpDelivery::RefusedRecipient& refused : refusals)
        list += "    " + refused.address + " : " + refused.reply + kLineEnd;
    return list;
}

}  // namespace

OutboundTransfer::Outcome OutboundTransfer::AnswerRefusal(const UserRecord& user, const SubjectLine& line,
                                                          const SmtpDelivery& delivery) {
    Log("SMTP server refused the message, returning message to sender : " + user.mailbox + " : " +
            delivery.Reason(),
        0);
    const std::string explanation =
        "The mail server " + settings_.SMTPServer + " refused your message for good:" + kLineEnd + kLineEnd +
        "    " + delivery.Reason() + kLineEnd + UnsentList(line, delivery.RefusedRecipients());
    return Answer(user.mailbox, RefusedSubject + subjectLine_, ReplyText(explanation));
}

void OutboundTransfer::ReportPartialRefusal(const UserRecord& user, const SubjectLine& line,
                                            const SmtpDelivery& delivery) {
    for (const SmtpDelivery::RefusedRecipient& refused : delivery.RefusedRecipients())
        Log("SMTP server refused recipient " + refused.address + " : " + refused.reply, 0);
    const std::string explanation =
        "Your message went out, but not to these recipients:" + std::string(kLineEnd) + kLineEnd +
        UnsentList(line, delivery.RefusedRecipients());
    // The message went out: it is deleted even when this answer cannot be
    // put into the post office, or the others would get it twice.
    Reply(user.mailbox, PartlyRefusedSubject + subjectLine_, ReplyText(explanation));
}

OutboundTransfer::Outcome OutboundTransfer::ReturnUnregistered() {
    const std::string sender = Mapi().OrigName;
    Log("User - " + sender + " - not found in database, returning message to sender : " + sender, 0);
    return Answer(sender, NotRegisteredSubject + subjectLine_, noteText_);
}

OutboundTransfer::Outcome OutboundTransfer::ReturnWithoutRecipient(const UserRecord& user,
                                                                   const SubjectLine& line) {
    Log("No valid Internet recipient found, returning message to sender : " + Mapi().OrigName.str(), 0);
    const std::string text =
        line.NotAddresses().empty()
            ? noteText_
            : ReplyText("Your subject line names no Internet address the message could go to:" +
                        std::string(kLineEnd) + kLineEnd + UnsentList(line, {}));
    return Answer(user.mailbox, NoRecipientSubject + subjectLine_, text);
}

OutboundTransfer::Outcome OutboundTransfer::ReturnCutSubject(const UserRecord& user) {
    Log("Subject line may have been cut by the post office, returning message to sender : " + user.mailbox,
        0);
    const std::string explanation =
        "The post office keeps 255 characters of a subject line. Yours fills them without a \"|\", so "
        "recipients at its end may have been cut short or lost, and the message was not sent. Send it "
        "again with fewer recipients, or as several messages. The subject line as the post office holds "
        "it:" +
        std::string(kLineEnd) + kLineEnd + "    " + subjectLine_ + kLineEnd;
    return Answer(user.mailbox, CutSubjectSubject + subjectLine_, ReplyText(explanation));
}

OutboundTransfer::Outcome OutboundTransfer::Answer(const std::string& to, const std::string& subject,
                                                   const std::string& text) {
    return Reply(to, subject, text) ? Outcome::Answered : Outcome::Kept;
}

std::string OutboundTransfer::ReplyText(const std::string& explanation) const {
    return explanation + kOriginalTextMark + noteText_;
}

bool OutboundTransfer::Reply(const std::string& to, const std::string& subject, const std::string& text) {
    Mapi().Recipient = {to};
    Mapi().CC.clear();
    Mapi().Bcc.clear();
    // The post office keeps no other copy of what the sender attached.
    Mapi().Attachment.clear();
    for (const std::string& path : attachmentFiles_) {
        if (IsFile(path)) Mapi().Attachment.push_back(path);
    }
    Mapi().Subject = subject;
    if (text.size() > ShortString::MaxLength) {
        Mapi().SetLongText(text);
    } else {
        Mapi().ClearLongText();
        Mapi().Text = text;
    }
    const int code = Mapi().SendMail();
    if (code == SUCCESS_SUCCESS) return true;
    Log("The answer to " + to + " could not be put into the post office (MAPI code " + std::to_string(code) +
            "); the message stays in the inbox",
        0);
    return false;
}

void OutboundTransfer::DeleteAttachmentFiles() {
    // The files are ours once read; the post office removes its emptied
    // folders itself.
    for (const std::string& path : attachmentFiles_) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    attachmentFiles_.clear();
}

void OutboundTransfer::DeleteMessage() {
    Log("Deleting Message From MAPI Server", 3);
    const std::string id = Mapi().MessageID;
    const int code = Mapi().DeleteMail();
    if (code == SUCCESS_SUCCESS) return;
    Log("Could not delete the message from the post office (MAPI code " + std::to_string(code) + ")", 0);
    lastKeptId_ = id;
}

}  // namespace qlk
