#include "message/TmsCustomMessage.h"

#include <filesystem>
#include <fstream>
#include <istream>
#include <utility>

#include "message/EMessageError.h"
#include "message/FileNames.h"
#include "message/MappedFile.h"
#include "message/TextUtils.h"
#include "platform/EFCreateError.h"
#include "platform/EFOpenError.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace {

// How an application or the decoder marks attachments: "_alt." parts are the
// alternatives of the body, the two fixed names an HTML or RTF body.
bool IsAlternativePart(const TmsAttItem& item) {
    return LowerCase(ExtractFileName(item.FileName())).starts_with("_alt.");
}

std::string LowerFileName(const TmsAttItem& item) {
    return LowerCase(ExtractFileName(item.FileName()));
}

std::string ReadWholeStream(std::istream& stream) {
    stream.clear();
    stream.seekg(0, std::ios::beg);
    if (!stream) stream.clear();  // not seekable: read from where it stands
    std::string text;
    char chunk[65536];
    while (stream.read(chunk, sizeof chunk) || stream.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(stream.gcount()));
    }
    if (stream.bad()) throw EStreamError::Read();
    return text;
}

std::string ReadWholeFile(const std::string& fileName) {
    std::error_code error;
    if (std::filesystem::is_directory(fileName, error)) throw EFOpenError(fileName);
    std::ifstream file(fileName, std::ios::binary);
    if (!file) throw EFOpenError(fileName);
    if (!std::filesystem::is_regular_file(fileName, error)) return ReadWholeStream(file);
    // A regular file is read in one piece, so the text is held only once.
    const auto size = std::filesystem::file_size(fileName, error);
    if (error) return ReadWholeStream(file);
    std::string text(size, '\0');
    file.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) throw EStreamError::Read();
    return text;
}

}  // namespace

TmsCustomMessage::TmsCustomMessage() = default;
TmsCustomMessage::~TmsCustomMessage() = default;

void TmsCustomMessage::SetAttachments(TmsAttList&& attachments) {
    attachments_ = std::move(attachments);
    contentType_ = attachments_.Count() == 0 ? "text/plain" : "multipart/mixed";
}

const std::string& TmsCustomMessage::ContentType() const {
    const int count = attachments_.Count();
    bool allAlternative = count > 0;
    for (int i = 0; i < count && allAlternative; ++i)
        allAlternative = IsAlternativePart(attachments_.Items(i));

    if (encoding_ == meUU) {
        contentType_ = "";
    } else if (allAlternative) {
        contentType_ = "multipart/alternative";
    } else if (count == 1 && body_.empty() && LowerFileName(attachments_.Items(0)) == "_rtfbody.rtf") {
        contentType_ = "text/rtf";
    } else if (count == 1 && body_.empty() && LowerFileName(attachments_.Items(0)) == "_htmbody.htm") {
        contentType_ = "text/html";
    } else if (!body_.empty()) {
        if (count > 0) {
            contentType_ = "multipart/mixed";
        } else if (contentType_.empty()) {
            contentType_ = "text/plain";
        }
    } else if (count == 1) {
        contentType_ = attachments_.Items(0).ContentType.str();
    } else {
        contentType_ = count == 0 ? "text/plain" : "multipart/mixed";
    }
    return contentType_.str();
}

void TmsCustomMessage::SetContentType(std::string_view type) {
    contentType_ = LowerCase(type);
}

void TmsCustomMessage::Validate() const {
    if (sender_.Address.empty()) throw EMessageError("The address of sender is required");
}

void TmsCustomMessage::LoadFromStream(std::istream& stream) {
    LoadFromText(ReadWholeStream(stream));
}

void TmsCustomMessage::Clear() {
    body_.clear();
    attachments_.Clear();
    headers_.Clear();
    sender_.Clear();
    subject_.clear();
    encoding_ = meMIME;
    charSet_ = csUSASCII;
    contentType_.clear();
}

void TmsCustomMessage::LoadFromFile(const std::string& fileName) {
    Clear();
    // A large stored message is read in place, and then held in memory only
    // as its decoded parts. A small one is read whole: mapping it, advising
    // and unmapping cost three TLB flushes, more than the read.
    constexpr std::size_t kMapFrom = 1 << 20;
    if (const MappedFile mapped(fileName, kMapFrom); mapped.Mapped()) {
        LoadFromView(mapped.Text(), [&mapped](std::string_view part) { mapped.Release(part); });
        return;
    }
    LoadFromText(ReadWholeFile(fileName));
}

std::string TmsCustomMessage::SaveAttachment(std::size_t index, const std::string& directory) const {
    const TmsAttItem& item = attachments_.Items(static_cast<int>(index));
    const std::string path = AddBackslash(directory) + SafeFileName(item.FileName());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw EFCreateError(path);
    file.write(item.Data.data(), static_cast<std::streamsize>(item.Data.size()));
    file.close();
    if (!file) throw EStreamError::Write();
    return path;
}

void TmsCustomMessage::Loaded() {
    for (int i = 0; i < attachments_.Count(); ++i) {
        TmsAttItem& item = attachments_.Items(i);
        if (!item.FileName().empty()) item.LoadDataFromFile();
    }
}

void TmsCustomMessage::Assign(const TmsCustomMessage& source) {
    if (&source == this) return;
    sender_ = source.sender_;
    subject_ = source.subject_;
    encoding_ = source.encoding_;
    charSet_ = source.charSet_;
    headers_ = source.headers_;
    body_ = source.body_;
    attachments_.Assign(source.attachments_);
    contentType_ = source.ContentType();
    Tag = source.Tag;
    KeepBodyBytes = source.KeepBodyBytes;
}

}  // namespace qlk
