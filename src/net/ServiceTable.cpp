#include "net/ServiceTable.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace qlk {

namespace {

// "110/tcp" -> 110; 0 for another protocol or a text that is no port.
std::uint16_t TcpPortOf(const std::string& word) {
    auto slash = word.find('/');
    if (slash == std::string::npos || word.compare(slash + 1, std::string::npos, "tcp") != 0) return 0;
    unsigned port = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + slash, port);
    if (ec != std::errc() || end != word.data() + slash || port > 65535) return 0;
    return static_cast<std::uint16_t>(port);
}

}  // namespace

std::uint16_t ServiceTable::TcpPort(const std::string& name, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(MaxFileSize, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::istringstream lines(text);
    // "name port/protocol [aliases...] [# comment]"
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string service, portWord;
        if (!(words >> service >> portWord)) continue;
        std::uint16_t port = TcpPortOf(portWord);
        if (port == 0) continue;
        if (service == name) return port;
        for (std::string alias; words >> alias;) {
            if (alias == name) return port;
        }
    }
    return 0;
}

}  // namespace qlk
