#include "message/Base64.h"

#include <array>
#include <cstring>

#include "message/CodecTables.h"
#include "message/EMessageParserError.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

using namespace codec_detail;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kPadValue = 255;
constexpr std::uint8_t kInvalid = 0xFF;  // never a 6-bit value; "=" is handled apart
constexpr std::size_t kLineBytes = 57;

constexpr std::array<std::uint8_t, 256> MakeValues() {
    std::array<std::uint8_t, 256> values{};
    for (auto& v : values) v = kInvalid;
    for (std::uint8_t i = 0; i < 64; ++i) values[static_cast<unsigned char>(kAlphabet[i])] = i;
    return values;
}
constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

// "=" adds nothing to its group.
constexpr GroupTables kGroup = MakeGroupTables([](int c) {
    if (c == '=') return 0;
    return kValues[c] == kInvalid ? -1 : int{kValues[c]};
});

const PairTable& EncodePairs() {
    static const PairTable table = MakePairTable([](unsigned v) { return kAlphabet[v]; });
    return table;
}

inline unsigned char At(const char* p, std::size_t i) {
    return static_cast<unsigned char>(p[i]);
}

// Two characters at a time: the 12 bits of every pair of characters read
// little-endian as one 16-bit index, kBadPair when either is not in the
// alphabet ("=" counts as zero).
constexpr std::uint16_t kBadPair = 0x8000;
using PairValues = std::array<std::uint16_t, 65536>;

const PairValues& DecodePairs() {
    static const PairValues table = [] {
        PairValues t{};
        for (unsigned i = 0; i < 65536; ++i) {
            const std::uint32_t v = kGroup.third[i & 0xFF] | kGroup.fourth[i >> 8];
            t[i] = (v & kBadGroup) ? kBadPair : static_cast<std::uint16_t>(v);
        }
        return t;
    }();
    return table;
}

inline std::uint16_t LoadPair(const char* p) {
    std::uint16_t pair;
    std::memcpy(&pair, p, 2);
    return pair;
}

inline std::uint32_t GroupValue(unsigned char c0, unsigned char c1, unsigned char c2, unsigned char c3) {
    return kGroup.first[c0] | kGroup.second[c1] | kGroup.third[c2] | kGroup.fourth[c3];
}

// Writes the encoding of n bytes (whole groups and a padded tail) at out;
// returns the end.
char* EncodeBlock(const unsigned char* in, std::size_t n, char* out) {
    const PairTable& pairs = EncodePairs();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(out, pairs[v >> 12].data(), 2);
        std::memcpy(out + 2, pairs[v & 0xFFF].data(), 2);
        out += 4;
    }
    const std::size_t rest = n - i;
    if (rest > 0) {
        const unsigned v = (unsigned{in[i]} << 16) | (rest == 2 ? unsigned{in[i + 1]} << 8 : 0u);
        out[0] = kAlphabet[v >> 18];
        out[1] = kAlphabet[(v >> 12) & 63];
        out[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

std::size_t EncodedLength(std::size_t n) {
    return (n + 2) / 3 * 4;
}

}  // namespace

std::uint8_t Base64CharValue(char c) {
    if (c == '=') return kPadValue;
    const std::uint8_t value = kValues[static_cast<unsigned char>(c)];
    if (value == kInvalid) ThrowInvalidCharacter();
    return value;
}

std::string Base64EncodeString(std::string_view s) {
    ProcessMessages();
    std::string out;
    Base64EncodeAppend(s.substr(0, 255), out);
    return out;
}

std::string Base64DecodeString(std::string_view line) {
    ProcessMessages();
    std::string out;
    Base64DecodeLineAppend(line.substr(0, 255), out);
    return out;
}

void Base64EncodeAppend(std::string_view data, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + EncodedLength(data.size()));
    EncodeBlock(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data() + start);
}

void Base64EncodeWrapped(std::string_view data, std::string& out, std::string_view lineEnd) {
    EncodeWrapped(data, out, kLineBytes, lineEnd, EncodedLength, EncodeBlock);
}

void Base64DecodeLineAppend(std::string_view line, std::string& out) {
    const std::size_t n = line.size();
    if (n == 0) return;
    const char* p = line.data();
    const std::size_t start = out.size();
    const std::size_t groups = (n + 3) / 4;
    out.resize(start + groups * 3 + 1);
    char* dst = out.data() + start;

    std::size_t i = 0;
    std::uint32_t bad = 0;
    const PairValues& pairs = DecodePairs();
    std::uint16_t badPairs = 0;
    for (; i + 8 <= n; i += 8, dst += 6) {
        const std::uint16_t a = pairs[LoadPair(p + i)], b = pairs[LoadPair(p + i + 2)];
        const std::uint16_t c = pairs[LoadPair(p + i + 4)], d = pairs[LoadPair(p + i + 6)];
        badPairs |= a | b | c | d;
        StoreGroupWithSlack(dst, (std::uint32_t{a} << 12) | b);
        StoreGroupWithSlack(dst + 3, (std::uint32_t{c} << 12) | d);
    }
    if (badPairs & kBadPair) bad = kBadGroup;
    for (; i + 4 <= n; i += 4, dst += 3) {
        const std::uint32_t v = GroupValue(At(p, i), At(p, i + 1), At(p, i + 2), At(p, i + 3));
        bad |= v;
        StoreGroupWithSlack(dst, v);
    }
    std::size_t missing = 0;
    if (i < n) {
        // A short last group: only its own characters are read.
        unsigned char tail[4] = {'=', '=', '=', '='};
        missing = 4 - (n - i);
        std::memcpy(tail, p + i, n - i);
        const std::uint32_t v = GroupValue(tail[0], tail[1], tail[2], tail[3]);
        bad |= v;
        StoreGroupWithSlack(dst, v);
    }
    if (bad & kBadGroup) {
        out.resize(start);
        ThrowInvalidCharacter();
    }

    std::size_t padding = 0;
    while (padding < n && p[n - 1 - padding] == '=') ++padding;
    const std::size_t drop = std::min(groups * 3, padding + missing);
    out.resize(start + groups * 3 - drop);
}

void Base64DecodeText(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size() / 4 * 3 + 3);
    LineWalker scanner(text);
    std::size_t pumped = 0;
    for (std::string_view line; scanner.Next(line);) {
        Base64DecodeLineAppend(line, out);
        if (scanner.Position() - pumped >= kPumpInterval) {
            ProcessMessages();
            pumped = scanner.Position();
        }
    }
}

}  // namespace qlk

namespace qlk {

namespace {

// RFC 2045: characters outside the alphabet are ignored, and "=" ends a
// group, so that text whose lines were padded one by one still decodes.
class LenientDecoder {
public:
    explicit LenientDecoder(std::string& out) : out_(out) {}

    void Line(std::string_view line) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (count_ == 0 && line.size() % 4 == 0 && Clean(line)) {
            Base64DecodeLineAppend(line, out_);
            return;
        }
        for (char c : line) Char(c);
    }

    void Finish() { EndGroup(); }

private:
    static bool Clean(std::string_view line) {
        std::size_t end = line.size();
        while (end > 0 && line[end - 1] == '=') --end;
        for (std::size_t i = 0; i < end; ++i) {
            if (kValues[static_cast<unsigned char>(line[i])] == kInvalid) return false;
        }
        return line.size() - end <= 2;
    }

    void Char(char c) {
        if (c == '=') {
            EndGroup();
            return;
        }
        const std::uint8_t value = kValues[static_cast<unsigned char>(c)];
        if (value == kInvalid) return;
        bits_ = (bits_ << 6) | value;
        if (++count_ == 4) {
            out_ += static_cast<char>(bits_ >> 16);
            out_ += static_cast<char>(bits_ >> 8);
            out_ += static_cast<char>(bits_);
            bits_ = 0;
            count_ = 0;
        }
    }

    void EndGroup() {
        if (count_ >= 2) out_ += static_cast<char>(bits_ >> (count_ * 6 - 8));
        if (count_ == 3) out_ += static_cast<char>(bits_ >> 2);
        bits_ = 0;
        count_ = 0;
    }

    std::string& out_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

}  // namespace

void Base64DecodeLenientAppend(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size() / 4 * 3 + 3);
    LenientDecoder decoder(out);
    LineWalker scanner(text);
    std::size_t pumped = 0;
    for (std::string_view line; scanner.Next(line);) {
        decoder.Line(line);
        if (scanner.Position() - pumped >= kPumpInterval) {
            ProcessMessages();
            pumped = scanner.Position();
        }
    }
    decoder.Finish();
}

}  // namespace qlk
