#include "gateway/InboundTransfer.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <system_error>

#include "gateway/Gateway.h"
#include "gateway/RememberedMessages.h"
#include "gateway/TransferDisplay.h"
#include "mapi/MapiCodes.h"
#include "mapi/TEmail.h"
#include "message/TextUtils.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

constexpr char CR = '\r';

// The whole texts are compared after ASCII upper-casing; an empty text names
// nobody, so a nameless entry never lands in every row that lacks a value.
bool SameName(const std::string& a, const std::string& b) {
    return !a.empty() && UpperCase(a) == UpperCase(b);
}

bool HasAliasAddress(const std::string& aliasAddress) {
    return !aliasAddress.empty() && aliasAddress != " ";
}

// The reason an error gives, never empty.
std::string ReasonOf(const std::exception& error) {
    const std::string text = error.what();
    if (!text.empty()) return text;
    const auto* typed = dynamic_cast<const Exception*>(&error);
    return typed && typed->Kind() == ErrorKind::ConnectionLost ? "the connection to the server was lost"
                                                                 : "unknown error";
}

std::string MapiError(int code) {
    return "MAPI error " + std::to_string(code);
}

}  // namespace

InboundTransfer::InboundTransfer(Gateway& gateway)
    : gateway_(gateway),
      messageFolder_(gateway.WorkFolder() / Gateway::MessageFolder),
      attachmentFolder_(gateway.WorkFolder() / Gateway::AttachmentFolder) {}

void InboundTransfer::GetUserMail() {
    try {
        TransferMailbox();
    } catch (const std::exception& e) {
        gateway_.Log().WriteLog("ERROR Checking Mail: " + ReasonOf(e), 0);
        TmsRemotePOP& pop = gateway_.POP();
        if (pop.TimedOut())
            gateway_.Log().WriteLog("The POP3 session with " + pop.Server + " for user " + pop.UserName +
                                        " ran out of time; the cycle goes on with the next user",
                                    0);
    } catch (...) {
        gateway_.Log().WriteLog("ERROR Checking Mail: unknown error", 0);
    }
    EmptyAttachmentFolder();
}

void InboundTransfer::TransferMailbox() {
    StatusLog& log = gateway_.Log();
    TmsRemotePOP& pop = gateway_.POP();
    log.WriteLog("Deleting Artifacts", 3);
    DeleteArtifacts();
    account_ = gateway_.Cycle().CurrentUser();
    log.WriteLog("User " + account_.name + " Logging into " + pop.Server + " as " + pop.UserName, 2);
    pop.OnDeleteRefused = [this](int index, const std::string& reason) { DeleteRefused(index, reason); };
    RememberedMessages remembered(gateway_.WorkFolder(), pop.Server, pop.UserName);
    FinishInterruptedDeliveries(remembered);
    pop.Connect();
    log.WriteLog("Downloading Message Headers for " + pop.UserName + "@" + pop.Server, 2);
    const Settings settings = gateway_.CurrentSettings();
    // Messages delivered before and left on the server come first in the
    // listing at every cycle: the bound counts only the others, or a row
    // that keeps its mail would never get past them.
    pop.MaxMessages = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(settings.MaxMessagesPerSession) + remembered.Count(), INT_MAX));
    pop.KeepCopies = settings.KeepMessageCopies;
    listedUids_ = pop.ListMessages();
    ForgetDeletedMessages(remembered);
    log.WriteLog("There are " + std::to_string(pop.RemoteInfo.Count() + pop.MessagesLeftForLater()) +
                     "  message(s) on the server for user " + pop.UserName,
                 2);
    if (pop.MessagesLeftForLater() > 0)
        log.WriteLog("Only the first " + std::to_string(pop.RemoteInfo.Count()) +
                         " of them are fetched in this cycle; the other " +
                         std::to_string(pop.MessagesLeftForLater()) + " wait for the next",
                     1);
    try {
        for (int i = 0; i < pop.RemoteInfo.Count() && !gateway_.Cycle().Stopping(); ++i) {
            TransferMessage(i, pop.RemoteInfo.Count(), remembered);
            if (BatchDue()) CommitBatch(remembered, true);
            log.Flush();
        }
        CommitBatch(remembered, true);
    } catch (...) {
        // What is staged is delivered all the same; the next session deletes
        // it on the server as a message delivered before.
        CommitBatch(remembered, false);
        throw;
    }
    log.WriteLog("Ending Getusermail loop", 3);
    gateway_.MAPI().Logoff();
}

// A delivery that a crash interrupted after its ID was remembered: its
// copies are committed now, before the server is asked anything.
void InboundTransfer::FinishInterruptedDeliveries(RememberedMessages& remembered) {
    const std::vector<std::string> unfinished = remembered.Unfinished();
    // Each of these commits is synced on its own.
    if (!unfinished.empty()) gateway_.MAPI().SetBatched(false);
    for (const std::string& uid : unfinished) {
        const StagedMail copies = remembered.Find(uid)->Copies;
        if (!CommitCopies(remembered.StagingKey(uid), copies, "Message ID " + uid)) continue;
        remembered.Complete(uid);
        gateway_.Log().WriteLog("Finished the interrupted delivery of message ID " + uid, 1);
    }
}

// Only a complete listing of unique IDs tells which messages are gone: a
// listing cut at the session's bound keeps every remembered ID.
void InboundTransfer::ForgetDeletedMessages(RememberedMessages& remembered) {
    TmsRemotePOP& pop = gateway_.POP();
    if (pop.MessagesLeftForLater() > 0) return;
    if (!listedUids_) {
        if (gateway_.Cycle().FirstTimeThisCycle("no UIDL " + pop.Server))
            gateway_.Log().WriteLog(pop.Server + " gives no message IDs (UIDL): messages left on it are "
                                                 "delivered again at every cycle",
                                    1);
        return;
    }
    std::vector<std::string> listed;
    for (int i = 0; i < pop.RemoteInfo.Count(); ++i)
        if (!pop.RemoteInfo.Items(i).UIDL.empty()) listed.push_back(pop.RemoteInfo.Items(i).UIDL);
    remembered.KeepOnly(listed);
}

void InboundTransfer::TransferMessage(int index, int count, RememberedMessages& remembered) {
    StatusLog& log = gateway_.Log();
    const TmsRemoteInfoItem& item = gateway_.POP().RemoteInfo.Items(index);
    const std::string number = std::to_string(index + 1);
    log.WriteLog("i = " + std::to_string(index) + " count = " + std::to_string(count), 3);
    gateway_.ResetMessageObjects();
    log.WriteLog("Downloading Message " + number + "/" + std::to_string(count) + " for user " + account_.name, 2);
    const std::string& uid = item.UIDL;
    if (const RememberedMessages::Delivery* delivery = uid.empty() ? nullptr : remembered.Find(uid)) {
        if (!delivery->Complete) {
            LeaveOnServer(index, "is not yet in every mailbox it was delivered to");
            return;
        }
        log.WriteLog("Message " + number + " was delivered before", 3);
        FinishOnServer(index);
        return;
    }
    const Settings settings = gateway_.CurrentSettings();
    if (item.Size > settings.MessageSizeLimit) {
        LeaveOnServer(index, "is larger than the limit (" + std::to_string(item.Size) + " bytes, at most " +
                                 std::to_string(settings.MessageSizeLimit) + ")");
        return;
    }
    if (uid.empty() && listedUids_)
        log.WriteLog("Message " + number + " has no usable message ID: it is handled as on a server without UIDL",
                     1);
    Fetched fetched;
    if (Retrieve(index, settings, remembered, fetched) && PrepareDelivery(index, settings, std::move(fetched)))
        Stage(index, uid, remembered);
    if (attachmentsSaved_) EmptyAttachmentFolder();
    gateway_.ShowProgress(0);
    ProcessMessages();
}

// Only Permanent refusals concern this message alone; anything else (a lost
// connection, a time-out, a broken bound) ends the user's run.
bool InboundTransfer::Retrieve(int index, const Settings& settings, RememberedMessages& remembered,
                               Fetched& fetched) {
    StatusLog& log = gateway_.Log();
    TmsRemotePOP& pop = gateway_.POP();
    log.WriteLog("Opening POP connection", 3);
    // A new session could number the messages otherwise than the listing.
    if (!pop.Connected())
        throw Exception("The connection to the POP3 server was lost", ErrorKind::ConnectionLost);
    log.WriteLog("Retrieving Message", 3);
    log.WriteLog("Message size : " + std::to_string(pop.RemoteInfo.Items(index).Size), 3);
    try {
        FetchAhead(index, settings, remembered);
        if (pop.RemoteInfo.Items(index).Size >= TmsRemotePOP::FileFrom)
            fetched.file = pop.FetchToFile(index);
        else
            fetched.text = pop.Fetch(index);
    } catch (const Exception& e) {
        if (e.Kind() != ErrorKind::Permanent) throw;
        LeaveOnServer(index, "was not retrieved (" + ReasonOf(e) + ")");
        return false;
    }
    return true;
}

// Decodes the message and fills the post-office message; false (logged)
// when any of it fails.
bool InboundTransfer::PrepareDelivery(int index, const Settings& settings, Fetched fetched) {
    StatusLog& log = gateway_.Log();
    TmsMessage& message = gateway_.InetMsg();
    TEmail& mapi = gateway_.MAPI();
    try {
        if (settings.KeepMessageCopies || !fetched.file.empty())
            log.WriteLog(std::string("Loading Message ") + Gateway::MessageFolder + "/" +
                             MessageFile(index).filename().string(),
                         3);
        else
            log.WriteLog("Loading Message " + std::to_string(index + 1), 3);
        LoadMessage(std::move(fetched), settings.KeepMessageCopies);
        log.WriteLog("Creating New Message for MAPI System", 3);
        rows_ = gateway_.Users().Table().Rows();
        const std::string subjectPrefix = AddRecipients(settings) ? std::string() : ForwardManually(settings);
        log.WriteLog("Adding Subject : " + message.Subject(), 3);
        mapi.Subject = subjectPrefix + message.Subject();
        log.WriteLog("Copying Message Text", 3);
        std::string note = DeliveryInformation(settings.ShowInternetHeaders);
        AttachFiles(note);
        log.WriteLog("Allocating Text Memory", 3);
        log.WriteLog("Moving Message Body", 3);
        note.pop_back();
        mapi.SetLongText(note);
    } catch (const std::exception& e) {
        LeaveOnServer(index, "could not be read (" + ReasonOf(e) + ")");
        return false;
    }
    return true;
}

// A message fetched into a file is read in place, its pages given back as
// they are decoded; the file goes once read, unless copies are kept.
void InboundTransfer::LoadMessage(Fetched fetched, bool keepFile) {
    TmsMessage& message = gateway_.InetMsg();
    if (fetched.file.empty()) {
        message.LoadFromText(std::move(fetched.text));
        return;
    }
    std::exception_ptr failure;
    try {
        message.LoadFromFile(fetched.file.string());
    } catch (...) {
        failure = std::current_exception();
    }
    std::error_code ignored;
    if (!keepFile) std::filesystem::remove(fetched.file, ignored);
    if (failure) std::rethrow_exception(failure);
}

// Staged, remembered, then committed: a crash before the ID is remembered
// leaves nothing visible and the message is delivered again; a crash after
// it leaves a delivery that the next run finishes. A message without an ID
// has no such guarantee. Here the copies are only written: the batch makes
// them durable (CommitBatch).
bool InboundTransfer::Stage(int index, const std::string& uid, RememberedMessages& remembered) {
    StatusLog& log = gateway_.Log();
    TEmail& mapi = gateway_.MAPI();
    log.WriteLog("Adding Attachments", 3);
    log.WriteLog("Checking MS Mail Connection...", 3);
    log.WriteLog("Forwarding Message to Mailbox", 3);
    log.WriteLog("Logging On", 3);
    int code = mapi.Logon();
    StagedMail staged;
    const std::string key = remembered.StagingKey(uid.empty() ? "message " + std::to_string(index + 1) : uid);
    if (code == SUCCESS_SUCCESS) {
        log.WriteLog("Sending", 3);
        mapi.SetBatched(true);
        code = mapi.StageMail(key, staged);
    }
    if (code != SUCCESS_SUCCESS) {
        LeaveOnServer(index, "was not delivered to the post office (" + MapiError(code) + ")");
        return false;
    }
    std::string mailboxes;
    for (const std::string& mailbox : staged.Mailboxes) mailboxes += (mailboxes.empty() ? "" : ", ") + mailbox;
    log.WriteLog("Written for " + mailboxes, 3);
    if (batch_.empty()) batchStarted_ = std::chrono::steady_clock::now();
    batch_.push_back({index, uid, key, std::move(staged)});
    log.WriteLog("Freeing Mem", 3);
    return true;
}

bool InboundTransfer::BatchDue() const {
    return batch_.size() >= BatchMessages ||
           (!batch_.empty() && std::chrono::steady_clock::now() - batchStarted_ >= BatchTime);
}

// The batch's one durability point, in the order that keeps every message
// exactly once: the staged copies synced, the IDs remembered (synced), the
// copies committed and synced, and only then the DELEs. A message whose
// step fails stays on the server (or, once remembered, waits for a later
// run to finish it).
void InboundTransfer::CommitBatch(RememberedMessages& remembered, bool finishOnServer) {
    if (batch_.empty()) return;
    const std::vector<StagedDelivery> batch = std::move(batch_);
    batch_.clear();
    StatusLog& log = gateway_.Log();
    TEmail& mapi = gateway_.MAPI();
    if (const int code = mapi.SyncDeliveries(); code != SUCCESS_SUCCESS) {
        for (const StagedDelivery& d : batch)
            LeaveOnServer(d.index, "was not delivered to the post office (" + MapiError(code) + ")");
        return;
    }
    std::vector<std::pair<std::string, StagedMail>> begun;
    for (const StagedDelivery& d : batch)
        if (!d.uid.empty()) begun.emplace_back(d.uid, d.staged);
    remembered.BeginAll(begun);
    for (const auto& [uid, staged] : begun) log.WriteLog("Message ID " + uid + " remembered", 3);
    std::vector<const StagedDelivery*> committed;
    for (const StagedDelivery& d : batch)
        if (CommitCopies(d.stagingKey, d.staged, "Message " + std::to_string(d.index + 1)))
            committed.push_back(&d);
    const int synced = mapi.SyncDeliveries();
    mapi.SetBatched(false);
    if (synced != SUCCESS_SUCCESS) {
        log.WriteLog("The post office could not make this batch's deliveries durable (" + MapiError(synced) +
                         "); they stay on the server and are finished later",
                     0);
        return;
    }
    for (const StagedDelivery* d : committed) {
        if (!d->uid.empty()) remembered.Complete(d->uid);
        ++gateway_.Cycle().Tally().MessagesReceived;
    }
    if (!finishOnServer) return;
    for (const StagedDelivery* d : committed) FinishOnServer(d->index);
}

// Puts every staged copy into its mailbox; a copy committed before is passed
// over. False (logged) when one of them cannot be committed: it waits, and
// the message stays on the server, until a later run commits it.
bool InboundTransfer::CommitCopies(const std::string& stagingKey, const StagedMail& staged,
                                   const std::string& what) {
    TEmail& mapi = gateway_.MAPI();
    for (std::size_t copy = 0; copy < staged.Mailboxes.size(); ++copy) {
        const std::string& mailbox = staged.Mailboxes[copy];
        const int code = mapi.CommitStaged(stagingKey, copy, mailbox, staged.UniqueName);
        if (code != SUCCESS_SUCCESS) {
            gateway_.Log().WriteLog(what + " could not be put into the mailbox " + mailbox + " (" +
                                        MapiError(code) + "); it stays on the server and is tried again",
                                    0);
            return false;
        }
        gateway_.Log().WriteLog("Delivered to " + mailbox, 3);
    }
    return true;
}

// A message the post office holds: deleted on the server when the row says
// so. A refused DELE leaves it there for the next session to delete.
void InboundTransfer::FinishOnServer(int index) {
    StatusLog& log = gateway_.Log();
    const std::string number = std::to_string(index + 1);
    if (!account_.deleteMail) {
        log.WriteLog("Leaving Message " + number + " on Internet POP Server", 3);
        return;
    }
    log.WriteLog("Deleting Message " + number + " from Internet POP Server", 3);
    try {
        gateway_.POP().DeleteQueued(index);
    } catch (const Exception& e) {
        if (e.Kind() != ErrorKind::Permanent) throw;
        DeleteRefused(index, ReasonOf(e));
    }
}

void InboundTransfer::DeleteRefused(int index, const std::string& reason) {
    gateway_.Log().WriteLog(
        "Message " + std::to_string(index + 1) + " could not be deleted on the server (" + reason + ")", 0);
}

// With a server that pipelines, the RETRs of the messages that come next go
// out now, so that their bytes travel while this one is handled.
void InboundTransfer::FetchAhead(int index, const Settings& settings, const RememberedMessages& remembered) {
    TmsRemotePOP& pop = gateway_.POP();
    if (!pop.OffersPipelining()) return;
    // In order: a RETR that does not fit the window now holds back the ones
    // after it, which would otherwise arrive before it and be read away.
    for (int next = index; next < pop.RemoteInfo.Count(); ++next) {
        const TmsRemoteInfoItem& item = pop.RemoteInfo.Items(next);
        if (item.Size > settings.MessageSizeLimit || (!item.UIDL.empty() && remembered.Find(item.UIDL)))
            continue;
        if (!pop.FetchAhead(next)) return;
    }
}

void InboundTransfer::LeaveOnServer(int index, const std::string& why) {
    gateway_.Log().WriteLog("Message " + std::to_string(index + 1) + " " + why + "; it stays on the server", 0);
}

// Left over from a run that ended early: message files and attachments.
void InboundTransfer::DeleteArtifacts() {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(messageFolder_, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.rfind("msg_", 0) == 0 && entry->path().extension() == ".eml") {
            std::error_code ignored;
            std::filesystem::remove(entry->path(), ignored);
        }
    }
    EmptyAttachmentFolder();
}

void InboundTransfer::EmptyAttachmentFolder() {
    attachmentsSaved_ = false;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(attachmentFolder_, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        std::filesystem::remove_all(entry->path(), ignored);
    }
}

// True when the message has a recipient from the table: an ordinary
// account's own mailbox, or a row an alias account's entries name. The
// administrator's copy comes first and does not count.
bool InboundTransfer::AddRecipients(const Settings& settings) {
    TEmail& mapi = gateway_.MAPI();
    if (settings.CCAdmin && !settings.AdminMAPIName.empty()) mapi.Recipient.push_back(settings.AdminMAPIName);
    if (!account_.alias) {
        gateway_.Log().WriteLog("Not a group account, adding " + account_.mailbox, 3);
        mapi.Recipient.push_back(account_.mailbox);
        return true;
    }
    const bool to = ResolveToRecipients();
    const bool cc = ResolveCCRecipients();
    return to || cc;
}

bool InboundTransfer::ResolveToRecipients() {
    StatusLog& log = gateway_.Log();
    TEmail& mapi = gateway_.MAPI();
    const TmsAddressList& entries = gateway_.InetMsg().Recipients();
    bool matched = false;
    log.WriteLog("Searching Through \"To:\" Recipients...", 3);
    for (int e = 0; e < entries.Count(); ++e) {
        const TmsMailAddress& entry = entries.Items(e);
        log.WriteLog("Recipient " + entry.Address.str(), 2);
        for (const UserRecord& row : rows_) {
            if (RowMatches(row, entry, true)) {
                log.WriteLog("Adding MS Mail recipient " + row.mailbox + " <" + row.returnAddress + "> ", 3);
                mapi.Recipient.push_back(row.mailbox);
                matched = true;
            }
            ProcessMessages();
        }
    }
    log.WriteLog("Found " + std::to_string(mapi.Recipient.size()) + " Recipient(s)", 2);
    return matched;
}

bool InboundTransfer::ResolveCCRecipients() {
    const TmsAddressList& entries = gateway_.InetMsg().CC();
    bool matched = false;
    gateway_.Log().WriteLog("Searching Through \"CC:\" Recipients...", 3);
    for (int e = 0; e < entries.Count(); ++e) {
        for (const UserRecord& row : rows_) {
            if (RowMatches(row, entries.Items(e), false)) {
                gateway_.Log().WriteLog("Adding  CC recipient " + row.mailbox + " Sending to " + row.mailbox, 3);
                gateway_.MAPI().Recipient.push_back(row.mailbox);
                matched = true;
            }
            ProcessMessages();
        }
    }
    return matched;
}

// The three rules of a row against one entry: an ordinary row's return
// address, an alias address, the mailbox name against the display name.
// With LOGMATCHES every rule is tried and each match logged.
bool InboundTransfer::RowMatches(const UserRecord& row, const TmsMailAddress& entry, bool logMatches) {
    StatusLog& log = gateway_.Log();
    bool matched = false;
    if (!row.alias && SameName(row.returnAddress, entry.Address)) {
        if (!logMatches) return true;
        log.WriteLog("Group Account : 0", 3);
        log.WriteLog(
            "Return Address Match : " + UpperCase(row.returnAddress) + " = " + UpperCase(entry.Address.str()), 3);
        matched = true;
    }
    if (HasAliasAddress(row.aliasAddress) && SameName(row.aliasAddress, entry.Address)) {
        if (!logMatches) return true;
        log.WriteLog(
            "Alias Address Match : " + UpperCase(row.aliasAddress) + " = " + UpperCase(entry.Address.str()), 3);
        matched = true;
    }
    if (SameName(row.mailbox, entry.Name)) {
        if (!logMatches) return true;
        log.WriteLog("Name Match : " + UpperCase(row.mailbox) + " = " + UpperCase(entry.Name.str()), 3);
        matched = true;
    }
    return matched;
}

// No table row matched: the message goes for manual forwarding to the
// administrator (once, even with the administrator's copy on), or to the
// account's own mailbox when no administrator is named.
std::string InboundTransfer::ForwardManually(const Settings& settings) {
    StatusLog& log = gateway_.Log();
    log.WriteLog("No Users Found : Adding Current User " + account_.mailbox, 3);
    log.WriteLog("No MAPI recipients found", 0);
    const std::string& admin = settings.AdminMAPIName;
    const std::string target = !admin.empty() && admin[0] != ' ' ? admin : account_.mailbox;
    std::vector<std::string>& recipients = gateway_.MAPI().Recipient;
    if (std::find(recipients.begin(), recipients.end(), target) == recipients.end()) recipients.push_back(target);
    return ForwardManuallyPrefix;
}

std::string InboundTransfer::DeliveryInformation(bool showHeaders) const {
    const TmsMessage& message = gateway_.InetMsg();
    std::string text;
    for (const std::string& line : message.Body()) text += line + "\r\n";
    text += "\r\r";
    text += "--- The Following Information Was Added By QLK ---\r";
    text += "From: " + message.Sender().Name.str() + " <" + message.Sender().Address.str() + ">\r";
    text += "To Recipients: ";
    for (int i = 0; i < message.Recipients().Count(); ++i)
        text += message.Recipients().Items(i).Address.str() + "; ";
    text += CR;
    text += "CC Recipients: ";
    for (int i = 0; i < message.CC().Count(); ++i) text += message.CC().Items(i).Address.str() + "; ";
    text += CR;
    text += "Original Send Time: " + message.Headers().GetFieldValue("Date") + CR;
    text += "Original Subject: " + message.Subject() + "\r\r";
    if (showHeaders) {
        text += "Original Internet Headers Follow :\r";
        for (const std::string& line : message.Headers()) text += line + CR;
    }
    return text;
}

// Each attachment goes into a folder of its own under QLKATT/, so that two
// that need the same name (two "Bad.bad" among them) never overwrite each
// other, and the name the recipient sees stays the mail's own.
void InboundTransfer::AttachFiles(std::string& text) {
    TmsMessage& message = gateway_.InetMsg();
    TEmail& mapi = gateway_.MAPI();
    for (int j = 0; j < message.Attachments().Count(); ++j) {
        TmsAttItem& item = message.Attachments().Items(j);
        gateway_.Log().WriteLog("Adding Attachment  : " + item.FileName(), 3);
        const std::filesystem::path folder = attachmentFolder_ / std::to_string(j + 1);
        attachmentsSaved_ = true;
        std::filesystem::create_directory(folder);
        try {
            mapi.Attachment.push_back(message.SaveAttachment(static_cast<std::size_t>(j), folder.string()));
        } catch (const std::exception&) {
            text += "*** ERROR ***\rBad Attachment : " + item.FileName() + "\rSaved as 'bad.bad'\r";
            item.SetFileName(BadAttachmentName);
            mapi.Attachment.push_back(message.SaveAttachment(static_cast<std::size_t>(j), folder.string()));
        }
        // The file holds the bytes now; keeping them too would hold a large
        // attachment twice while the post office reads it back.
        std::string().swap(item.Data);
        ++gateway_.Cycle().Tally().AttachmentsDownloaded;
    }
}

std::filesystem::path InboundTransfer::MessageFile(int index) const {
    return messageFolder_ / ("msg_" + std::to_string(index) + ".eml");
}

}  // namespace qlk
