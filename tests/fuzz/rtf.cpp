// The RTF reader that restores the status window from QLKLOG.RTF, fed any bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gateway/RtfDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto lines = qlk::RtfDocument::Read(std::string_view(reinterpret_cast<const char*>(data), size));
    if (lines.size() > qlk::RtfDocument::MaxLines) __builtin_trap();
    for (const auto& line : lines)
        if (line.text.size() > qlk::RtfDocument::MaxLineLength) __builtin_trap();
    return 0;
}
