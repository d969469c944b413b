#include "message/TmsAttItem.h"

#include <fstream>

#include "message/TextUtils.h"
#include "platform/EFOpenError.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace {

TAttEncoding EncodingForType(const std::string& contentType) {
    // The whole type is compared: a type with parameters matches nothing.
    const std::string upper = UpperCase(contentType);
    if (upper == "TEXT/PLAIN" || upper == "TEXT/RTF" || upper == "TEXT/HTML") return aeQuotedPrintable;
    if (upper == "MESSAGE/RFC822") return ae7Bit;
    return aeBase64;
}

}  // namespace

void TmsAttItem::SetFileName(std::string_view fileName) {
    fileName_ = fileName;
    if (fileName_.empty()) return;
    ContentType = GetMimeType(fileName_);
    Encoding = EncodingForType(ContentType);
}

void TmsAttItem::LoadDataFromFile() {
    std::ifstream in(fileName_, std::ios::binary);
    if (!in) throw EFOpenError(fileName_);
    std::string content;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) throw EStreamError::Read();
    Data = std::move(content);
}

}  // namespace qlk
