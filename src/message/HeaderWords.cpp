#include "message/HeaderWords.h"

#include <algorithm>

#include "message/Base64.h"
#include "message/QuotedPrintable.h"
#include "message/TextUtils.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxLength = 255;
constexpr char kEscape = 27;

// The "?=" that closes the encoded word opened at start, or npos. A "?=" right
// after "?B" or "?Q" is the opening of an encoded text that begins with "=",
// not the close.
std::size_t FindWordEnd(std::string_view text, std::size_t start) {
    for (std::size_t q = text.find("?=", start + 2); q != std::string_view::npos;
         q = text.find("?=", q + 1)) {
        const std::string_view before = text.substr(q - 2, 2);
        if (before != "?B" && before != "?Q") return q;
    }
    return std::string_view::npos;
}

std::string DecodeWord(std::string_view word) {
    const std::size_t question = word.find('?');
    if (question == std::string_view::npos) return {};
    const std::string_view rest = word.substr(question + 1);
    if (rest.empty()) return {};
    const std::string_view encoded = rest.size() > 2 ? rest.substr(2) : std::string_view();
    switch (rest.front()) {
        case 'B':
        case 'b':
            return Base64DecodeString(encoded);
        case 'Q':
        case 'q':
            return QPDecodeString(encoded);
        default:
            return {};
    }
}

}  // namespace

std::string DecodeHeaderWords(std::string_view s) {
    std::string text(s.substr(0, kMaxLength));
    for (std::size_t start = text.find("=?"); start != std::string::npos; start = text.find("=?")) {
        const std::size_t end = FindWordEnd(text, start);
        if (end == std::string::npos) {
            text.resize(start);
            break;
        }
        const std::string_view view(text);
        std::string decoded(view.substr(0, start));
        decoded += DecodeWord(view.substr(start + 2, end - start - 2));
        decoded += Trim(view.substr(end + 2));
        std::replace(decoded.begin(), decoded.end(), '_', ' ');
        text = std::move(decoded);
    }
    if (text.size() > kMaxLength) text.resize(kMaxLength);
    return text;
}

std::string EncodeJisHeader(std::string_view s) {
    if (s.empty() || s.front() != kEscape) return std::string(s);
    std::string word = "=?ISO-2022-JP?B?" + Base64EncodeString(s) + "?=";
    if (word.size() > kMaxLength) word.resize(kMaxLength);
    return word;
}

}  // namespace qlk
