#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ShortString.h"

namespace qlk {

// Transfer encoding of an attachment when it is written into a message. The
// numeric values are stored in streams. A part received uuencoded is marked
// aeBase64 too.
enum TAttEncoding : std::uint8_t {
    ae7Bit = 0,
    aeBase64 = 1,
    aeQuotedPrintable = 2,
};

// One attachment: its decoded content, its file name and how it is sent.
class TmsAttItem {
public:
    // Copies Data, ContentType, Encoding and FileName; the copied file name
    // does not re-derive type and encoding.
    void Assign(const TmsAttItem& source) { *this = source; }

    // A file name or a whole path, never cut: names from mail are bounded
    // where they are made safe (SafeFileName), and a path cut short names
    // another file.
    const std::string& FileName() const { return fileName_; }
    // Stores the name; a non-empty name also sets ContentType from the file's
    // extension and Encoding from ContentType: text/plain, text/rtf and
    // text/html are sent quoted-printable, message/rfc822 unchanged, anything
    // else base64.
    void SetFileName(std::string_view fileName);

    // Replaces Data with the whole content of the file named by FileName.
    // Raises EFOpenError when it cannot be opened, EStreamError on a read error.
    void LoadDataFromFile();

    std::string Data;  // the content, decoded (raw bytes)
    ShortString ContentType;
    TAttEncoding Encoding = ae7Bit;

private:
    std::string fileName_;
};

}  // namespace qlk
