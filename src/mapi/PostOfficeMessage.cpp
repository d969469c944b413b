#include "mapi/PostOfficeMessage.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <set>
#include <sstream>

#include "mapi/MapiCodes.h"
#include "message/FileNames.h"
#include "message/QuotedPrintable.h"
#include "message/TLineStream.h"
#include "message/TmsMessage.h"
#include "platform/EFOpenError.h"

namespace qlk {

namespace {

bool NeedsQuotes(std::string_view name) {
    return name.find_first_of("()<>@,;:\\\".[]") != std::string_view::npos;
}

// A display name as a header phrase: quoted, with "\" and quotes escaped,
// when it holds characters that would otherwise split or end it.
std::string Phrase(std::string_view name) {
    if (!NeedsQuotes(name)) return std::string(name);
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Unescaped(std::string_view name) {
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) ++i;
        text += name[i];
    }
    return text;
}

bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 32 && byte < 127) || c == '\t' || c == '\r' || c == '\n';
    });
}

std::string RfcDate(std::time_t date) {
    std::tm local{};
    ::localtime_r(&date, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
    return text;
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

std::string DisplayName(const TmsMailAddress& address) {
    return Unescaped(address.Name.empty() ? address.Address.str() : address.Name.str());
}

void AddRecipients(const TmsAddressList& list, int recipClass, std::vector<MapiRecipient>& recips) {
    for (int i = 0; i < list.Count(); ++i) recips.push_back({recipClass, DisplayName(list.Items(i)), {}});
}

// A name not used yet in this message's folder.
std::string DistinctName(const std::string& name, std::set<std::string>& used) {
    std::string candidate = name;
    for (int n = 2; !used.insert(candidate).second; ++n) candidate = std::to_string(n) + "_" + name;
    return candidate;
}

int WriteAttachments(const TmsMessage& stored, std::uint32_t flags, MapiMessage& message,
                     AttachmentFolders& folders) {
    const TmsAttList& attachments = stored.Attachments();
    std::vector<AttachmentFolders::File> files;
    std::set<std::string> used;
    for (int i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        const std::string name = SafeFileName(item.FileName().str());
        message.Files.push_back({kNotInText, {}, name});
        files.push_back({DistinctName(name, used), &item.Data});
    }
    if (files.empty() || (flags & MAPI_SUPPRESS_ATTACH) != 0) return SUCCESS_SUCCESS;
    const std::optional<std::vector<std::filesystem::path>> paths = folders.Write(files);
    if (!paths) return MAPI_E_ATTACHMENT_WRITE_FAILURE;
    for (std::size_t i = 0; i < paths->size(); ++i) message.Files[i].PathName = (*paths)[i].string();
    return SUCCESS_SUCCESS;
}

// Maildir files end their lines with LF alone. Every CR LF the encoder writes
// is a line end: the lines it writes hold no CR or LF of their own.
std::string WithMaildirLineEnds(std::string text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[kept++] = text[i];
    }
    text.resize(kept);
    return text;
}

}  // namespace

std::vector<std::string> PostOfficeMessage::NoteLines(const std::string& text) {
    std::vector<std::string> lines;
    LoadTextLines(text, lines);
    return lines;
}

std::string PostOfficeMessage::Compose(const MapiMessage& message, const std::string& sender,
                                       const std::vector<Attachment>& attachments, std::time_t date) {
    TmsMessage mail;
    mail.Sender().Name = Phrase(sender);
    for (const MapiRecipient& recipient : message.Recips) {
        const std::string name = Phrase(recipient.Name);
        if (recipient.RecipClass == MAPI_TO) mail.Recipients().AddAddress("", name);
        if (recipient.RecipClass == MAPI_CC) mail.CC().AddAddress("", name);
        if (recipient.RecipClass == MAPI_BCC) mail.BCC().AddAddress("", name);
    }
    mail.SetSubject(message.Subject.value_or(""));
    mail.Headers().Add("Date: " + RfcDate(date));
    mail.SetReturnReceipt((message.Flags & MAPI_RECEIPT_REQUESTED) != 0);
    const std::string note = message.NoteText.value_or("");
    mail.Body() = NoteLines(note);
    mail.SetCharSet(IsPlainAscii(note) ? csUSASCII : csISO8859);
    TmsAttList list;
    for (const Attachment& attachment : attachments) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(attachment.FileName);
        // Base64 for every file, so that no line end of a text file changes.
        item->Encoding = aeBase64;
        item->Data = attachment.Data;
        list.Add(std::move(item));
    }
    mail.SetAttachments(list);
    std::ostringstream text;
    mail.SaveToStream(text);
    return WithMaildirLineEnds(std::move(text).str());
}

int PostOfficeMessage::Read(const std::filesystem::path& file, std::uint32_t flags, MapiMessage& message,
                            AttachmentFolders& attachmentFolders) {
    TmsMessage stored;
    try {
        stored.LoadFromFile(file.string());
    } catch (const EFOpenError&) {
        return MAPI_E_INVALID_MESSAGE;
    } catch (const std::exception&) {
        return MAPI_E_FAILURE;
    }
    message = {};
    message.Subject = stored.Subject();
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
