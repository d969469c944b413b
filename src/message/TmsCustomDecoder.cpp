#include "message/TmsCustomDecoder.h"

#include <memory>

#include "message/Base64.h"
#include "message/EMessageParserError.h"
#include "message/FileNames.h"
#include "message/QuotedPrintable.h"
#include "message/TextUtils.h"
#include "message/TmsCustomMessage.h"
#include "message/TmsMessage.h"
#include "message/UUCode.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxFieldText = 255;

std::string Cut(std::string text) {
    if (text.size() > kMaxFieldText) text.resize(kMaxFieldText);
    return text;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string_view SpanOf(const std::vector<std::string_view>& lines) {
    if (lines.empty()) return {};
    const char* begin = lines.front().data();
    const char* end = lines.back().data() + lines.back().size();
    return {begin, static_cast<std::size_t>(end - begin)};
}

// Any failure other than the parser's own while a part is decoded is
// reported as a decoding error of the attachment.
template <typename Work>
void DecodingAttachment(Work&& work) {
    try {
        work();
    } catch (const EMessageParserError&) {
        throw;
    } catch (const std::exception&) {
        throw EMessageParserError("Error decoding the attachment");
    }
}

bool IsUUFrame(std::string_view line) {
    return line.starts_with("begin") || line == "`" || line == "end";
}

}  // namespace

TmsCustomDecoder::TmsCustomDecoder(TmsCustomMessage& message, std::string text)
    : message_(message), lines_(std::move(text)) {}

TmsCustomDecoder::~TmsCustomDecoder() = default;

void TmsCustomDecoder::Decode() {
    ReadHeaders(mainHeaders_);
    ParseMessageHeaders();
    try {
        if (Contains(mainHeaders_.GetFieldValue("MIME-VERSION"), "1.0")) {
            DecodeMime();
        } else {
            DecodePlain();
        }
    } catch (const Exception& error) {
        // "Paragraph is too large" from a quoted-printable body lands here
        // too: the message is kept rather than refused.
        ErrorFallback(error.what());
    }
    RemoveFinalDot();
}

std::string_view TmsCustomDecoder::ReadLine() {
    return lines_.NextLine();
}

void TmsCustomDecoder::ReadHeaders(TmsHeaders& list) {
    list.Clear();
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd() || line.empty()) return;
        list.Add(std::string(line));
    }
}

void TmsCustomDecoder::SkipToLineEqual(std::string_view wanted, const char* error) {
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) throw EMessageParserError(error);
        if (line == wanted) return;
    }
}

void TmsCustomDecoder::DecodeMime() {
    // This mailer labels plain text bodies with a type that does not fit them.
    if (mainHeaders_.GetFieldValue("X-Mailer") == "V Mailsystem R #0001")
        mainHeaders_.DeleteField("Content-Type");
    const std::string type = mainHeaders_.GetFieldValue("Content-type");
    const std::string lower = LowerCase(type);
    if (Contains(lower, "multipart/alternative")) {
        topAlternative_ = true;
        DecodeMultipart();
    } else if (Contains(lower, "multipart")) {
        DecodeMultipart();
    } else if (!type.empty() && !Contains(lower, "text/")) {
        DecodeSinglePart();
    } else {
        // cc:Mail names its text bodies; a named text part is a file otherwise.
        const std::string name = GetParameter("name", type);
        if (!name.empty() && name != "cc:Mail") {
            DecodeSinglePart();
        } else {
            DecodeTextBody();
        }
    }
}

void TmsCustomDecoder::DecodeMultipart() {
    boundary_ = "--" + GetParameter("Boundary", mainHeaders_.GetFieldValue("Content-type"));
    SkipToLineEqual(boundary_, "Cannot find boundary");
    DecodeFirstPart();
    DecodeParts();
}

void TmsCustomDecoder::DecodeFirstPart() {
    ReadHeaders(partHeaders_);
    const std::string partType = partHeaders_.GetFieldValue("Content-Type");
    if (LowerCase(GetParameter("CharSet", partType)) == "iso-2022-jp") message_.SetCharSet(csISO2022jp);
    if (Contains(LowerCase(partType), "multipart/alternative")) {
        inAlternative_ = true;
        outerBoundary_ = boundary_;
        boundary_ = "--" + GetParameter("boundary", partType);
        SkipToLineEqual(boundary_, "Cannot find boundary");
        ReadHeaders(partHeaders_);
    }
    const std::string encoding = LowerCase(partHeaders_.GetFieldValue("Content-Transfer-Encoding"));
    if (encoding == "base64" && message_.CharSet() != csISO2022jp) {
        // Not a text body: DecodeParts makes this part the first attachment.
        partHeaders_.Add("Content-Transfer-Encoding: Base64");
        return;
    }
    std::vector<std::string>& body = message_.Body();
    body.clear();
    const bool quotedPrintable = encoding == "quoted-printable";
    if (quotedPrintable) message_.SetCharSet(csISO8859);

    const std::string closing = boundary_ + "--";
    std::string_view endLine;
    if (encoding != "base64") {
        PartLines part;
        for (;;) {
            const std::string_view line = ReadLine();
            if (lines_.AtEnd()) break;
            if (line == boundary_ || line == closing) {
                part.endedByBoundary = true;
                endLine = line;
                break;
            }
            part.lines.push_back(line);
        }
        DropBoundaryLineEnd(part);
        if (quotedPrintable) {
            std::string text;
            QPDecodeText(SpanOf(part.lines), text);
            LoadTextLines(text, body);
        } else {
            body.assign(part.lines.begin(), part.lines.end());
        }
        if (body.empty()) body.emplace_back();
    } else {
        const PartLines part = ReadPartLines(PartEnd::Boundary);
        std::string text;
        DecodeContent(Content::Base64, part.lines, text);
        LoadTextLines(text, body);
        endLine = part.endLine;
    }
    if (endLine == closing) {
        message_.SetContentType(GetMainValue(partType));
        while (!lines_.AtEnd()) ReadLine();
    } else if (lines_.AtEnd()) {
        throw EMessageParserError("Cannot find boundary");
    }
}

// The line end before a boundary belongs to the boundary, so the empty line
// the encoder writes there is not part of the content.
void TmsCustomDecoder::DropBoundaryLineEnd(PartLines& part) {
    if (part.endedByBoundary && !part.lines.empty() && part.lines.back().empty()) part.lines.pop_back();
}

TmsCustomDecoder::PartLines TmsCustomDecoder::ReadPartLines(PartEnd end) {
    PartLines part;
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) return part;
        const bool ended =
            end == PartEnd::Dot ? line == "." : end == PartEnd::Boundary && line.starts_with(boundary_);
        if (ended) {
            part.endLine = line;
            part.endedByBoundary = end == PartEnd::Boundary;
            return part;
        }
        part.lines.push_back(line);
    }
}

TmsCustomDecoder::Content TmsCustomDecoder::ContentFromEncoding(const std::string& transferEncoding) {
    const std::string lower = LowerCase(transferEncoding);
    if (lower == "base64") return Content::Base64;
    if (lower.starts_with("x-uue")) return Content::UUencoded;
    if (lower == "quoted-printable") return Content::QuotedPrintable;
    return Content::SevenBit;
}

void TmsCustomDecoder::DecodeContent(Content content, const std::vector<std::string_view>& lines,
                                     std::string& data) {
    std::size_t size = 0;
    for (std::string_view line : lines) size += line.size() + 2;
    switch (content) {
        case Content::Base64:
            data.reserve(data.size() + size / 4 * 3);
            for (std::string_view line : lines) {
                if (!line.empty()) Base64DecodeLineAppend(line, data);
            }
            return;
        case Content::UUencoded:
            data.reserve(data.size() + size / 4 * 3);
            for (std::string_view line : lines) {
                if (!line.empty() && !IsUUFrame(line)) UUDecodeLineAppend(line, data);
            }
            return;
        case Content::QuotedPrintable:
            QPDecodeText(SpanOf(lines), data);
            return;
        case Content::SevenBit:
            data.reserve(data.size() + size);
            for (std::string_view line : lines) {
                data += line;
                data += "\r\n";
            }
            return;
    }
}

std::string TmsCustomDecoder::PartName(const char* prefix) const {
    return prefix + std::to_string(message_.Attachments().Count());
}

// The name comes from the type's "name" parameter, else the disposition's
// "filename", else the given prefix and the index the item will get. A name
// from mail derives type and encoding; the transfer encoding always wins, and
// a made-up name keeps the declared type.
void TmsCustomDecoder::NameItem(TmsAttItem& item, const std::string& contentType, const TmsHeaders& headers,
                                TAttEncoding encoding, const char* prefix) const {
    const std::string name = GetParameter("name", contentType);
    if (!name.empty()) item.SetFileName(SafeFileName(name));
    item.Encoding = encoding;
    if (!name.empty()) return;
    const std::string fileName = GetParameter("filename", headers.GetFieldValue("Content-Disposition"));
    if (!fileName.empty()) {
        item.SetFileName(SafeFileName(fileName));
        item.Encoding = encoding;
        return;
    }
    const ShortString declaredType = item.ContentType;
    item.SetFileName(PartName(prefix));
    item.Encoding = encoding;
    item.ContentType = declaredType;
}

void TmsCustomDecoder::AddAttachment(std::unique_ptr<TmsAttItem> item) {
    message_.Attachments().Add(std::move(item));
}

namespace {

TAttEncoding ItemEncoding(std::string_view transferEncoding, bool uuencoded) {
    const std::string lower = LowerCase(transferEncoding);
    if (lower == "base64" || uuencoded) return aeBase64;
    if (lower == "quoted-printable") return aeQuotedPrintable;
    return ae7Bit;
}

}  // namespace

void TmsCustomDecoder::DecodeParts() {
    if (lines_.AtEnd()) return;
    for (;;) {
        if (!message_.Body().empty() || message_.Attachments().Count() > 0) ReadHeaders(partHeaders_);
        auto item = std::make_unique<TmsAttItem>();
        PartLines part;
        DecodingAttachment([&] {
            std::string type = Cut(partHeaders_.GetFieldValue("Content-type"));
            if (type.empty()) type = "text/plain";
            item->ContentType = GetMainValue(type);
            const std::string transferEncoding = partHeaders_.GetFieldValue("Content-Transfer-Encoding");
            const Content content = ContentFromEncoding(transferEncoding);
            NameItem(*item, type, partHeaders_, ItemEncoding(transferEncoding, content == Content::UUencoded),
                     inAlternative_ || topAlternative_ ? "_alt." : "att.");
            part = ReadPartLines(PartEnd::Boundary);
            if (content == Content::QuotedPrintable || content == Content::SevenBit)
                DropBoundaryLineEnd(part);
            DecodeContent(content, part.lines, item->Data);
        });
        AddAttachment(std::move(item));
        if (FinishPart(part)) return;
    }
}

// True when the multipart has ended after this part.
bool TmsCustomDecoder::FinishPart(const PartLines& part) {
    const bool done = lines_.AtEnd() || part.endLine == boundary_ + "--";
    if (!done) return false;
    if (!inAlternative_) return true;
    // The nested alternative has ended; go on with the outer parts.
    inAlternative_ = false;
    boundary_ = outerBoundary_;
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) throw EMessageParserError("Cannot find closing boundary");
        if (line.starts_with(boundary_)) return line == boundary_ + "--";
    }
}

void TmsCustomDecoder::DecodeSinglePart() {
    const std::string type = Cut(mainHeaders_.GetFieldValue("Content-type"));
    if (type.empty()) throw EMessageParserError("Missing required field: Content-Type");
    auto item = std::make_unique<TmsAttItem>();
    DecodingAttachment([&] {
        const std::string transferEncoding = mainHeaders_.GetFieldValue("Content-Transfer-Encoding");
        const Content content = ContentFromEncoding(transferEncoding);
        NameItem(*item, type, mainHeaders_, ItemEncoding(transferEncoding, content == Content::UUencoded),
                 "att.");
        item->ContentType = GetMainValue(type);
        const bool binary = content == Content::Base64 || content == Content::UUencoded;
        // A single part has no boundary: text content runs to the end.
        const PartLines part = ReadPartLines(binary ? PartEnd::Dot : PartEnd::TextEnd);
        DecodeContent(content, part.lines, item->Data);
    });
    AddAttachment(std::move(item));
}

void TmsCustomDecoder::DecodeTextBody() {
    const std::string type = mainHeaders_.GetFieldValue("Content-Type");
    const std::string mainType = LowerCase(GetMainValue(type));
    if (mainType == "text/html" || mainType == "text/rtf") message_.SetContentType(mainType);

    std::vector<std::string>& body = message_.Body();
    body.clear();
    const std::string encoding = LowerCase(mainHeaders_.GetFieldValue("Content-Transfer-Encoding"));
    const bool base64 = encoding == "base64";
    const bool quotedPrintable =
        encoding == "quoted-printable" ||
        Contains(mainHeaders_.GetFieldValue("X-MIME-Autoconverted"), "quoted-printable");
    if (LowerCase(GetParameter("CharSet", type)) == "iso-2022-jp") message_.SetCharSet(csISO2022jp);
    if (quotedPrintable) message_.SetCharSet(csISO8859);

    if (base64) {
        std::vector<std::string_view> encoded;
        for (std::string_view line = ReadLine(); !lines_.AtEnd(); line = ReadLine()) {
            if (line != ".") encoded.push_back(line);
        }
        std::string text;
        DecodeContent(Content::Base64, encoded, text);
        LoadTextLines(text, body);
        return;
    }
    std::vector<std::string_view> collected;
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) break;
        if (IsUUBegin(line)) {
            RestartAsPlain();
            return;
        }
        collected.push_back(line);
    }
    if (quotedPrintable) {
        std::string text;
        QPDecodeText(SpanOf(collected), text);
        LoadTextLines(text, body);
    } else {
        body.assign(collected.begin(), collected.end());
    }
}

// A text message that carries uuencoded files is read again as a plain one.
void TmsCustomDecoder::RestartAsPlain() {
    lines_.Rewind();
    message_.Body().clear();
    mainHeaders_.Clear();
    ReadHeaders(mainHeaders_);
    if (auto* mail = dynamic_cast<TmsMessage*>(&message_)) {
        mail->Recipients().Clear();
        mail->CC().Clear();
        mail->BCC().Clear();
    }
    ParseMessageHeaders();
    DecodePlain();
}

void TmsCustomDecoder::DecodePlain() {
    std::vector<std::string>& body = message_.Body();
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) return;
        if (IsUUBegin(line)) {
            // The empty line before "begin" separates the file from the text.
            if (!body.empty() && body.back().empty()) body.pop_back();
            DecodeUUFiles(line);
            message_.SetEncoding(meUU);
            return;
        }
        body.emplace_back(line);
    }
}

// Text between and after the uuencoded files is not kept.
void TmsCustomDecoder::DecodeUUFiles(std::string_view beginLine) {
    for (;;) {
        auto item = std::make_unique<TmsAttItem>();
        try {
            const std::string name = UUFileName(beginLine);
            item->SetFileName(name.empty() ? PartName("att.") : SafeFileName(name));
            for (;;) {
                const std::string_view line = ReadLine();
                if (lines_.AtEnd() || line == "`" || SameText(line, "END")) break;
                if (!line.empty()) UUDecodeLineAppend(line, item->Data);
            }
        } catch (const std::exception&) {
            throw EMessageParserError("Error decoding the attachment");
        }
        AddAttachment(std::move(item));
        for (;;) {
            const std::string_view line = ReadLine();
            if (lines_.AtEnd()) return;
            if (IsUUBegin(line)) {
                beginLine = line;
                break;
            }
        }
    }
}

void TmsCustomDecoder::ErrorFallback(const std::string& text) {
    std::vector<std::string>& body = message_.Body();
    body.emplace_back("The following error has been occured while processing the message:");
    body.push_back(text);
    body.emplace_back("The original message will be stored as an attachment");
    try {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName("original.eml");
        item->Encoding = ae7Bit;
        item->ContentType = "message/rfc822";
        item->Data = lines_.Text();
        AddAttachment(std::move(item));
    } catch (const std::exception&) {
        // Without memory for the copy the explanatory text still stands.
    }
}

void TmsCustomDecoder::RemoveFinalDot() {
    std::vector<std::string>& body = message_.Body();
    if (!body.empty() && body.back() == ".") body.pop_back();
}

}  // namespace qlk
