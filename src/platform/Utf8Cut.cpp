#include "platform/Utf8Cut.h"

namespace qlk {

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the sequence a lead byte opens; 0 for a byte that opens none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    // The character the bound falls into starts at most three bytes before it.
    for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
        const std::size_t start = maxBytes - back;
        const auto byte = static_cast<unsigned char>(text[start]);
        if (IsContinuation(byte)) continue;
        const std::size_t length = SequenceLength(byte);
        if (length <= back || start + length > text.size()) break;
        for (std::size_t k = start + 1; k < start + length; ++k) {
            if (!IsContinuation(static_cast<unsigned char>(text[k]))) return text.substr(0, maxBytes);
        }
        return text.substr(0, start);
    }
    return text.substr(0, maxBytes);
}

}  // namespace qlk
