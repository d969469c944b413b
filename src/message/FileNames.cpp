#include "message/FileNames.h"

#include "platform/Utf8Cut.h"

namespace qlk {

namespace {

// The longest file name the file systems take (NAME_MAX).
constexpr std::size_t kMaxNameBytes = 255;
// A longer "extension" is part of the name rather than a type to keep.
constexpr std::size_t kMaxExtensionBytes = 32;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 32 || byte == 127;
}

std::string WithoutControls(std::string_view name) {
    std::string kept;
    kept.reserve(name.size());
    for (char c : name) {
        if (!IsControl(c)) kept += c;
    }
    return kept;
}

// "..", "..." and longer runs could climb out of the folder once joined to a
// path by a careless caller; one dot is all a file name needs.
std::string WithoutDotRuns(std::string_view name) {
    std::string kept;
    kept.reserve(name.size());
    for (char c : name) {
        if (c == '.' && !kept.empty() && kept.back() == '.') continue;
        kept += c;
    }
    return kept;
}

std::string_view TrimBlanks(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

std::string WithinNameBound(const std::string& name) {
    if (name.size() <= kMaxNameBytes) return name;
    const std::size_t dot = name.rfind('.');
    const bool keepExtension = dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtensionBytes;
    const std::string_view extension =
        keepExtension ? std::string_view(name).substr(dot) : std::string_view();
    const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
    return std::string(TrimBlanks(CutUtf8(stem, kMaxNameBytes - extension.size()))) + std::string(extension);
}

}  // namespace

std::string_view ExtractFileName(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string SafeFileName(std::string_view name) {
    const std::string visible = WithoutControls(name);
    std::string safe(TrimBlanks(WithoutDotRuns(ExtractFileName(visible))));
    if (safe.empty() || safe == ".") return "attachment";
    return WithinNameBound(safe);
}

}  // namespace qlk
