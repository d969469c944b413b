#include "mapi/PostOfficeMessage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <ostream>
#include <set>
#include <utility>

#include "mapi/MaildirLineEndWriter.h"
#include "mapi/MapiCodes.h"
#include "mapi/PostOffice.h"
#include "message/Charsets.h"
#include "message/FileNames.h"
#include "message/MailDate.h"
#include "message/QuotedPrintable.h"
#include "message/TLineStream.h"
#include "message/TextUtils.h"
#include "message/TmsMessage.h"
#include "platform/EFOpenError.h"
#include "platform/WriteAll.h"

namespace qlk {

namespace {

bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 32 && byte < 127) || c == '\t' || c == '\r' || c == '\n';
    });
}

std::string ReceivedText(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {};
    std::tm local{};
    ::localtime_r(&info.st_mtime, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", &local);
    return text;
}

// The mailbox an address names: ours map back to their mailbox; messages
// written before mailboxes had addresses carry the name alone ("Name <>").
std::string DisplayName(const TmsMailAddress& address) {
    if (std::optional<std::string> mailbox = PostOfficeMessage::MailboxOf(address.Address.str()))
        return *mailbox;
    return address.Name.empty() ? address.Address.str() : address.Name.str();
}

void AddRecipients(const TmsAddressList& list, int recipClass, std::vector<MapiRecipient>& recips) {
    for (int i = 0; i < list.Count(); ++i) recips.push_back({recipClass, DisplayName(list.Items(i)), {}});
}

// A name not used yet in this message's folder.
std::string DistinctName(const std::string& name, std::set<std::string>& used) {
    std::string candidate = name;
    for (int n = 2; !used.insert(candidate).second; ++n)
        candidate = SafeFileName(std::to_string(n) + "_" + name);
    return candidate;
}

int WriteAttachments(const TmsMessage& stored, std::uint32_t flags, MapiMessage& message,
                     AttachmentFolders& folders) {
    const TmsAttList& attachments = stored.Attachments();
    std::vector<AttachmentFolders::File> files;
    std::set<std::string> used;
    for (int i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        const std::string name = SafeFileName(item.FileName());
        message.Files.push_back({kNotInText, {}, name});
        files.push_back({DistinctName(name, used), &item.Data});
    }
    if (files.empty() || (flags & MAPI_SUPPRESS_ATTACH) != 0) return SUCCESS_SUCCESS;
    const std::optional<std::vector<std::filesystem::path>> paths = folders.Write(files);
    if (!paths) return MAPI_E_ATTACHMENT_WRITE_FAILURE;
    for (std::size_t i = 0; i < paths->size(); ++i) message.Files[i].PathName = (*paths)[i].string();
    return SUCCESS_SUCCESS;
}

}  // namespace

std::string PostOfficeMessage::AddressOf(std::string_view mailbox) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string local;
    for (char c : mailbox) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-') {
            local += c;
        } else if (c == ' ') {
            local += '_';
        } else {
            local += '=';
            local += kHex[byte >> 4];
            local += kHex[byte & 15];
        }
    }
    return local + "@" + std::string(kMailboxDomain);
}

std::optional<std::string> PostOfficeMessage::MailboxOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0 || !SameText(address.substr(at + 1), kMailboxDomain))
        return std::nullopt;
    std::string local(address.substr(0, at));
    std::replace(local.begin(), local.end(), '_', ' ');
    const std::string mailbox = HexEscapesDecoded(local, '=');
    if (!PostOffice::IsValidMailboxName(mailbox)) return std::nullopt;
    return mailbox;
}

std::vector<std::string> PostOfficeMessage::NoteLines(const std::string& text) {
    std::vector<std::string> lines;
    LoadTextLines(text, lines);
    return lines;
}

namespace {

// The message as the library writes it (Maildir files end their lines with
// LF alone; every CR LF the encoder writes is a line end, since the lines it
// writes hold no CR or LF of their own), with room counted for its text
// (base64 writes 78 bytes for every 57, quoted-printable at most 3 for 1).
std::size_t BuildMail(TmsMessage& mail, const MapiMessage& message, const std::string& sender,
                      std::vector<PostOfficeMessage::Attachment> attachments, std::time_t date) {
    mail.Sender() = TmsMailAddress(PostOfficeMessage::AddressOf(sender), sender);
    for (const MapiRecipient& recipient : message.Recips) {
        const std::string address = PostOfficeMessage::AddressOf(recipient.Name);
        if (recipient.RecipClass == MAPI_TO) mail.Recipients().AddAddress(address, recipient.Name);
        if (recipient.RecipClass == MAPI_CC) mail.CC().AddAddress(address, recipient.Name);
        if (recipient.RecipClass == MAPI_BCC) mail.BCC().AddAddress(address, recipient.Name);
    }
    mail.SetSubject(message.Subject.value_or(""));
    mail.Headers().Add("Date: " + MailDate(date));
    mail.SetReturnReceipt((message.Flags & MAPI_RECEIPT_REQUESTED) != 0);
    const std::string note = message.NoteText.value_or("");
    mail.Body() = PostOfficeMessage::NoteLines(note);
    mail.SetCharSet(IsPlainAscii(note) ? csUSASCII : IsValidUtf8(note) ? csUTF8 : csISO8859);
    std::size_t room = 64 * 1024 + note.size() * 3;
    TmsAttList list;
    for (PostOfficeMessage::Attachment& attachment : attachments) {
        room += attachment.Data.size() / 57 * 78 + 80 + attachment.FileName.size() * 3;
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(attachment.FileName);
        // Base64 for every file, so that no line end of a text file changes.
        item->Encoding = aeBase64;
        item->Data = std::move(attachment.Data);
        list.Add(std::move(item));
    }
    mail.SetAttachments(std::move(list));
    return room;
}

// Writes the message with Maildir line ends to SINK; false when it refused.
bool WriteMail(TmsMessage& mail, MaildirLineEndWriter::Sink sink) {
    MaildirLineEndWriter writer(std::move(sink));
    std::ostream stream(&writer);
    mail.SaveToStream(stream);
    return writer.Finish();
}

}  // namespace

std::string PostOfficeMessage::Compose(const MapiMessage& message, const std::string& sender,
                                       std::vector<Attachment> attachments, std::time_t date) {
    TmsMessage mail;
    std::string text;
    // Room for the whole text up front: grown by doubling, the text of a
    // large attachment would be held nearly twice at the moment it moves.
    text.reserve(BuildMail(mail, message, sender, std::move(attachments), date));
    WriteMail(mail, [&text](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

bool PostOfficeMessage::ComposeInto(int fd, const MapiMessage& message, const std::string& sender,
                                    std::vector<Attachment> attachments, std::time_t date) {
    TmsMessage mail;
    BuildMail(mail, message, sender, std::move(attachments), date);
    return WriteMail(mail, [fd](std::string_view piece) { return WriteAll(fd, piece); });
}

int PostOfficeMessage::Read(const std::filesystem::path& file, std::uint32_t flags, MapiMessage& message,
                            AttachmentFolders& attachmentFolders) {
    TmsMessage stored;
    stored.KeepBodyBytes = true;  // the note text comes back as it was sent
    try {
        stored.LoadFromFile(file.string());
    } catch (const EFOpenError&) {
        return MAPI_E_INVALID_MESSAGE;
    } catch (const std::exception&) {
        return MAPI_E_FAILURE;
    }
    message = {};
    // The whole line: a subject that carries Internet recipients may be long.
    message.Subject = stored.Headers().GetWholeFieldValue("Subject");
    message.DateReceived = ReceivedText(file);
    message.Originator =
        MapiRecipient{MAPI_ORIG, DisplayName(stored.Sender()), stored.Sender().Address.str()};
    AddRecipients(stored.Recipients(), MAPI_TO, message.Recips);
    AddRecipients(stored.CC(), MAPI_CC, message.Recips);
    if (stored.ReturnReceipt()) message.Flags |= MAPI_RECEIPT_REQUESTED;
    if ((flags & MAPI_ENVELOPE_ONLY) != 0) return SUCCESS_SUCCESS;
    std::string note;
    const std::vector<std::string>& body = stored.Body();
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (i > 0) note += "\r\n";
        note += body[i];
    }
    message.NoteText = std::move(note);
    return WriteAttachments(stored, flags, message, attachmentFolders);
}

}  // namespace qlk
