#include "gateway/InboundTransfer.h"

#include <exception>
#include <system_error>

#include "gateway/Gateway.h"
#include "gateway/TransferDisplay.h"
#include "mapi/MapiCodes.h"
#include "mapi/TEmail.h"
#include "message/TextUtils.h"
#include "platform/EventPump.h"

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

}  // namespace

InboundTransfer::InboundTransfer(Gateway& gateway)
    : gateway_(gateway),
      messageFolder_(gateway.WorkFolder() / Gateway::MessageFolder),
      attachmentFolder_(gateway.WorkFolder() / Gateway::AttachmentFolder) {}

void InboundTransfer::GetUserMail() {
    try {
        TransferMailbox();
    } catch (const std::exception& e) {
        gateway_.Log().WriteLog(std::string("ERROR Checking Mail: ") + e.what(), 0);
    } catch (...) {
        gateway_.Log().WriteLog("ERROR Checking Mail: ", 0);
    }
    EmptyAttachmentFolder();
}

void InboundTransfer::TransferMailbox() {
    StatusLog& log = gateway_.Log();
    TmsRemotePOP& pop = gateway_.POP();
    log.WriteLog("Deleting Artifacts", 3);
    DeleteArtifacts();
    BackToAccountRow();
    log.WriteLog("User " + gateway_.Users().Table().AsString(UserField::Name) + " Logging into " +
                     pop.Server + " as " + pop.UserName,
                 2);
    pop.Connect();
    log.WriteLog("Downloading Message Headers for " + pop.UserName + "@" + pop.Server, 2);
    pop.UpdateInfo();
    log.WriteLog("There are " + std::to_string(pop.RemoteInfo.Count()) +
                     "  message(s) on the server for user " + pop.UserName,
                 2);
    for (int i = 0; i < pop.RemoteInfo.Count() && !gateway_.Cycle().Stopping(); ++i)
        TransferMessage(i, pop.RemoteInfo.Count());
    log.WriteLog("Ending Getusermail loop", 3);
    pop.ProcessMarked();
    pop.Disconnect();
    gateway_.MAPI().Logoff();
}

void InboundTransfer::TransferMessage(int index, int count) {
    StatusLog& log = gateway_.Log();
    TmsRemotePOP& pop = gateway_.POP();
    TmsMessage& message = gateway_.InetMsg();
    TableEngine& users = gateway_.Users().Table();
    log.WriteLog("i = " + std::to_string(index) + " count = " + std::to_string(count), 3);
    gateway_.ResetMessageObjects();
    BackToAccountRow();
    log.WriteLog("Downloading Message " + std::to_string(index + 1) + "/" + std::to_string(count) +
                     " for user " + users.AsString(UserField::Name),
                 2);
    log.WriteLog("Opening POP connection", 3);
    pop.Connect();
    log.WriteLog("Retrieving Message", 3);
    log.WriteLog("Message size : " + std::to_string(pop.RemoteInfo.Items(index).Size), 3);
    pop.Retrieve(index);
    const std::string name = "msg_" + std::to_string(index) + ".eml";
    log.WriteLog(std::string("Loading Message ") + Gateway::MessageFolder + "/" + name, 3);
    message.LoadFromFile(MessageFile(index).string());

    log.WriteLog("Creating New Message for MAPI System", 3);
    const Settings settings = gateway_.CurrentSettings();
    AddRecipients(settings);
    std::string subjectPrefix;
    if (gateway_.MAPI().Recipient.empty()) ForwardManually(settings, subjectPrefix);
    log.WriteLog("Adding Subject : " + message.Subject(), 3);
    gateway_.MAPI().Subject = subjectPrefix + message.Subject();

    log.WriteLog("Copying Message Text", 3);
    std::string text = DeliveryInformation(settings.ShowInternetHeaders);
    AttachFiles(text);
    log.WriteLog("Allocating Text Memory", 3);
    log.WriteLog("Moving Message Body", 3);
    text.pop_back();
    gateway_.MAPI().SetLongText(text);
    const int code = HandOver();
    EmptyAttachmentFolder();
    std::error_code ignored;
    std::filesystem::remove(MessageFile(index), ignored);

    FinishOnServer(index, code);
    gateway_.ShowProgress(0);
    if (code == SUCCESS_SUCCESS) ++gateway_.Cycle().Tally().MessagesReceived;
    ProcessMessages();
}

// Left over from a run that ended early: message files and attachments.
void InboundTransfer::DeleteArtifacts() const {
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

void InboundTransfer::EmptyAttachmentFolder() const {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(attachmentFolder_, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        std::filesystem::remove_all(entry->path(), ignored);
    }
}

void InboundTransfer::AddRecipients(const Settings& settings) {
    TEmail& mapi = gateway_.MAPI();
    if (settings.CCAdmin && !settings.AdminMAPIName.empty()) mapi.Recipient.push_back(settings.AdminMAPIName);
    TableEngine& users = gateway_.Users().Table();
    const std::string mailbox = users.AsString(UserField::Mailbox);
    if (!users.AsBoolean(UserField::Alias)) {
        gateway_.Log().WriteLog("Not a group account, adding " + mailbox, 3);
        mapi.Recipient.push_back(mailbox);
        return;
    }
    ResolveToRecipients();
    ResolveCCRecipients();
}

void InboundTransfer::ResolveToRecipients() {
    StatusLog& log = gateway_.Log();
    TableEngine& users = gateway_.Users().Table();
    TEmail& mapi = gateway_.MAPI();
    const TmsAddressList& entries = gateway_.InetMsg().Recipients();
    log.WriteLog("Searching Through \"To:\" Recipients...", 3);
    for (int e = 0; e < entries.Count(); ++e) {
        const TmsMailAddress& entry = entries.Items(e);
        log.WriteLog("Recipient " + entry.Address.str(), 2);
        for (users.First(); !users.Eof(); users.Next()) {
            if (RowMatches(entry, true)) {
                log.WriteLog("Adding MS Mail recipient " + users.AsString(UserField::Mailbox) + " <" +
                                 users.AsString(UserField::ReturnAddress) + "> ",
                             3);
                mapi.Recipient.push_back(users.AsString(UserField::Mailbox));
            }
            ProcessMessages();
        }
    }
    log.WriteLog("Found " + std::to_string(mapi.Recipient.size()) + " Recipient(s)", 2);
}

void InboundTransfer::ResolveCCRecipients() {
    TableEngine& users = gateway_.Users().Table();
    const TmsAddressList& entries = gateway_.InetMsg().CC();
    gateway_.Log().WriteLog("Searching Through \"CC:\" Recipients...", 3);
    for (int e = 0; e < entries.Count(); ++e) {
        for (users.First(); !users.Eof(); users.Next()) {
            if (RowMatches(entries.Items(e), false)) {
                const std::string& mailbox = users.AsString(UserField::Mailbox);
                gateway_.Log().WriteLog("Adding  CC recipient " + mailbox + " Sending to " + mailbox, 3);
                gateway_.MAPI().Recipient.push_back(mailbox);
            }
            ProcessMessages();
        }
    }
}

// The three rules of the current row against one entry: an ordinary row's
// return address, an alias address, the mailbox name against the display
// name. With LOGMATCHES every rule is tried and each match logged.
bool InboundTransfer::RowMatches(const TmsMailAddress& entry, bool logMatches) {
    StatusLog& log = gateway_.Log();
    const TableEngine& users = gateway_.Users().Table();
    const bool alias = users.AsBoolean(UserField::Alias);
    const std::string& returnAddress = users.AsString(UserField::ReturnAddress);
    const std::string& aliasAddress = users.AsString(UserField::AliasAddress);
    const std::string& mailbox = users.AsString(UserField::Mailbox);
    bool matched = false;
    if (!alias && SameName(returnAddress, entry.Address)) {
        if (!logMatches) return true;
        log.WriteLog("Group Account : 0", 3);
        log.WriteLog(
            "Return Address Match : " + UpperCase(returnAddress) + " = " + UpperCase(entry.Address.str()), 3);
        matched = true;
    }
    if (HasAliasAddress(aliasAddress) && SameName(aliasAddress, entry.Address)) {
        if (!logMatches) return true;
        log.WriteLog(
            "Alias Address Match : " + UpperCase(aliasAddress) + " = " + UpperCase(entry.Address.str()), 3);
        matched = true;
    }
    if (SameName(mailbox, entry.Name)) {
        if (!logMatches) return true;
        log.WriteLog("Name Match : " + UpperCase(mailbox) + " = " + UpperCase(entry.Name.str()), 3);
        matched = true;
    }
    return matched;
}

void InboundTransfer::ForwardManually(const Settings& settings, std::string& subjectPrefix) {
    StatusLog& log = gateway_.Log();
    TableEngine& users = gateway_.Users().Table();
    log.WriteLog("No Users Found : Adding Current User " + users.AsString(UserField::Mailbox), 3);
    BackToAccountRow();
    subjectPrefix = ForwardManuallyPrefix;
    log.WriteLog("No MAPI recipients found", 0);
    const std::string& admin = settings.AdminMAPIName;
    gateway_.MAPI().Recipient.push_back(
        !admin.empty() && admin[0] != ' ' ? admin : users.AsString(UserField::Mailbox));
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
        std::filesystem::create_directory(folder);
        try {
            mapi.Attachment.push_back(message.SaveAttachment(static_cast<std::size_t>(j), folder.string()));
        } catch (const std::exception&) {
            text += "*** ERROR ***\rBad Attachment : " + item.FileName() + "\rSaved as 'bad.bad'\r";
            item.SetFileName(BadAttachmentName);
            mapi.Attachment.push_back(message.SaveAttachment(static_cast<std::size_t>(j), folder.string()));
        }
        ++gateway_.Cycle().Tally().AttachmentsDownloaded;
    }
}

// 0 when the post office took the message: log-on and sending both succeeded.
int InboundTransfer::HandOver() {
    StatusLog& log = gateway_.Log();
    TEmail& mapi = gateway_.MAPI();
    log.WriteLog("Adding Attachments", 3);
    log.WriteLog("Checking MS Mail Connection...", 3);
    log.WriteLog("Forwarding Message to Mailbox", 3);
    log.WriteLog("Logging On", 3);
    int code = mapi.Logon();
    if (code == SUCCESS_SUCCESS) {
        log.WriteLog("Sending", 3);
        code = mapi.SendMail();
    }
    log.WriteLog("Freeing Mem", 3);
    return code;
}

// A message the post office did not take stays on the server for the next
// cycle, whatever the row says about deleting.
void InboundTransfer::FinishOnServer(int index, int handOverCode) {
    StatusLog& log = gateway_.Log();
    BackToAccountRow();
    const std::string number = std::to_string(index + 1);
    if (handOverCode != SUCCESS_SUCCESS) {
        log.WriteLog("Message " + number + " was not delivered to the post office (MAPI error " +
                         std::to_string(handOverCode) + "); it stays on the server",
                     0);
    } else if (gateway_.Users().Table().AsBoolean(UserField::DeleteMail)) {
        log.WriteLog("Deleting Message " + number + " from Internet POP Server", 3);
        gateway_.POP().Delete(index);
    } else {
        log.WriteLog("Leaving Message " + number + " on Internet POP Server", 3);
    }
}

void InboundTransfer::BackToAccountRow() {
    gateway_.Users().Table().MoveTo(gateway_.Cycle().UserRow);
}

std::filesystem::path InboundTransfer::MessageFile(int index) const {
    return messageFolder_ / ("msg_" + std::to_string(index) + ".eml");
}

}  // namespace qlk
