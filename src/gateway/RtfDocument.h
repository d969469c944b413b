#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/LogLine.h"

namespace qlk {

// The rich-text form of the status window: a header with a colour table
// (black, red, blue, green), one paragraph per line, a closing brace. The
// closing brace is the last byte, so that a line can be appended by writing
// over it.
class RtfDocument {
public:
    static constexpr std::size_t MaxInputBytes = 16 * 1024 * 1024;
    static constexpr std::size_t MaxLines = 20000;
    static constexpr std::size_t MaxLineLength = 64 * 1024;

    static std::string Header();
    static std::string Paragraph(const LogLine& line);
    static constexpr std::string_view Trailer = "}";
    static std::string Write(const std::vector<LogLine>& lines);

    // Reads the lines and colours back from RTF. Tolerates any input: what
    // it cannot understand gives plain text or nothing, never more than
    // MaxLines lines of at most MaxLineLength bytes.
    static std::vector<LogLine> Read(std::string_view rtf);
};

}  // namespace qlk
