#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace qlk {

// Helpers shared by the codecs' whole-buffer paths.

// Two output characters for every 12-bit value, so that three input bytes
// become four characters in two look-ups.
using PairTable = std::array<std::array<char, 2>, 4096>;

template <typename CharOf>
PairTable MakePairTable(CharOf charOf) {
    PairTable table{};
    for (unsigned v = 0; v < 4096; ++v) table[v] = {charOf(v >> 6), charOf(v & 63)};
    return table;
}

// Index of the first CR or LF at or after pos (text.size() when none).
inline std::size_t LineEnd(std::string_view text, std::size_t pos) {
    const char* p = text.data();
    const std::size_t n = text.size();
    while (pos < n && p[pos] != '\n' && p[pos] != '\r') ++pos;
    return pos;
}

// Start of the next line after a line that ends at end: CR LF, LF and CR
// each end one line.
inline std::size_t NextLineStart(std::string_view text, std::size_t end) {
    if (end >= text.size()) return text.size();
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
}

}  // namespace qlk
