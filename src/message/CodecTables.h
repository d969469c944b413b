#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qlk::codec_detail {

// Helpers shared by the codecs' whole-buffer paths, kept in their own
// namespace so that they never meet other classes of the library.

// Two output characters for every 12-bit value, so that three input bytes
// become four characters in two look-ups.
using PairTable = std::array<std::array<char, 2>, 4096>;

template <typename CharOf>
PairTable MakePairTable(CharOf charOf) {
    PairTable table{};
    for (unsigned v = 0; v < 4096; ++v) table[v] = {charOf(v >> 6), charOf(v & 63)};
    return table;
}

// Writes the three bytes of a decoded 24-bit group (v holds them high byte
// first) and one byte of slack after them, in one store.
inline void StoreGroupWithSlack(char* out, std::uint32_t v) {
    static_assert(std::endian::native == std::endian::little);
    const std::uint32_t bytes = __builtin_bswap32(v << 8);
    std::memcpy(out, &bytes, 4);
}

// Walks a text line by line; CR LF, LF and CR each end one line, and a
// final line end gives no empty line after it. memchr finds the line ends;
// the position of the next LF is kept, so text broken by lone CRs is still
// walked in linear time.
class LineWalker {
public:
    explicit LineWalker(std::string_view text) : text_(text), nextLf_(Find('\n', 0, text.size())) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t end = LineEndFrom(pos_);
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < text_.size())
            pos_ += (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ? 2 : 1;
        return true;
    }
    std::size_t Position() const { return pos_; }

    // Index of the first CR or LF at or after pos (the text's size when none).
    std::size_t LineEndFrom(std::size_t pos) {
        if (nextLf_ < pos) nextLf_ = Find('\n', pos, text_.size());
        return Find('\r', pos, nextLf_);
    }

private:
    std::size_t Find(char c, std::size_t from, std::size_t to) const {
        if (from >= to) return to;
        const void* hit = std::memchr(text_.data() + from, c, to - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data()) : to;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t nextLf_;
};

}  // namespace qlk::codec_detail
