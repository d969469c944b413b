#include "message/UUCode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "message/CodecTables.h"
#include "message/EMessageParserError.h"
#include "message/TextUtils.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

using namespace codec_detail;

constexpr std::size_t kLineBytes = 45;

constexpr char CharOf(unsigned value) {
    return value == 0 ? '`' : static_cast<char>(value + 32);
}

constexpr GroupTables kGroup = MakeGroupTables([](int c) {
    if (c > ' ' && c <= '_') return c - 32;
    if (c == '`') return 0;
    if (c == ' ') return 0;  // traditional encoders write a blank for zero, as uudecode reads it
    return -1;
});

const PairTable& EncodePairs() {
    static const PairTable table = MakePairTable(CharOf);
    return table;
}

inline std::uint32_t GroupValue(const unsigned char* g) {
    return kGroup.first[g[0]] | kGroup.second[g[1]] | kGroup.third[g[2]] | kGroup.fourth[g[3]];
}

std::size_t EncodedLineLength(std::size_t n) {
    return 1 + (4 * n) / 3 + (n % 3 != 0 ? 1 : 0);
}

char* EncodeLine(const unsigned char* in, std::size_t n, char* out) {
    const PairTable& pairs = EncodePairs();
    *out++ = CharOf(static_cast<unsigned>(n));
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(out, pairs[v >> 12].data(), 2);
        std::memcpy(out + 2, pairs[v & 0xFFF].data(), 2);
        out += 4;
    }
    if (n - i == 1) {
        *out++ = CharOf(in[i] >> 2);
        *out++ = CharOf((in[i] & 3u) << 4);
    } else if (n - i == 2) {
        const unsigned v = (unsigned{in[i]} << 8) | in[i + 1];
        *out++ = CharOf(v >> 10);
        *out++ = CharOf((v >> 4) & 63);
        *out++ = CharOf((v & 15u) << 2);
    }
    return out;
}

}  // namespace

std::uint8_t UUCharValue(char c) {
    const std::uint32_t value = kGroup.fourth[static_cast<unsigned char>(c)];
    if (value == kBadGroup) ThrowInvalidCharacter();
    return static_cast<std::uint8_t>(value);
}

std::string UUEncodeLine(std::string_view bytes) {
    ProcessMessages();
    std::string out;
    UUEncodeLineAppend(bytes, out);
    return out;
}

std::string UUDecodeLine(std::string_view line) {
    ProcessMessages();
    std::string out;
    UUDecodeLineAppend(line.substr(0, 255), out);
    return out;
}

// Only what uuencode itself writes opens a file: "begin", an octal mode and a
// name. "Begin 100 days of testing" is a line of text.
bool IsUUBegin(std::string_view line) {
    if (!line.starts_with("begin ")) return false;
    std::size_t i = line.find_first_not_of(' ', 6);
    const std::size_t modeStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7') ++i;
    const std::size_t modeLength = i - modeStart;
    if (i == std::string_view::npos || modeLength < 3 || modeLength > 4 || i >= line.size() || line[i] != ' ')
        return false;
    return !Trim(line.substr(i)).empty();
}

// The name follows the mode word. Most encoders write a three-digit mode, but
// four digits ("0644") and extra blanks occur too, so the name is found after
// the mode rather than at a fixed column.
std::string UUFileName(std::string_view line) {
    const std::size_t modeStart = line.find_first_not_of(' ', 5);
    const std::size_t modeEnd = line.find(' ', modeStart);
    const std::size_t nameStart = line.find_first_not_of(' ', modeEnd);
    if (nameStart == std::string_view::npos) return {};
    std::string_view rest = line.substr(nameStart);
    if (rest.front() == '"') {
        rest.remove_prefix(1);
        const std::size_t quote = rest.find('"');
        return quote == std::string_view::npos ? std::string() : std::string(rest.substr(0, quote));
    }
    return std::string(rest.substr(0, rest.find(' ')));
}

void UUEncodeLineAppend(std::string_view bytes, std::string& out) {
    const std::size_t n = std::min(bytes.size(), kLineBytes);
    const std::size_t start = out.size();
    out.resize(start + EncodedLineLength(n));
    EncodeLine(reinterpret_cast<const unsigned char*>(bytes.data()), n, out.data() + start);
}

void UUEncodeWrapped(std::string_view data, std::string& out, std::string_view lineEnd) {
    EncodeWrapped(data, out, kLineBytes, lineEnd, EncodedLineLength, EncodeLine);
}

void UUDecodeLineAppend(std::string_view line, std::string& out) {
    if (line.empty()) return;
    const std::size_t count = UUCharValue(line.front());
    const auto* p = reinterpret_cast<const unsigned char*>(line.data()) + 1;
    const std::size_t n = line.size() - 1;
    const std::size_t groups = (n + 3) / 4;
    const std::size_t start = out.size();
    out.resize(start + groups * 3 + 1);
    char* dst = out.data() + start;

    std::uint32_t bad = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4, dst += 3) {
        const std::uint32_t v = GroupValue(p + i);
        bad |= v;
        StoreGroupWithSlack(dst, v);
    }
    if (i < n) {
        unsigned char tail[4] = {'`', '`', '`', '`'};
        std::memcpy(tail, p + i, n - i);
        const std::uint32_t v = GroupValue(tail);
        bad |= v;
        StoreGroupWithSlack(dst, v);
    }
    if (bad & kBadGroup) {
        out.resize(start);
        ThrowInvalidCharacter();
    }
    out.resize(start + std::min(count, groups * 3));
}

}  // namespace qlk
