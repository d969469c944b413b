#include "message/HeaderWords.h"

#include <algorithm>
#include <optional>

#include "message/Base64.h"
#include "message/Charsets.h"
#include "message/TextUtils.h"
#include "platform/Utf8Cut.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxLength = 255;
constexpr char kEscape = 27;
// Bytes of text per encoded word: 39 bytes make 52 base64 characters, which
// with "=?UTF-8?B?" and "?=" leave room for a field name on the same line
// within 78 characters (RFC 2047 allows words of 75).
constexpr std::size_t kWordBytes = 39;

struct EncodedWord {
    std::string charset;
    std::string bytes;
    std::size_t end = 0;  // just past the closing "?="
};

bool IsLinearBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool AllBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsLinearBlank);
}

// "_" is a blank only inside a Q word; "=5F" is the underscore itself.
std::string QDecoded(std::string_view text) {
    std::string blanks(text);
    std::replace(blanks.begin(), blanks.end(), '_', ' ');
    return HexEscapesDecoded(blanks, '=');
}

// The encoded word that starts at `start` ("=?"), if one does.
bool ParseWord(std::string_view text, std::size_t start, EncodedWord& word) {
    const std::size_t charsetEnd = text.find('?', start + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 3 >= text.size()) return false;
    if (text[charsetEnd + 2] != '?') return false;
    const std::size_t close = text.find("?=", charsetEnd + 3);
    if (close == std::string_view::npos) return false;
    const std::string_view charset = text.substr(start + 2, charsetEnd - start - 2);
    const std::string_view encoded = text.substr(charsetEnd + 3, close - charsetEnd - 3);
    const auto blank = [](char c) { return IsLinearBlank(c); };
    if (charset.empty() || std::any_of(charset.begin(), charset.end(), blank) ||
        std::any_of(encoded.begin(), encoded.end(), blank)) {
        return false;
    }
    // RFC 2231 lets a language follow the set: "UTF-8*en".
    word.charset = std::string(charset.substr(0, charset.find('*')));
    switch (text[charsetEnd + 1]) {
        case 'B':
        case 'b':
            word.bytes.clear();
            Base64DecodeLenientAppend(encoded, word.bytes);
            break;
        case 'Q':
        case 'q':
            word.bytes = QDecoded(encoded);
            break;
        default:
            return false;
    }
    word.end = close + 2;
    return true;
}

std::string PlainText(std::string_view text) {
    return IsAscii(text) ? std::string(text) : Utf8FromUndeclared(text);
}

void AppendPlain(std::string_view text, std::string& out) {
    out += PlainText(text);
}

// Words in a set nobody here knows ("=?NONE?B?...?=") are read when their
// bytes are UTF-8 anyway, and otherwise kept as written (as undeclared text).
std::string WordsText(const std::string& bytes, const std::string& charset, std::string_view written) {
    if (std::optional<std::string> converted = KnownTextToUtf8(bytes, charset)) return std::move(*converted);
    return IsValidUtf8(bytes) ? bytes : PlainText(written);
}

}  // namespace

std::string DecodeHeaderWords(std::string_view s) {
    std::string out;
    std::string pendingBytes;
    std::string pendingCharset;
    std::size_t pendingStart = 0;
    std::size_t pendingEnd = 0;
    auto flush = [&] {
        if (pendingCharset.empty()) return;
        out += WordsText(pendingBytes, pendingCharset, s.substr(pendingStart, pendingEnd - pendingStart));
        pendingBytes.clear();
        pendingCharset.clear();
    };
    std::size_t plainStart = 0;
    bool afterWord = false;
    for (std::size_t start = s.find("=?"); start != std::string_view::npos; start = s.find("=?", start)) {
        EncodedWord word;
        if (!ParseWord(s, start, word)) {
            start += 2;
            continue;
        }
        const std::string_view between = s.substr(plainStart, start - plainStart);
        if (!(afterWord && AllBlank(between))) {
            flush();
            AppendPlain(between, out);
        }
        if (!SameText(word.charset, pendingCharset)) flush();
        if (pendingCharset.empty()) pendingStart = start;
        pendingCharset = word.charset;
        pendingBytes += word.bytes;
        plainStart = start = pendingEnd = word.end;
        afterWord = true;
    }
    flush();
    AppendPlain(s.substr(plainStart), out);
    return out;
}

std::string EncodeJisHeader(std::string_view s) {
    if (s.empty() || s.front() != kEscape) return std::string(s);
    std::string word = "=?ISO-2022-JP?B?" + Base64EncodeString(s) + "?=";
    if (word.size() > kMaxLength) word.resize(kMaxLength);
    return word;
}

std::vector<std::string> EncodeHeaderWords(std::string_view text) {
    if (IsAscii(text) && text.find("=?") == std::string_view::npos) return {std::string(text)};
    const bool utf8 = IsValidUtf8(text);
    const std::string prefix = utf8 ? "=?UTF-8?B?" : "=?ISO-8859-1?B?";
    std::vector<std::string> words;
    while (!text.empty()) {
        const std::string_view piece = utf8 ? CutUtf8(text, kWordBytes) : text.substr(0, kWordBytes);
        std::string word = prefix;
        Base64EncodeAppend(piece, word);
        word += "?=";
        words.push_back(std::move(word));
        text.remove_prefix(piece.size());
    }
    return words;
}

bool NeedsQuoting(std::string_view text) {
    return text.find_first_of("()<>[]:;@\\,.\"") != std::string_view::npos;
}

std::string QuotedString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HeaderPhrase(std::string_view name) {
    if (IsAscii(name)) return NeedsQuoting(name) ? QuotedString(name) : std::string(name);
    std::string phrase;
    for (const std::string& word : EncodeHeaderWords(name)) phrase += (phrase.empty() ? "" : " ") + word;
    return phrase;
}

}  // namespace qlk
