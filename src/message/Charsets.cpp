#include "message/Charsets.h"

#include <optional>

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "message/TextUtils.h"

namespace qlk {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The bytes 0x80-0x9F of windows-1252; the five it leaves undefined keep the
// C1 code point of the same value, so no byte is ever lost.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Code points below U+10000 only: all windows-1252 needs.
char* PutCodePoint(char32_t c, char* d) {
    if (c < 0x800) {
        *d++ = static_cast<char>(0xC0 | (c >> 6));
        *d++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *d++ = static_cast<char>(0xE0 | (c >> 12));
        *d++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *d++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return d;
}

// Bytes up to the first one with the high bit set, eight at a time.
std::size_t AsciiPrefix(std::string_view text) {
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

void AppendWindows1252(std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + text.size() * 3);
    char* d = out.data() + start;
    while (!text.empty()) {
        const std::size_t ascii = AsciiPrefix(text);
        std::memcpy(d, text.data(), ascii);
        d += ascii;
        text.remove_prefix(ascii);
        if (text.empty()) break;
        const auto c = static_cast<unsigned char>(text.front());
        d = PutCodePoint(c < 0xA0 ? kWindows1252High[c - 0x80] : c, d);
        text.remove_prefix(1);
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
}

// The iconv name for a MIME charset label; labels that mail programs write
// for a set iconv knows by another name, or that senders use for its
// superset, are mapped to what the text really is.
std::string IconvName(std::string_view charset) {
    std::string name = LowerCase(Trim(charset));
    std::erase(name, '"');
    static const std::pair<std::string_view, std::string_view> kAliases[] = {{"utf8", "UTF-8"},
                                                                             {"iso-8859-1", "WINDOWS-1252"},
                                                                             {"latin1", "WINDOWS-1252"},
                                                                             {"ascii", "WINDOWS-1252"},
                                                                             {"us-ascii", "WINDOWS-1252"},
                                                                             {"gb2312", "GB18030"},
                                                                             {"gbk", "GB18030"},
                                                                             {"x-gbk", "GB18030"},
                                                                             {"cp936", "GB18030"},
                                                                             {"ks_c_5601-1987", "CP949"},
                                                                             {"euc-kr", "CP949"},
                                                                             {"x-sjis", "CP932"},
                                                                             {"shift_jis", "CP932"},
                                                                             {"shift-jis", "CP932"},
                                                                             {"sjis", "CP932"},
                                                                             {"windows-31j", "CP932"},
                                                                             {"big5", "BIG5-HKSCS"},
                                                                             {"x-mac-roman", "MACINTOSH"},
                                                                             {"unicode-1-1-utf-7", "UTF-7"}};
    for (const auto& [label, iconvName] : kAliases) {
        if (name == label) return std::string(iconvName);
    }
    return name;
}

class Converter {
public:
    explicit Converter(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
    ~Converter() {
        if (Valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    void Append(std::string_view text, std::string& out) {
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        std::string buffer(text.size() * 3 + 16, '\0');
        while (inLeft > 0) {
            char* to = buffer.data();
            std::size_t toLeft = buffer.size();
            const std::size_t result = iconv(cd_, &in, &inLeft, &to, &toLeft);
            const int error = errno;
            out.append(buffer.data(), buffer.size() - toLeft);
            if (result != static_cast<std::size_t>(-1)) break;
            if (error == E2BIG) continue;
            // An invalid or unfinished sequence: one byte is lost and marked.
            out += kReplacement;
            if (error != EILSEQ || inLeft == 0) break;
            ++in;
            --inLeft;
        }
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        iconv(cd_, nullptr, nullptr, &to, &toLeft);
        out.append(buffer.data(), buffer.size() - toLeft);
    }

private:
    iconv_t cd_;
};

// Length of the well-formed UTF-8 sequence at p, or 0 where none starts:
// overlong forms, surrogates and values beyond U+10FFFF are not well formed.
std::size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80) return 1;
    std::size_t length = 0;
    char32_t value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Position of the first byte that does not begin a well-formed sequence.
std::size_t ValidUtf8Prefix(std::string_view text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    const auto* p = begin;
    while (p < end) {
        if (*p < 0x80) {
            p += AsciiPrefix(
                std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
            continue;
        }
        const std::size_t length = Utf8SequenceLength(p, end);
        if (length == 0) break;
        p += length;
    }
    return static_cast<std::size_t>(p - begin);
}

// Well-formed sequences are kept; each byte that starts none becomes U+FFFD.
void AppendRepairedUtf8(std::string_view text, std::string& out) {
    while (!text.empty()) {
        const std::size_t valid = ValidUtf8Prefix(text);
        out.append(text.substr(0, valid));
        text.remove_prefix(valid);
        if (text.empty()) break;
        out += kReplacement;
        text.remove_prefix(1);
    }
}

}  // namespace

bool IsAscii(std::string_view text) {
    return AsciiPrefix(text) == text.size();
}

bool IsValidUtf8(std::string_view text) {
    return ValidUtf8Prefix(text) == text.size();
}

bool ConvertToUtf8(std::string_view text, std::string_view charset, std::string& out) {
    const std::string name = IconvName(charset);
    if (name.empty()) return false;
    // glibc's iconv passes code points beyond U+10FFFF through from UTF-8
    // (and UCS-4), so what it writes is repaired, not trusted.
    if (name == "UTF-8" || name == "utf-8") {
        AppendRepairedUtf8(text, out);
        return true;
    }
    if (name == "WINDOWS-1252" || name == "windows-1252" || name == "cp1252") {
        AppendWindows1252(text, out);
        return true;
    }
    Converter converter(name);
    if (!converter.Valid()) return false;
    std::string converted;
    converter.Append(text, converted);
    AppendRepairedUtf8(converted, out);
    return true;
}

std::string Utf8FromUndeclared(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    AppendWindows1252(text, out);
    return out;
}

bool NeedsConversion(std::string_view charset) {
    const std::string name = LowerCase(charset);
    return name.find("2022") != std::string::npos || name.find("utf-7") != std::string::npos ||
           name.find("utf-16") != std::string::npos || name.find("utf-32") != std::string::npos;
}

std::optional<std::string> KnownTextToUtf8(std::string_view text, std::string_view charset) {
    if (IsAscii(text) && !NeedsConversion(charset)) return std::string(text);
    const std::string name = LowerCase(Trim(charset));
    if (name.empty() || name == "us-ascii" || name == "ascii") return Utf8FromUndeclared(text);
    std::string out;
    if (!ConvertToUtf8(text, charset, out)) return std::nullopt;
    return out;
}

std::string TextToUtf8(std::string_view text, std::string_view charset) {
    std::optional<std::string> converted = KnownTextToUtf8(text, charset);
    return converted ? std::move(*converted) : Utf8FromUndeclared(text);
}

}  // namespace qlk
