#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qlk {

// Maps file extensions to MIME content types. The system table is read once
// from /etc/mime.types; a machine without that file gets a built-in table of
// the common types. Extensions are compared without regard to case.
class MimeTypeTable {
public:
    // The table the program uses: /etc/mime.types, else the built-in one.
    static const MimeTypeTable& System();

    static MimeTypeTable BuiltIn();
    // Reads a file in mime.types format ("type ext ext ..." per line, "#"
    // starts a comment). An unreadable file gives an empty table.
    static MimeTypeTable FromFile(const std::filesystem::path& file);

    // The content type registered for the extension (without its dot), or ""
    // when none is.
    std::string Lookup(std::string_view extension) const;
    bool empty() const { return types_.empty(); }

private:
    void AddLine(std::string_view line);

    std::unordered_map<std::string, std::string> types_;
};

}  // namespace qlk
