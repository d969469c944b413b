#include "message/Utf8Text.h"

namespace qlk {

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The character of the well-formed UTF-8 sequence at bytes[at], and its
// length; length 0 when there is none (overlong forms, surrogates and values
// past U+10FFFF are not well formed).
struct Sequence {
    char32_t character = 0;
    std::size_t length = 0;
};

Sequence SequenceAt(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    char32_t character = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, character = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, character = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, character = lead & 0x07, lowest = 0x10000;
    } else {
        return {};
    }
    if (bytes.size() - at < length) return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[at + k]);
        if (!IsContinuation(byte)) return {};
        character = (character << 6) | (byte & 0x3F);
    }
    if (character < lowest || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) return {};
    return {character, length};
}

}  // namespace

std::u32string DecodeText(std::string_view bytes) {
    std::u32string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        const Sequence sequence = byte < 0x80 ? Sequence{byte, 1} : SequenceAt(bytes, at);
        if (sequence.length == 0) {
            text += static_cast<char32_t>(byte);
            ++at;
        } else {
            text += sequence.character;
            at += sequence.length;
        }
    }
    return text;
}

void AppendUtf8(std::string& out, char32_t character) {
    if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) character = 0xFFFD;
    auto put = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (character < 0x80) {
        put(character);
    } else if (character < 0x800) {
        put(0xC0 | (character >> 6));
        put(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        put(0xE0 | (character >> 12));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    } else {
        put(0xF0 | (character >> 18));
        put(0x80 | ((character >> 12) & 0x3F));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    }
}

}  // namespace qlk
