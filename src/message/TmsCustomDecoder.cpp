#include "message/TmsCustomDecoder.h"

#include <memory>
#include <utility>

#include "message/Base64.h"
#include "message/Charsets.h"
#include "message/EMessageParserError.h"
#include "message/FileNames.h"
#include "message/MimeParameters.h"
#include "message/QuotedPrintable.h"
#include "message/TextUtils.h"
#include "message/TmsCustomMessage.h"
#include "message/TmsMessage.h"
#include "message/UUCode.h"

namespace qlk {

namespace {

constexpr std::size_t kReleaseChunk = 1 << 20;

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
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

TAttEncoding ItemEncoding(std::string_view transferEncoding) {
    const std::string lower = LowerCase(Trim(transferEncoding));
    if (lower == "base64" || lower.starts_with("x-uue")) return aeBase64;
    if (lower == "quoted-printable") return aeQuotedPrintable;
    return ae7Bit;
}

std::string CharsetOf(const TmsHeaders& headers) {
    return MimeParameters(headers.GetFieldValue("Content-Type")).Get("charset");
}

// A part its sender meant as a file rather than as text to read.
bool IsNamedFile(const TmsHeaders& headers) {
    const MimeParameters type(headers.GetFieldValue("Content-Type"));
    const MimeParameters disposition(headers.GetFieldValue("Content-Disposition"));
    return !type.Get("name").empty() || !disposition.Get("filename").empty() ||
           disposition.MainValue() == "attachment";
}

}  // namespace

TmsCustomDecoder::TmsCustomDecoder(TmsCustomMessage& message, std::string text)
    : message_(message), lines_(std::move(text)) {}

TmsCustomDecoder::TmsCustomDecoder(TmsCustomMessage& message, std::string_view text,
                                   TLineStream::Borrowed borrowed)
    : message_(message), lines_(text, std::move(borrowed)) {}

TmsCustomDecoder::~TmsCustomDecoder() = default;

void TmsCustomDecoder::Decode() {
    ReadHeaders(mainHeaders_);
    headerEnd_ = lines_.Position();
    ParseMessageHeaders();
    try {
        const bool multipart = Contains(LowerCase(mainHeaders_.GetFieldValue("Content-Type")), "multipart/");
        if (Contains(mainHeaders_.GetFieldValue("MIME-VERSION"), "1.0") || multipart) {
            DecodeMime();
        } else {
            DecodePlain();
        }
    } catch (const Exception& error) {
        ErrorFallback(error.what());
    }
}

std::string_view TmsCustomDecoder::ReadLine() {
    return lines_.NextLine();
}

std::string_view TmsCustomDecoder::RestOfText() {
    const std::string_view text = lines_.Text();
    return lines_.AtEnd() ? std::string_view() : text.substr(std::min(lines_.Position(), text.size()));
}

void TmsCustomDecoder::ReadHeaders(TmsHeaders& list) {
    list.Clear();
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd() || line.empty()) return;
        list.Add(std::string(line));
    }
}

void TmsCustomDecoder::DecodeMime() {
    // This mailer labels plain text bodies with a type that does not fit them.
    if (mainHeaders_.GetFieldValue("X-Mailer") == "V Mailsystem R #0001")
        mainHeaders_.DeleteField("Content-Type");
    const std::string type = mainHeaders_.GetFieldValue("Content-type");
    const std::string lower = LowerCase(type);
    if (Contains(lower, "multipart")) {
        DecodeTree(MimePart::FromContent(mainHeaders_, RestOfText()));
    } else if (!type.empty() && !Contains(lower, "text/")) {
        DecodeSinglePart();
    } else {
        // cc:Mail names its text bodies; a named text part is a file otherwise.
        const std::string name = MimeParameters(type).Get("name");
        if (!name.empty() && name != "cc:Mail") {
            DecodeSinglePart();
        } else {
            DecodeTextBody();
        }
    }
}

// The body is the first leaf on the way down the first parts, when it is
// text meant for reading; every other leaf becomes an attachment.
const MimePart* TmsCustomDecoder::FindBodyPart(const MimePart& root) {
    const MimePart* part = &root;
    while (part->IsMultipart() && !part->Parts.empty()) part = &part->Parts.front();
    if (part->IsMultipart() || part->KeptWhole || !part->Type.starts_with("text/")) return nullptr;
    if (IsNamedFile(part->Headers)) return nullptr;
    return part;
}

void TmsCustomDecoder::DecodeTree(const MimePart& root) {
    if (root.Parts.empty()) throw EMessageParserError("Cannot find boundary");
    const MimePart* bodyPart = FindBodyPart(root);
    DecodeLeaves(root, bodyPart, false);
    if (bodyPart && message_.Attachments().Count() == 0) message_.SetContentType(bodyPart->Type);
}

void TmsCustomDecoder::DecodeLeaves(const MimePart& part, const MimePart* bodyPart, bool inAlternative) {
    if (part.IsMultipart() && !part.Parts.empty()) {
        const bool alternative = inAlternative || part.Type == "multipart/alternative";
        for (const MimePart& child : part.Parts) DecodeLeaves(child, bodyPart, alternative);
        return;
    }
    if (&part == bodyPart) {
        SetBody(part);
    } else {
        AddPartAttachment(part, inAlternative);
    }
}

void TmsCustomDecoder::SetBody(const MimePart& part) {
    const Content content = ContentFromEncoding(part.Headers.GetFieldValue("Content-Transfer-Encoding"));
    std::string decoded;
    if (content != Content::SevenBit) {
        DecodingAttachment([&] { DecodeContent(content, part.Content, decoded); });
    }
    LoadBody(content == Content::SevenBit ? part.Content : std::string_view(decoded),
             CharsetOf(part.Headers));
    if (message_.Body().empty()) message_.Body().emplace_back();
}

void TmsCustomDecoder::LoadBody(std::string_view text, std::string_view charset) {
    const bool ascii = IsAscii(text);
    if (ascii && !NeedsConversion(charset)) {
        LoadTextLines(text, message_.Body());
        message_.SetCharSet(csUSASCII);
        return;
    }
    if (message_.KeepBodyBytes) {
        LoadTextLines(text, message_.Body());
        message_.SetCharSet(IsValidUtf8(text) ? csUTF8 : csISO8859);
        return;
    }
    const std::string utf8 = TextToUtf8(text, charset);
    LoadTextLines(utf8, message_.Body());
    message_.SetCharSet(IsAscii(utf8) ? csUSASCII : csUTF8);
}

void TmsCustomDecoder::AddPartAttachment(const MimePart& part, bool inAlternative) {
    auto item = std::make_unique<TmsAttItem>();
    DecodingAttachment([&] {
        const std::string transferEncoding = part.Headers.GetFieldValue("Content-Transfer-Encoding");
        const Content content = ContentFromEncoding(transferEncoding);
        const bool message = part.Type == "message/rfc822" || part.KeptWhole || part.IsMultipart();
        const char* prefix = message                                           ? "att."
                             : inAlternative && part.Type.starts_with("text/") ? "_alt."
                                                                               : "att.";
        item->ContentType = part.Type;
        NameItem(*item, part.Headers, ItemEncoding(transferEncoding), prefix);
        if (part.KeptWhole) {
            item->Data = part.Whole;
        } else {
            DecodeContent(content, part.Content, item->Data);
        }
        if (message) {
            // A message (or what is left of a tree too deep to take apart)
            // stays whole, as a file any mail reader opens.
            if (!LowerCase(item->FileName()).ends_with(".eml") && item->FileName().starts_with("att."))
                item->SetFileName(item->FileName() + ".eml");
            item->ContentType = "message/rfc822";
            item->Encoding = ae7Bit;
        }
    });
    AddAttachment(std::move(item));
}

TmsCustomDecoder::Content TmsCustomDecoder::ContentFromEncoding(const std::string& transferEncoding) {
    const std::string lower = LowerCase(Trim(transferEncoding));
    if (lower == "base64") return Content::Base64;
    if (lower.starts_with("x-uue")) return Content::UUencoded;
    if (lower == "quoted-printable") return Content::QuotedPrintable;
    return Content::SevenBit;
}

void TmsCustomDecoder::DecodeContent(Content content, std::string_view text, std::string& data) const {
    switch (content) {
        case Content::Base64:
            // In pieces of whole lines, each given back once decoded, so that
            // a large part is not held twice.
            data.reserve(data.size() + text.size() / 4 * 3 + 3);
            while (!text.empty()) {
                std::size_t end = text.find('\n', std::min(text.size(), kReleaseChunk));
                end = end == std::string_view::npos ? text.size() : end + 1;
                Base64DecodeLenientAppend(text.substr(0, end), data);
                lines_.Release(text.substr(0, end));
                text.remove_prefix(end);
            }
            return;
        case Content::UUencoded: {
            data.reserve(data.size() + text.size() / 4 * 3);
            LineScanner scanner(text);
            for (std::size_t position = 0; position < text.size();) {
                const LineSpan span = scanner.Line(position);
                const std::string_view line = text.substr(position, span.length);
                position = span.next;
                if (!line.empty() && !IsUUFrame(line)) UUDecodeLineAppend(line, data);
            }
            return;
        }
        case Content::QuotedPrintable:
            QPDecodeText(text, data);
            // The decoder ends the last line; the content did not.
            if (!text.empty() && text.back() != '\n' && text.back() != '\r' && !text.ends_with("=") &&
                data.ends_with("\r\n")) {
                data.resize(data.size() - 2);
            }
            return;
        case Content::SevenBit:
            data += text;
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
void TmsCustomDecoder::NameItem(TmsAttItem& item, const TmsHeaders& headers, TAttEncoding encoding,
                                const char* prefix) const {
    std::string name = MimeParameters(headers.GetFieldValue("Content-Type")).Get("name");
    if (name.empty()) name = MimeParameters(headers.GetFieldValue("Content-Disposition")).Get("filename");
    if (!name.empty()) {
        item.SetFileName(SafeFileName(name));
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

void TmsCustomDecoder::DecodeSinglePart() {
    const std::string type = mainHeaders_.GetFieldValue("Content-type");
    if (type.empty()) throw EMessageParserError("Missing required field: Content-Type");
    auto item = std::make_unique<TmsAttItem>();
    DecodingAttachment([&] {
        const std::string transferEncoding = mainHeaders_.GetFieldValue("Content-Transfer-Encoding");
        NameItem(*item, mainHeaders_, ItemEncoding(transferEncoding), "att.");
        item->ContentType = MimeParameters(type).MainValue();
        DecodeContent(ContentFromEncoding(transferEncoding), RestOfText(), item->Data);
    });
    AddAttachment(std::move(item));
}

void TmsCustomDecoder::DecodeTextBody() {
    const std::string type = mainHeaders_.GetFieldValue("Content-Type");
    const MimeParameters parameters(type);
    if (parameters.MainValue() == "text/html" || parameters.MainValue() == "text/rtf")
        message_.SetContentType(parameters.MainValue());

    message_.Body().clear();
    const std::string encoding = LowerCase(Trim(mainHeaders_.GetFieldValue("Content-Transfer-Encoding")));
    const bool quotedPrintable =
        encoding == "quoted-printable" ||
        (encoding != "base64" &&
         Contains(mainHeaders_.GetFieldValue("X-MIME-Autoconverted"), "quoted-printable"));
    const std::string_view rest = RestOfText();
    if (encoding != "base64" && !quotedPrintable) {
        // A text message may carry uuencoded files after its text.
        for (std::string_view line = ReadLine(); !lines_.AtEnd(); line = ReadLine()) {
            if (IsUUBegin(line)) {
                RestartAsPlain();
                return;
            }
        }
    }
    std::string text;
    DecodeContent(quotedPrintable ? Content::QuotedPrintable : ContentFromEncoding(encoding), rest, text);
    LoadBody(text, parameters.Get("charset"));
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

// Text without a declared character set is UTF-8 when it is, else
// windows-1252; each line is taken over as it is read, so that the body is
// UTF-8 even when a uuencoded file after it turns out broken. Text between and
// after uuencoded files belongs to the body as well.
void TmsCustomDecoder::DecodePlain() {
    std::vector<std::string>& body = message_.Body();
    bool endMayFollow = false;
    for (;;) {
        const std::string_view line = ReadLine();
        if (lines_.AtEnd()) break;
        if (std::exchange(endMayFollow, false) && SameText(line, "end")) continue;
        if (IsUUBegin(line)) {
            // The empty line before "begin" separates the file from the text.
            if (!body.empty() && body.back().empty()) body.pop_back();
            endMayFollow = DecodeUUFile(line);
            message_.SetEncoding(meUU);
        } else if (IsAscii(line)) {
            body.emplace_back(line);
        } else {
            body.push_back(Utf8FromUndeclared(line));
            message_.SetCharSet(csUTF8);
        }
    }
}

// One file, up to its "`" line (then true: the "end" line is still to come),
// its "end" line or the end of the text.
bool TmsCustomDecoder::DecodeUUFile(std::string_view beginLine) {
    auto item = std::make_unique<TmsAttItem>();
    bool graveLine = false;
    try {
        const std::string name = UUFileName(beginLine);
        item->SetFileName(name.empty() ? PartName("att.") : SafeFileName(Utf8FromUndeclared(name)));
        for (;;) {
            const std::string_view line = ReadLine();
            if (lines_.AtEnd() || SameText(line, "END")) break;
            if (line == "`") {
                graveLine = true;
                break;
            }
            if (!line.empty()) UUDecodeLineAppend(line, item->Data);
        }
    } catch (const std::exception&) {
        throw EMessageParserError("Error decoding the attachment");
    }
    AddAttachment(std::move(item));
    return graveLine;
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

}  // namespace qlk
