#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "message/TmsAddressList.h"
#include "message/TmsAttItem.h"

namespace qlk {

class TmsCustomMessage;

// Writes a message as RFC 822 text with MIME 1.0 structure, or as plain text
// with uuencoded attachments. The layout (field order and spacing, one address
// per folded line, the boundary form, when quoted-printable is used, how
// alternative and attachment parts nest) is what receiving software and our
// own decoder read. Mail and news differ only in their header fields.
class TmsCustomEncoder {
public:
    explicit TmsCustomEncoder(TmsCustomMessage& message);
    virtual ~TmsCustomEncoder();
    TmsCustomEncoder(const TmsCustomEncoder&) = delete;
    TmsCustomEncoder& operator=(const TmsCustomEncoder&) = delete;

    // Writes the whole message to `output`, from where it stands.
    void Encode(std::ostream& output);
    // Whether a part may go as 8-bit text (a forwarded message with 8-bit
    // bytes). Off for a relay that does not take 8-bit mail: every part is
    // then 7-bit, such a message becomes a base64 file.
    void AllowEightBit(bool allow) { eightBit_ = allow; }

    // Eight digits from "0" to "8".
    static std::string NewBoundary();

protected:
    virtual void WriteHeaders() = 0;

    // One line and CR LF; the text ends at its first zero byte.
    void WriteLine(std::string_view text);
    // A header line: CR and LF inside a value become blanks, so that no
    // value can start a header line of its own.
    void WriteHeaderLine(std::string_view text);
    // The sender or a recipient name as it goes into a header: RFC 2047
    // words when it is not ASCII, else quoted when it holds an RFC 5322
    // special (and quoteSpecials is set).
    std::string HeaderName(std::string_view name, bool quoteSpecials) const;
    // Header text, ISO-2022-JP encoded where the message asks for it.
    std::string HeaderText(std::string_view text) const;
    // A header of free text (the subject): as RFC 2047 words when it is not
    // ASCII, folded into lines of at most 76 characters.
    void WriteFoldedHeader(std::string_view label, std::string_view text);
    // Drops the fields this encoder writes itself from the message's Headers,
    // then writes the remaining lines.
    void WriteOtherHeaders();

    TmsCustomMessage& message_;

private:
    void WriteTextBody();
    void WriteMultipart(bool alternativeOnly);
    void WriteSingleAttachment();
    void WriteHtmlRtfBody();
    void WriteUU();
    void WriteTextPartHeaders();
    void WriteFileHeaders(const TmsAttItem& item);
    static std::string TextCharset(const TmsAttItem& item);
    TAttEncoding SentEncoding(const TmsAttItem& item) const;
    std::string SentContentType(const TmsAttItem& item) const;
    std::string EncodingLabel(const TmsAttItem& item) const;
    void WriteDateAndMessageId();
    std::vector<std::string> HeaderWords(std::string_view text) const;
    bool BodyQuotedPrintable() const;
    std::string BodyCharset() const;
    void WriteAttachmentData(const TmsAttItem& item);
    void WriteBase64(const std::string& data);
    void WriteQuotedPrintable(const std::string& data);
    void WriteTextLines(const std::string& data);
    std::vector<std::string> PreparedBody() const;
    std::vector<std::string> QuotedPrintableBody() const;
    void Flush();

    bool eightBit_ = true;
    bool longLines_ = false;
    bool eightBitBody_ = false;
    bool bodyUtf8_ = true;
    std::ostream* output_ = nullptr;
    std::string buffer_;
};

}  // namespace qlk
