#include "message/TmsCustomEncoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <random>

#include "message/Base64.h"
#include "message/FileNames.h"
#include "message/HeaderWords.h"
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
    return std::string(ExtractFileName(item.FileName().str()));
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

std::string TmsCustomEncoder::HeaderName(std::string_view name, bool quoteDots) const {
    std::string text(name);
    if (quoteDots && text.find('"') == std::string::npos && text.find('.') != std::string::npos) {
        text = Quoted(text);
    }
    return HeaderText(text);
}

std::string TmsCustomEncoder::HeaderText(std::string_view text) const {
    if (message_.CharSet() == csISO2022jp && message_.Encoding() == meMIME) return EncodeJisHeader(text);
    return std::string(text);
}

void TmsCustomEncoder::WriteOtherHeaders() {
    TmsHeaders& headers = message_.Headers();
    for (const char* field : {"From", "To", "CC", "BCC", "Return-Receipt-To", "X-Priority", "Subject",
                              "Mime-Version", "Content-Type", "X-Encoding", "Content-Transfer-Encoding"}) {
        headers.DeleteField(field);
    }
    for (const std::string& line : headers) {
        // An empty line would end the header block early.
        if (!Trim(line).empty()) WriteHeaderLine(line);
    }
}

std::vector<std::string> TmsCustomEncoder::QuotedPrintableBody() const {
    std::vector<std::string> lines;
    QPEncodeLines(JoinedWithLineEnds(message_.Body()), lines);
    return lines;
}

std::vector<std::string> TmsCustomEncoder::PreparedBody() const {
    if (message_.CharSet() == csISO8859 || longLines_) return QuotedPrintableBody();
    return message_.Body();
}

void TmsCustomEncoder::WriteTextPartHeaders() {
    switch (message_.CharSet()) {
        case csISO8859:
            WriteLine("Content-Type: text/plain; charset=\"iso-8859-1\"");
            WriteLine("Content-Transfer-Encoding: quoted-printable");
            return;
        case csISO2022jp:
            WriteLine("Content-Type: text/plain; charset=\"iso-2022-jp\"");
            break;
        case csUSASCII:
            WriteLine("Content-Type: text/plain; charset=\"us-ascii\"");
            break;
    }
    WriteLine(longLines_ ? "Content-Transfer-Encoding: quoted-printable" : "Content-Transfer-Encoding: 7bit");
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
        const std::string name = Quoted(PlainName(item));
        WriteHeaderLine(plain ? "Content-Type: " + item.ContentType.str() + "; name=" + name
                              : "Content-Type: " + item.ContentType.str());
        WriteLine(std::string("Content-Transfer-Encoding: ") + EncodingName(item.Encoding));
        if (plain) WriteHeaderLine("Content-Disposition: attachment; filename=" + name);
        WriteLine("");
        WriteAttachmentData(item);
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
    const std::string name = Quoted(PlainName(item));
    if (lower == "_htmbody.htm") {
        WriteLine("Content-Type: text/html");
    } else if (lower == "_rtfbody.rtf") {
        WriteLine("Content-Type: text/rtf");
    } else {
        WriteHeaderLine("Content-Type: " + item.ContentType.str() + "; name=" + name);
    }
    WriteLine(std::string("Content-Transfer-Encoding: ") + EncodingName(item.Encoding));
    if (!bodyFile) WriteHeaderLine("Content-Disposition: attachment; filename=" + name);
    WriteLine("");
    WriteAttachmentData(item);
}

void TmsCustomEncoder::WriteHtmlRtfBody() {
    std::string line =
        message_.ContentType() == "text/html" ? "Content-Type: text/html" : "Content-Type: text/rtf";
    if (message_.CharSet() != csUSASCII) line += "; charset=\"iso-8859-1\"";
    WriteLine(line);
    WriteLine("Content-Transfer-Encoding: quoted-printable");
    WriteLine("");
    message_.Body() = QuotedPrintableBody();
    for (const std::string& bodyLine : message_.Body()) WriteLine(bodyLine);
}

void TmsCustomEncoder::WriteAttachmentData(const TmsAttItem& item) {
    switch (item.Encoding) {
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

void TmsCustomEncoder::WriteTextLines(const std::string& data) {
    std::vector<std::string> lines;
    LoadTextLines(data, lines);
    for (const std::string& line : lines) WriteLine(line);
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
