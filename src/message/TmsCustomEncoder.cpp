#include "message/TmsCustomEncoder.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <random>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "message/Base64.h"
#include "message/Charsets.h"
#include "message/FileNames.h"
#include "message/HeaderWords.h"
#include "message/MailDate.h"
#include "message/QuotedPrintable.h"
#include "message/TLineStream.h"
#include "message/TextUtils.h"
#include "message/TmsCustomMessage.h"
#include "message/UUCode.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace {

constexpr std::size_t kFlushSize = 1 << 20;
constexpr std::size_t kLongLine = 256;
constexpr std::size_t kBase64Block = 57;
constexpr std::size_t kUUBlock = 45;
// Whole blocks of both codecs, about 1 MB of data per step.
constexpr std::size_t kChunk = kBase64Block * kUUBlock * 400;

const char* EncodingName(TAttEncoding encoding) {
    switch (encoding) {
        case aeBase64:
            return "Base64";
        case aeQuotedPrintable:
            return "Quoted-Printable";
        case ae7Bit:
            break;
    }
    return "7bit";
}

std::string PlainName(const TmsAttItem& item) {
    return std::string(ExtractFileName(item.FileName()));
}

std::string LowerPlainName(const TmsAttItem& item) {
    return LowerCase(PlainName(item));
}

bool IsAlternativePart(const TmsAttItem& item) {
    return LowerPlainName(item).starts_with("_alt.");
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool IsFolded(std::string_view line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// "Name: value", the name made of printable ASCII other than the colon.
bool IsFieldLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) { return c > ' ' && c < 127; });
}

bool IsMessagePart(const TmsAttItem& item) {
    return LowerCase(item.ContentType.str()) == "message/rfc822";
}

// RFC 5321 4.5.3.1.6: 1000 characters with the CR LF.
constexpr std::size_t kMaxMailLine = 998;

// Lines a relay carries as they stand: no zero byte, none longer than 998.
bool HasMailLines(std::string_view data) {
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\0') return false;
        if (data[i] == '\r' || data[i] == '\n') {
            lineStart = i + 1;
        } else if (i - lineStart >= kMaxMailLine) {
            return false;
        }
    }
    return true;
}

// A name that readers would take for RFC 2047 words ("=?UTF-8?B?Zm9v?=.txt")
// is written the RFC 2231 way too, in which nothing is read as a word.
bool NeedsExtendedValue(std::string_view name) {
    return !IsAscii(name) || name.find("=?") != std::string_view::npos;
}

// parameter*=charset''percent-encoded value (RFC 2231).
std::string ExtendedParameter(std::string_view parameter, std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string value = std::string(parameter) + (IsValidUtf8(name) ? "*=UTF-8''" : "*=ISO-8859-1''");
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsAsciiLetterOrDigit(c) || std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos) {
            value += c;
        } else {
            value += '%';
            value += kHex[byte >> 4];
            value += kHex[byte & 15];
        }
    }
    return value;
}

// The file name as a Content-Type parameter: quoted, and for old readers as
// RFC 2047 words when it is not ASCII.
std::string NameParameter(std::string_view name) {
    if (!NeedsExtendedValue(name)) return "name=" + QuotedString(name);
    if (IsAscii(name)) return ExtendedParameter("name", name);
    std::string words;
    for (const std::string& word : EncodeHeaderWords(name)) words += word;
    return "name=" + Quoted(words);
}

// The file name as a Content-Disposition parameter.
std::string FileNameParameter(std::string_view name) {
    if (!NeedsExtendedValue(name)) return "filename=" + QuotedString(name);
    return ExtendedParameter("filename", name);
}

// The right side of a new Message-ID: the sender's domain when it is a
// plain host name, else this machine's name.
std::string MessageIdDomain(std::string_view senderAddress) {
    auto plainHost = [](std::string_view host) {
        return !host.empty() && host.size() < 200 && std::all_of(host.begin(), host.end(), [](char c) {
            return IsAsciiLetterOrDigit(c) || c == '.' || c == '-';
        });
    };
    const std::size_t at = senderAddress.rfind('@');
    if (at != std::string_view::npos && plainHost(senderAddress.substr(at + 1))) {
        return std::string(senderAddress.substr(at + 1));
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && plainHost(name)) return name;
    return "localhost";
}

std::string NewMessageId(std::string_view senderAddress) {
    static std::mt19937_64 generator(
        std::random_device{}() ^
        static_cast<unsigned long long>(std::chrono::system_clock::now().time_since_epoch().count()));
    char text[64];
    std::snprintf(text, sizeof text, "%llx.%016llx", static_cast<unsigned long long>(std::time(nullptr)),
                  static_cast<unsigned long long>(generator()));
    return "<" + std::string(text) + "@" + MessageIdDomain(senderAddress) + ">";
}

std::string JoinedWithLineEnds(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace

TmsCustomEncoder::TmsCustomEncoder(TmsCustomMessage& message) : message_(message) {
    const auto& body = message_.Body();
    longLines_ =
        std::any_of(body.begin(), body.end(), [](const std::string& l) { return l.size() >= kLongLine; });
    eightBitBody_ = std::any_of(body.begin(), body.end(), [](const std::string& l) { return !IsAscii(l); });
    bodyUtf8_ = std::all_of(body.begin(), body.end(), [](const std::string& l) { return IsValidUtf8(l); });
}

TmsCustomEncoder::~TmsCustomEncoder() = default;

std::string TmsCustomEncoder::NewBoundary() {
    static std::mt19937 generator(
        std::random_device{}() ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> digit(0, 8);
    std::string boundary(8, '0');
    for (char& c : boundary) c = static_cast<char>('0' + digit(generator));
    return boundary;
}

void TmsCustomEncoder::Encode(std::ostream& output) {
    output_ = &output;
    buffer_.reserve(kFlushSize + 4096);
    WriteHeaders();
    if (message_.Encoding() == meUU) {
        WriteUU();
        Flush();
        return;
    }
    const std::string type = message_.ContentType();
    const TmsAttList& attachments = message_.Attachments();
    const bool bodyEmpty = message_.Body().empty();
    if (type == "multipart/mixed") {
        WriteMultipart(false);
    } else if (type == "multipart/alternative") {
        WriteMultipart(true);
    } else if (attachments.Count() == 0) {
        // A type set by the application without any attachment to carry it.
        if (type == "text/html" || type == "text/rtf") {
            WriteHtmlRtfBody();
        } else {
            WriteTextBody();
        }
    } else if ((type == "text/html" || type == "text/rtf") && !bodyEmpty) {
        WriteHtmlRtfBody();
    } else {
        WriteSingleAttachment();
    }
    Flush();
}

void TmsCustomEncoder::WriteLine(std::string_view text) {
    if (const void* zero = std::memchr(text.data(), 0, text.size())) {
        text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()));
    }
    buffer_.append(text);
    buffer_.append("\r\n");
    if (buffer_.size() >= kFlushSize) Flush();
}

void TmsCustomEncoder::WriteHeaderLine(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    WriteLine(line);
}

void TmsCustomEncoder::Flush() {
    if (buffer_.empty()) return;
    output_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    if (!*output_) throw EStreamError::Write();
}

std::string TmsCustomEncoder::HeaderName(std::string_view name, bool quoteSpecials) const {
    if (!IsAscii(name) && message_.Encoding() == meMIME) {
        const std::vector<std::string> words = HeaderWords(name);
        std::string text;
        for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
        return text;
    }
    if (quoteSpecials && NeedsQuoting(name)) return QuotedString(name);
    return HeaderText(name);
}

std::string TmsCustomEncoder::HeaderText(std::string_view text) const {
    if (message_.CharSet() == csISO2022jp && message_.Encoding() == meMIME) return EncodeJisHeader(text);
    return std::string(text);
}

std::vector<std::string> TmsCustomEncoder::HeaderWords(std::string_view text) const {
    if (message_.CharSet() == csISO2022jp && !text.empty() && text.front() == '\x1B')
        return {EncodeJisHeader(text)};
    if (message_.Encoding() != meMIME) return {std::string(text)};
    return EncodeHeaderWords(text);
}

void TmsCustomEncoder::WriteFoldedHeader(std::string_view label, std::string_view text) {
    std::string line(label);
    bool first = true;
    for (const std::string& word : HeaderWords(text)) {
        // A folded line starts with the blank that joins it to the one before.
        if (!first && line.size() + 1 + word.size() > 76) {
            WriteHeaderLine(line);
            line.clear();
        }
        line += ' ';
        line += word;
        first = false;
    }
    WriteHeaderLine(line);
}

void TmsCustomEncoder::WriteDateAndMessageId() {
    const TmsHeaders& headers = message_.Headers();
    if (headers.GetFieldValue("Date").empty()) WriteLine("Date: " + MailDate(std::time(nullptr)));
    if (headers.GetFieldValue("Message-ID").empty())
        WriteLine("Message-ID: " + NewMessageId(message_.Sender().Address.str()));
}

void TmsCustomEncoder::WriteOtherHeaders() {
    TmsHeaders& headers = message_.Headers();
    for (const char* field : {"From", "To", "CC", "BCC", "Return-Receipt-To", "X-Priority", "Subject",
                              "Mime-Version", "Content-Type", "X-Encoding", "Content-Transfer-Encoding"}) {
        headers.DeleteField(field);
    }
    // A line that is not a field ("quite Delivered-To: x" in a spam sample)
    // ends the header block for most readers, and the fields written after it
    // with it; so does an empty line. Such a line goes, with its continuations.
    bool inField = false;
    for (const std::string& line : headers) {
        if (!IsFolded(line)) inField = IsFieldLine(line);
        if (inField && !Trim(line).empty()) WriteHeaderLine(line);
    }
    WriteDateAndMessageId();
}

std::vector<std::string> TmsCustomEncoder::QuotedPrintableBody() const {
    std::vector<std::string> lines;
    QPEncodeLines(JoinedWithLineEnds(message_.Body()), lines);
    return lines;
}

bool TmsCustomEncoder::BodyQuotedPrintable() const {
    return message_.CharSet() == csISO8859 || longLines_ || eightBitBody_;
}

std::vector<std::string> TmsCustomEncoder::PreparedBody() const {
    if (BodyQuotedPrintable()) return QuotedPrintableBody();
    return message_.Body();
}

std::string TmsCustomEncoder::BodyCharset() const {
    switch (message_.CharSet()) {
        case csISO8859:
            return "iso-8859-1";
        case csISO2022jp:
            return "iso-2022-jp";
        case csUTF8:
            return "utf-8";
        case csUSASCII:
            break;
    }
    if (!eightBitBody_) return "us-ascii";
    return bodyUtf8_ ? "utf-8" : "iso-8859-1";
}

void TmsCustomEncoder::WriteTextPartHeaders() {
    WriteLine("Content-Type: text/plain; charset=\"" + BodyCharset() + "\"");
    WriteLine(BodyQuotedPrintable() ? "Content-Transfer-Encoding: quoted-printable"
                                    : "Content-Transfer-Encoding: 7bit");
}

void TmsCustomEncoder::WriteTextBody() {
    WriteTextPartHeaders();
    WriteLine("");
    for (const std::string& line : PreparedBody()) WriteLine(line);
}

void TmsCustomEncoder::WriteMultipart(bool alternativeOnly) {
    const TmsAttList& attachments = message_.Attachments();
    const std::string outer = NewBoundary();
    std::string boundary = outer;
    WriteHeaderLine("Content-Type: " + message_.ContentType() + "; boundary=" + Quoted(boundary));
    WriteLine("");
    WriteLine("This is a multipart message in MIME format");
    WriteLine("");
    WriteLine("--" + boundary);

    const int count = attachments.Count();
    const std::string first = count > 0 ? LowerPlainName(attachments.Items(0)) : "";
    const bool bodyEmpty = message_.Body().empty();
    bool htm = count > 0 && bodyEmpty && first == "_htmbody.htm";
    bool rtf = count > 0 && bodyEmpty && first == "_rtfbody.rtf";
    bool nested = count > 0 && first.starts_with("_alt.") && !alternativeOnly;
    if (nested) {
        boundary = NewBoundary();
        WriteLine("Content-Type:  multipart/alternative; boundary=" + Quoted(boundary));
        WriteLine("Content-Transfer-Encoding: 7bit");
        WriteLine("");
        WriteLine("--" + boundary);
    }
    if (!bodyEmpty) {
        WriteTextPartHeaders();
        WriteLine("");
        for (const std::string& line : PreparedBody()) WriteLine(line);
        WriteLine("");
        WriteLine("--" + boundary);
    }
    bool alternativeClosed = false;
    for (int i = 0; i < count; ++i) {
        const TmsAttItem& item = attachments.Items(i);
        if (i > 0) {
            // The previous part already ended with the empty line that
            // belongs to this boundary; a second one would add a line end to
            // that part's content for every reader.
            if (alternativeClosed) WriteLine("");
            WriteLine("--" + boundary);
            htm = rtf = false;
            alternativeClosed = false;
        }
        const bool plain = !alternativeOnly && !nested && !htm && !rtf;
        if (plain) {
            WriteFileHeaders(item);
        } else {
            WriteHeaderLine("Content-Type: " + SentContentType(item) + TextCharset(item));
            WriteLine("Content-Transfer-Encoding: " + EncodingLabel(item));
        }
        WriteLine("");
        WriteAttachmentData(item);
        // The line end before the boundary belongs to the boundary.
        WriteLine("");
        if (i == count - 1) {
            WriteLine("--" + boundary + "--");
        } else if (nested && !IsAlternativePart(attachments.Items(i + 1))) {
            WriteLine("--" + boundary + "--");
            nested = false;
            alternativeClosed = true;
            boundary = outer;
        }
    }
}

void TmsCustomEncoder::WriteSingleAttachment() {
    const TmsAttItem& item = message_.Attachments().Items(0);
    const std::string lower = LowerPlainName(item);
    const bool bodyFile = lower == "_htmbody.htm" || lower == "_rtfbody.rtf";
    if (bodyFile) {
        WriteLine(
            std::string(lower == "_htmbody.htm" ? "Content-Type: text/html" : "Content-Type: text/rtf") +
            TextCharset(item));
        WriteLine("Content-Transfer-Encoding: " + EncodingLabel(item));
    } else {
        WriteFileHeaders(item);
    }
    WriteLine("");
    WriteAttachmentData(item);
}

void TmsCustomEncoder::WriteHtmlRtfBody() {
    std::string line =
        message_.ContentType() == "text/html" ? "Content-Type: text/html" : "Content-Type: text/rtf";
    if (message_.CharSet() != csUSASCII || eightBitBody_) line += "; charset=\"" + BodyCharset() + "\"";
    WriteLine(line);
    WriteLine("Content-Transfer-Encoding: quoted-printable");
    WriteLine("");
    message_.Body() = QuotedPrintableBody();
    for (const std::string& bodyLine : message_.Body()) WriteLine(bodyLine);
}

void TmsCustomEncoder::WriteFileHeaders(const TmsAttItem& item) {
    const std::string name = PlainName(item);
    WriteHeaderLine("Content-Type: " + SentContentType(item) + TextCharset(item) + "; " +
                    NameParameter(name));
    WriteLine("Content-Transfer-Encoding: " + EncodingLabel(item));
    if (!NeedsExtendedValue(name)) {
        WriteHeaderLine("Content-Disposition: attachment; " + FileNameParameter(name));
    } else {
        WriteLine("Content-Disposition: attachment;");
        WriteHeaderLine(" " + FileNameParameter(name));
    }
}

// What a 7bit attachment is really sent as. Text that is not 7-bit mail as
// it stands (8-bit bytes, lines too long) goes quoted-printable. A message
// cannot (RFC 2046 5.2.1): it keeps its lines, as "8bit" where that is
// allowed, or else goes as a base64 file.
TAttEncoding TmsCustomEncoder::SentEncoding(const TmsAttItem& item) const {
    if (item.Encoding != ae7Bit) return item.Encoding;
    const bool ascii = IsAscii(item.Data);
    if (ascii && HasMailLines(item.Data)) return ae7Bit;
    if (!IsMessagePart(item)) return aeQuotedPrintable;
    return eightBit_ && HasMailLines(item.Data) ? ae7Bit : aeBase64;
}

std::string TmsCustomEncoder::SentContentType(const TmsAttItem& item) const {
    if (IsMessagePart(item) && item.Encoding == ae7Bit && SentEncoding(item) == aeBase64)
        return "application/octet-stream";
    return item.ContentType.str();
}

std::string TmsCustomEncoder::EncodingLabel(const TmsAttItem& item) const {
    const TAttEncoding encoding = SentEncoding(item);
    if (encoding == ae7Bit && !IsAscii(item.Data)) return "8bit";
    return EncodingName(encoding);
}

// Text sent without a charset is read as US-ASCII: 8-bit text says what it is.
std::string TmsCustomEncoder::TextCharset(const TmsAttItem& item) {
    if (!LowerCase(item.ContentType.str()).starts_with("text/") || IsAscii(item.Data)) return "";
    return std::string("; charset=\"") + (IsValidUtf8(item.Data) ? "utf-8" : "iso-8859-1") + "\"";
}

void TmsCustomEncoder::WriteAttachmentData(const TmsAttItem& item) {
    switch (SentEncoding(item)) {
        case aeBase64:
            WriteBase64(item.Data);
            return;
        case aeQuotedPrintable:
            WriteQuotedPrintable(item.Data);
            return;
        case ae7Bit:
            WriteTextLines(item.Data);
            return;
    }
}

// A full block of 57 bytes gives one line of 76 characters; the block after
// the last full one is written even when empty, which ends the data.
void TmsCustomEncoder::WriteBase64(const std::string& data) {
    for (std::size_t offset = 0; offset < data.size(); offset += kChunk) {
        Base64EncodeWrapped(std::string_view(data).substr(offset, kChunk), buffer_);
        Flush();
    }
    if (data.size() % kBase64Block == 0) WriteLine("");
}

void TmsCustomEncoder::WriteQuotedPrintable(const std::string& data) {
    QPEncodeAppend(data, buffer_);
    Flush();
}

// The lines with CR LF ends; the last line has one only when the data ends
// with a line break, so that the data comes back exactly.
void TmsCustomEncoder::WriteTextLines(const std::string& data) {
    std::vector<std::string> lines;
    LoadTextLines(data, lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        buffer_ += lines[i];
        if (i + 1 < lines.size() || data.ends_with('\n') || data.ends_with('\r')) buffer_ += "\r\n";
        if (buffer_.size() >= kFlushSize) Flush();
    }
}

void TmsCustomEncoder::WriteUU() {
    WriteLine("");
    for (const std::string& line : message_.Body()) WriteLine(line);
    const TmsAttList& attachments = message_.Attachments();
    for (int i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        WriteLine("");
        WriteHeaderLine("begin 600 " + PlainName(item));
        for (std::size_t offset = 0; offset < item.Data.size(); offset += kChunk) {
            UUEncodeWrapped(std::string_view(item.Data).substr(offset, kChunk), buffer_);
            Flush();
        }
        if (item.Data.size() % kUUBlock == 0) WriteLine(UUEncodeLine(""));
        WriteLine("`");
        WriteLine("end");
    }
}

}  // namespace qlk
