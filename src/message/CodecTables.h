#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "message/EMessageParserError.h"
#include "platform/EventPump.h"

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

// Marks a decoded group of four characters that held one outside the alphabet.
inline constexpr std::uint32_t kBadGroup = 0x80000000u;

// Decode tables for a group of four characters, one per position: every
// character's 6-bit value already shifted into place, or kBadGroup, so that a
// group decodes with four look-ups and one test. sixBits(c) gives the value of
// character c, or -1 when it is not in the alphabet.
struct GroupTables {
    std::array<std::uint32_t, 256> first, second, third, fourth;
};

template <typename SixBits>
constexpr GroupTables MakeGroupTables(SixBits sixBits) {
    GroupTables tables{};
    for (int c = 0; c < 256; ++c) {
        const int value = sixBits(c);
        const auto shifted = [value](int shift) {
            return value < 0 ? kBadGroup : static_cast<std::uint32_t>(value) << shift;
        };
        tables.first[c] = shifted(18);
        tables.second[c] = shifted(12);
        tables.third[c] = shifted(6);
        tables.fourth[c] = shifted(0);
    }
    return tables;
}

[[noreturn]] inline void ThrowInvalidCharacter() {
    throw EMessageParserError("Invalid Character");
}

inline constexpr std::size_t kPumpInterval = 64 * 1024;

// Appends data encoded line by line: every lineBytes bytes become one line of
// lineLength(n) characters written by encodeLine(in, n, out) -> end,
// followed by lineEnd. The event pump gets a turn every kPumpInterval bytes.
template <typename LineLength, typename EncodeLine>
void EncodeWrapped(std::string_view data, std::string& out, std::size_t lineBytes, std::string_view lineEnd,
                   LineLength lineLength, EncodeLine encodeLine) {
    const std::size_t fullLines = data.size() / lineBytes;
    const std::size_t rest = data.size() % lineBytes;
    std::size_t total = fullLines * (lineLength(lineBytes) + lineEnd.size());
    if (rest > 0) total += lineLength(rest) + lineEnd.size();
    const std::size_t start = out.size();
    out.resize(start + total);
    char* dst = out.data() + start;
    const auto* src = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t done = 0;
    std::size_t pumped = 0;
    while (done < data.size()) {
        const std::size_t n = std::min(lineBytes, data.size() - done);
        dst = encodeLine(src + done, n, dst);
        std::memcpy(dst, lineEnd.data(), lineEnd.size());
        dst += lineEnd.size();
        done += n;
        if (done - pumped >= kPumpInterval) {
            ProcessMessages();
            pumped = done;
        }
    }
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
