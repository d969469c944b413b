#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/TLineStream.h"
#include "message/TmsAttItem.h"
#include "message/TmsHeaders.h"

namespace qlk {

class TmsCustomMessage;

// Turns the stored text of one received message into the message model: the
// top-level header fields into the properties, the text body into Body, every
// other part into an attachment (content decoded into memory) and the
// character set into CharSet. It reads MIME 1.0 (single part, multiparts, one
// nested multipart/alternative, base64, quoted-printable, x-uue) and plain
// messages with uuencoded files. Decoding problems do not lose the message:
// it keeps what was decoded, gets an explanatory text and carries the whole
// received text as the attachment "original.eml".
//
// Lines of any length are kept whole; nothing recurses, so the depth of the
// input's nesting costs no stack.
class TmsCustomDecoder {
public:
    // Takes over `text`, the whole stored message; `message` is filled by
    // Decode and not cleared first.
    TmsCustomDecoder(TmsCustomMessage& message, std::string text);
    virtual ~TmsCustomDecoder();
    TmsCustomDecoder(const TmsCustomDecoder&) = delete;
    TmsCustomDecoder& operator=(const TmsCustomDecoder&) = delete;

    void Decode();

protected:
    // Takes the top-level header block into the target's properties.
    virtual void ParseMessageHeaders() = 0;

    TmsCustomMessage& message_;
    TmsHeaders mainHeaders_;

private:
    // The lines of one part's content, and the line that ended them.
    struct PartLines {
        std::vector<std::string_view> lines;
        std::string_view endLine;
        bool endedByBoundary = false;
    };
    enum class Content { Base64, UUencoded, QuotedPrintable, SevenBit };
    // What ends a part's content besides the end of the text.
    enum class PartEnd { Boundary, Dot, TextEnd };

    void ReadHeaders(TmsHeaders& list);
    std::string_view ReadLine();
    void SkipToLineEqual(std::string_view wanted, const char* error);
    void DecodeMime();
    void DecodeMultipart();
    void DecodeFirstPart();
    void DecodeParts();
    bool FinishPart(const PartLines& part);
    void DecodeSinglePart();
    void DecodeTextBody();
    void RestartAsPlain();
    void DecodePlain();
    void DecodeUUFiles(std::string_view beginLine);
    void ErrorFallback(const std::string& text);
    void RemoveFinalDot();

    PartLines ReadPartLines(PartEnd end);
    static void DropBoundaryLineEnd(PartLines& part);
    static Content ContentFromEncoding(const std::string& transferEncoding);
    static void DecodeContent(Content content, const std::vector<std::string_view>& lines, std::string& data);
    std::string PartName(const char* prefix) const;
    void NameItem(TmsAttItem& item, const std::string& contentType, const TmsHeaders& headers,
                  TAttEncoding encoding, const char* prefix) const;
    void AddAttachment(std::unique_ptr<TmsAttItem> item);

    TLineStream lines_;
    TmsHeaders partHeaders_;
    std::string boundary_;
    std::string outerBoundary_;
    bool inAlternative_ = false;
    bool topAlternative_ = false;
};

}  // namespace qlk
