#include "platform/MimeTypeTable.h"

#include <fstream>

#include "platform/AsciiCase.h"

namespace qlk {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits off the next blank-separated word of a line.
std::string_view NextWord(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    std::string_view word = line.substr(start, end - start);
    line.remove_prefix(end);
    return word;
}

// The common types, for machines that have no /etc/mime.types.
constexpr const char* kBuiltInTable[] = {
    "text/plain txt text asc log",
    "text/html html htm",
    "text/rtf rtf",
    "text/css css",
    "text/csv csv",
    "text/xml xml",
    "message/rfc822 eml mht",
    "application/pdf pdf",
    "application/zip zip",
    "application/gzip gz",
    "application/x-tar tar",
    "application/msword doc dot",
    "application/vnd.ms-excel xls xlt",
    "application/vnd.ms-powerpoint ppt pps",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document docx",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet xlsx",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation pptx",
    "application/postscript ps eps ai",
    "application/json json",
    "application/javascript js",
    "application/x-msdownload exe dll",
    "image/gif gif",
    "image/jpeg jpeg jpg jpe",
    "image/png png",
    "image/bmp bmp",
    "image/tiff tiff tif",
    "image/x-icon ico",
    "image/svg+xml svg",
    "audio/mpeg mp3 mpga",
    "audio/x-wav wav",
    "audio/midi mid midi",
    "video/mpeg mpeg mpg mpe",
    "video/mp4 mp4",
    "video/quicktime qt mov",
    "video/x-msvideo avi",
};

}  // namespace

const MimeTypeTable& MimeTypeTable::System() {
    static const MimeTypeTable table = [] {
        MimeTypeTable fromFile = FromFile("/etc/mime.types");
        return fromFile.empty() ? BuiltIn() : fromFile;
    }();
    return table;
}

MimeTypeTable MimeTypeTable::BuiltIn() {
    MimeTypeTable table;
    for (const char* line : kBuiltInTable) table.AddLine(line);
    return table;
}

MimeTypeTable MimeTypeTable::FromFile(const std::filesystem::path& file) {
    MimeTypeTable table;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) table.AddLine(line);
    return table;
}

void MimeTypeTable::AddLine(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::string_view type = NextWord(line);
    if (type.empty()) return;
    // The first file that names an extension wins, as in mime.types readers.
    for (std::string_view ext = NextWord(line); !ext.empty(); ext = NextWord(line))
        types_.emplace(LowerCase(ext), std::string(type));
}

std::string MimeTypeTable::Lookup(std::string_view extension) const {
    auto found = types_.find(LowerCase(extension));
    return found == types_.end() ? std::string() : found->second;
}

}  // namespace qlk
