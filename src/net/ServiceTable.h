#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace qlk {

// The TCP port of a service name ("pop3" -> 110) as the local services
// table has it, read straight from the file so that a look-up never waits
// on a network name service.
class ServiceTable {
public:
    static constexpr const char* SystemFile = "/etc/services";
    // Longest table read; the rest of a larger file is not looked at.
    static constexpr std::size_t MaxFileSize = 1024 * 1024;

    // 0 when the name (or an alias) has no TCP entry, or the table is missing.
    static std::uint16_t TcpPort(const std::string& name, const std::filesystem::path& file = SystemFile);
};

}  // namespace qlk
