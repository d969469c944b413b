#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qlk {

// The mail hosts that have offered TLS (STLS, or a session over TLS from the
// first byte), one lower-case name a line, in an owner-only file. A host once
// seen with TLS must not be used without it later: a path that strips STLS
// must not get the password in clear. The file is read as hostile: a line
// that is not a host name is passed over, and at most MaxHosts are kept.
class TlsHostMemory {
public:
    static constexpr std::size_t MaxHosts = 4096;
    static constexpr std::size_t MaxFileBytes = MaxHosts * 256;

    explicit TlsHostMemory(std::filesystem::path file) : file_(std::move(file)) {}

    bool Remembers(std::string_view host) const;
    // Adds HOST, unless it is there already or the file is full. Raises
    // qlk::Exception when the file cannot be written.
    void Remember(std::string_view host) const;

    // A name or address literal fit for a line of the file.
    static bool IsHostName(std::string_view host);

private:
    std::string ReadFile() const;

    std::filesystem::path file_;
};

}  // namespace qlk
