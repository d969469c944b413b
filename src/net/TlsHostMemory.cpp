#include "net/TlsHostMemory.h"

#include <fstream>

#include "platform/AsciiCase.h"
#include "platform/AtomicFile.h"

namespace qlk {

namespace {

// Each line of TEXT that names a host, in order.
template <typename Visit>
void ForEachHost(std::string_view text, Visit visit) {
    std::size_t count = 0;
    for (std::size_t start = 0; start < text.size() && count < TlsHostMemory::MaxHosts;) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        if (TlsHostMemory::IsHostName(line)) {
            ++count;
            if (visit(line)) return;
        }
        start = end + 1;
    }
}

}  // namespace

bool TlsHostMemory::IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 255) return false;
    for (const char c : host) {
        const bool allowed =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
        if (!allowed) return false;
    }
    return true;
}

std::string TlsHostMemory::ReadFile() const {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return {};
    std::string text(MaxFileBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

bool TlsHostMemory::Remembers(std::string_view host) const {
    const std::string name = LowerCase(host);
    bool found = false;
    ForEachHost(ReadFile(), [&](std::string_view line) { return found = line == name; });
    return found;
}

void TlsHostMemory::Remember(std::string_view host) const {
    const std::string name = LowerCase(host);
    if (!IsHostName(name)) return;
    std::string kept;
    std::size_t count = 0;
    bool found = false;
    ForEachHost(ReadFile(), [&](std::string_view line) {
        found = line == name;
        kept.append(line).append("\n");
        ++count;
        return found;
    });
    if (found || count >= MaxHosts) return;
    AtomicFile::WriteWhole(file_, kept + name + "\n");
}

}  // namespace qlk
