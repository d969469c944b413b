#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "message/TLineStream.h"
#include "message/TmsAttList.h"
#include "message/TmsHeaders.h"
#include "message/TmsMailAddress.h"
#include "platform/ShortString.h"

namespace qlk {

// Whole-message format: MIME, or plain text with uuencoded attachments.
enum TMsgEncoding { meMIME, meUU };

// Character set of the body text. A received message's body is decoded to
// UTF-8, so the decoder sets csUSASCII or csUTF8; the other values are for
// bodies an application fills itself.
enum TCharSet { csUSASCII, csISO8859, csISO2022jp, csUTF8 };

// What mail and news messages share: sender, subject, header lines, the plain
// text body, the attachments (alternative body parts included) and the
// computed MIME type of the whole message. Writing the message as RFC 822/MIME
// text and reading it back are done by the derived classes.
class TmsCustomMessage {
public:
    TmsCustomMessage();
    virtual ~TmsCustomMessage();
    TmsCustomMessage(const TmsCustomMessage&) = delete;
    TmsCustomMessage& operator=(const TmsCustomMessage&) = delete;

    TmsMailAddress& Sender() { return sender_; }
    const TmsMailAddress& Sender() const { return sender_; }
    const std::string& Subject() const { return subject_; }
    void SetSubject(std::string_view subject) { subject_ = subject; }
    TMsgEncoding Encoding() const { return encoding_; }
    void SetEncoding(TMsgEncoding encoding) { encoding_ = encoding; }
    TCharSet CharSet() const { return charSet_; }
    void SetCharSet(TCharSet charSet) { charSet_ = charSet; }
    TmsHeaders& Headers() { return headers_; }
    const TmsHeaders& Headers() const { return headers_; }
    void SetHeaders(const TmsHeaders& headers) { headers_ = headers; }
    std::vector<std::string>& Body() { return body_; }
    const std::vector<std::string>& Body() const { return body_; }
    void SetBody(const std::vector<std::string>& body) { body_ = body; }
    TmsAttList& Attachments() { return attachments_; }
    const TmsAttList& Attachments() const { return attachments_; }
    // Takes `attachments`; the stored type then becomes "text/plain" for an
    // empty list and "multipart/mixed" otherwise.
    void SetAttachments(TmsAttList&& attachments);

    // The MIME type of the whole message, worked out afresh from the body and
    // the attachments on every read (and remembered).
    const std::string& ContentType() const;
    // Stores `type` lower-cased; it counts only for a text message without
    // attachments.
    void SetContentType(std::string_view type);

    // A free number for the application, copied by Assign.
    int Tag = 0;
    // Reading keeps the body's bytes as stored instead of converting them to
    // UTF-8: for a store whose readers want back exactly the bytes written.
    bool KeepBodyBytes = false;

    // Throws EMessageError when a field needed for sending is missing.
    virtual void Validate() const;
    // Writes the message as RFC 822/MIME text. Writing changes the message:
    // generated fields leave Headers, and an HTML or RTF body stays encoded.
    virtual void SaveToStream(std::ostream& stream) = 0;
    // Reads a stored message from the start of `stream` into this one, which
    // is not cleared first.
    void LoadFromStream(std::istream& stream);
    // The same for a message already in memory; the text is taken over.
    virtual void LoadFromText(std::string text) = 0;
    // The same for text the caller keeps alive while it is read (a mapped
    // file): nothing is copied.
    // `release` hears of parts read through (see TLineStream::Borrowed).
    virtual void LoadFromView(std::string_view text, const TextRelease& release = {}) = 0;
    virtual void Clear();
    // Takes the fields of a top-level header block into the properties.
    virtual void ParseHeaders(const TmsHeaders& headers) = 0;

    // Clear, then read the stored message in `fileName`. A missing file
    // throws EFOpenError.
    void LoadFromFile(const std::string& fileName);
    // Writes attachment `index` whole into `directory` under its file name
    // reduced to a safe plain name, and returns the path written.
    std::string SaveAttachment(std::size_t index, const std::string& directory) const;

    // After the attachment list was read from a stored form (names, types and
    // encodings only): reloads each attachment's content from its file.
    void Loaded();

    virtual void Assign(const TmsCustomMessage& source);

private:
    TmsMailAddress sender_;
    ShortString subject_;
    TMsgEncoding encoding_ = meMIME;
    TCharSet charSet_ = csUSASCII;
    TmsHeaders headers_;
    std::vector<std::string> body_;
    TmsAttList attachments_;
    mutable ShortString contentType_ = "text/plain";
};

}  // namespace qlk
