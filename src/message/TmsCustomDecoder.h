#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/MimePart.h"
#include "message/TLineStream.h"
#include "message/TmsAttItem.h"
#include "message/TmsHeaders.h"

namespace qlk {

class TmsCustomMessage;

// Turns the stored text of one received message into the message model: the
// top-level header fields into the properties, the first text part into Body
// (converted to UTF-8 from its declared character set), every other leaf
// part of the MIME tree, to any depth, into an attachment of its own
// (content decoded into memory, message/rfc822 parts kept whole), and the
// character set of Body into CharSet. It also reads plain messages with
// uuencoded files. Decoding problems do not lose the message: it keeps what
// was decoded, gets an explanatory text and carries the whole received text
// as the attachment "original.eml".
class TmsCustomDecoder {
public:
    // Takes over `text`, the whole stored message; `message` is filled by
    // Decode and not cleared first.
    TmsCustomDecoder(TmsCustomMessage& message, std::string text);
    // Reads `text` in place; the caller keeps it alive until Decode returns.
    TmsCustomDecoder(TmsCustomMessage& message, std::string_view text, TLineStream::Borrowed borrowed);
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
    enum class Content { Base64, UUencoded, QuotedPrintable, SevenBit };

    void ReadHeaders(TmsHeaders& list);
    std::string_view ReadLine();
    std::string_view RestOfText();
    void DecodeMime();
    void DecodeTree(const MimePart& root);
    void DecodeLeaves(const MimePart& part, const MimePart* bodyPart, bool inAlternative);
    void SetBody(const MimePart& part);
    void AddPartAttachment(const MimePart& part, bool inAlternative);
    void DecodeSinglePart();
    void DecodeTextBody();
    void RestartAsPlain();
    void DecodePlain();
    bool DecodeUUFile(std::string_view beginLine);
    void ErrorFallback(const std::string& text);

    static const MimePart* FindBodyPart(const MimePart& root);
    static Content ContentFromEncoding(const std::string& transferEncoding);
    void DecodeContent(Content content, std::string_view text, std::string& data) const;
    void LoadBody(std::string_view text, std::string_view charset);
    std::string PartName(const char* prefix) const;
    void NameItem(TmsAttItem& item, const TmsHeaders& headers, TAttEncoding encoding,
                  const char* prefix) const;
    void AddAttachment(std::unique_ptr<TmsAttItem> item);

    TLineStream lines_;
    std::size_t headerEnd_ = 0;
};

}  // namespace qlk
