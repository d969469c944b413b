#include "gateway/RtfDocument.h"

#include "message/Utf8Text.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace qlk {

namespace {

// Colour-table entries 1 to 4; entry 0 is the reader's automatic colour.
int ColorIndex(LogColor color) {
    switch (color) {
        case LogColor::Black:
            return 1;
        case LogColor::Red:
            return 2;
        case LogColor::Blue:
            return 3;
        case LogColor::Green:
            return 4;
    }
    return 1;
}

void AppendHexByte(std::string& out, unsigned byte) {
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\'";
    out += hex[(byte >> 4) & 0x0f];
    out += hex[byte & 0x0f];
}

// One UTF-16 unit as \uN (a signed 16-bit number) with "?" for readers that
// do not know the character.
void AppendUnicodeUnit(std::string& out, char32_t unit) {
    const int value = static_cast<int>(unit);
    out += "\\u" + std::to_string(value > 32767 ? value - 65536 : value) + '?';
}

// The text's characters in code page 1252 where it agrees with Latin-1 and
// as Unicode escapes beyond, so any reader shows what the window showed.
void AppendEscaped(std::string& out, const std::string& text) {
    for (char32_t c : DecodeText(text)) {
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f || (c >= 0xa0 && c <= 0xff)) {
            AppendHexByte(out, static_cast<unsigned>(c));
        } else if (c < 0x10000) {
            AppendUnicodeUnit(out, c);
        } else {
            AppendUnicodeUnit(out, 0xD800 + ((c - 0x10000) >> 10));
            AppendUnicodeUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
}

// A byte of code page 1252, the code page the header names.
char32_t FromCodePage1252(unsigned char byte) {
    static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : byte;
}

bool IsHighSurrogate(long unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(long unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

struct Rgb {
    int red = 0, green = 0, blue = 0;
};

LogColor NearestLogColor(const Rgb& c) {
    if (c.red > c.green && c.red > c.blue) return LogColor::Red;
    if (c.blue > c.red && c.blue > c.green) return LogColor::Blue;
    if (c.green > c.red && c.green > c.blue) return LogColor::Green;
    return LogColor::Black;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSkippedDestination(std::string_view word) {
    static constexpr std::array<std::string_view, 24> skipped = {"fonttbl",
                                                                 "stylesheet",
                                                                 "info",
                                                                 "pict",
                                                                 "object",
                                                                 "header",
                                                                 "footer",
                                                                 "headerl",
                                                                 "headerr",
                                                                 "headerf",
                                                                 "footerl",
                                                                 "footerr",
                                                                 "footerf",
                                                                 "listtable",
                                                                 "rsidtbl",
                                                                 "generator",
                                                                 "listoverridetable",
                                                                 "xmlnstbl",
                                                                 "themedata",
                                                                 "datastore",
                                                                 "fldinst",
                                                                 "latentstyles",
                                                                 "colorschememapping",
                                                                 "filetbl"};
    for (auto s : skipped)
        if (word == s) return true;
    return false;
}

// A small, bounded RTF reader: it follows groups, the colour table, \cf,
// paragraph ends and character escapes, and ignores everything else.
class RtfReader {
public:
    explicit RtfReader(std::string_view rtf) : in_(rtf) {}

    std::vector<LogLine> Read() {
        if (in_.substr(0, 5) != "{\\rtf") return {};
        while (pos_ < in_.size() && lines_.size() < RtfDocument::MaxLines) Step();
        if (!line_.text.empty() && lines_.size() < RtfDocument::MaxLines) EndLine();
        return std::move(lines_);
    }

private:
    struct Group {
        int color = 0;
        bool skip = false;
        bool colorTable = false;
        int unicodeSkip = 1;
    };
    static constexpr std::size_t MaxDepth = 512;
    static constexpr std::size_t MaxColors = 256;

    void Step() {
        char c = in_[pos_++];
        switch (c) {
            case '{':
                return OpenGroup();
            case '}':
                return CloseGroup();
            case '\\':
                return ControlSymbolOrWord();
            case '\r':
            case '\n':
                return;
            case ';':
                if (state_.colorTable) return EndColorEntry();
                return AddChar(c);
            default:
                return AddCharacter(FromCodePage1252(static_cast<unsigned char>(c)));
        }
    }

    void OpenGroup() {
        if (stack_.size() >= MaxDepth) {
            ++overflowDepth_;
            return;
        }
        stack_.push_back(state_);
        groupStart_ = true;
    }

    void CloseGroup() {
        if (overflowDepth_ > 0) {
            --overflowDepth_;
            return;
        }
        if (stack_.empty()) return;
        state_ = stack_.back();
        stack_.pop_back();
    }

    void ControlSymbolOrWord() {
        if (pos_ >= in_.size()) return;
        char c = in_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            return ControlSymbol(c);
        }
        std::size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
        std::string_view word = in_.substr(start, pos_ - start);
        bool hasParam = false;
        long param = 0;
        bool negative = pos_ < in_.size() && in_[pos_] == '-';
        if (negative) ++pos_;
        std::size_t digits = 0;
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            if (digits++ < 9) param = param * 10 + (in_[pos_] - '0');
            hasParam = true;
            ++pos_;
        }
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        ControlWord(word, hasParam, param);
        groupStart_ = false;
    }

    void ControlSymbol(char c) {
        bool atGroupStart = groupStart_;
        groupStart_ = false;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                return AddChar(c);
            case '~':
                return AddChar(' ');
            case '_':
            case '-':
                return AddChar('-');
            case '\'':
                return HexByte();
            case '*':
                if (atGroupStart) state_.skip = true;
                return;
            case '\r':
            case '\n':
                return EndLine();
            default:
                return;
        }
    }

    void ControlWord(std::string_view word, bool hasParam, long param) {
        if (groupStart_ && IsSkippedDestination(word)) {
            state_.skip = true;
        } else if (groupStart_ && word == "colortbl") {
            state_.colorTable = true;
            state_.skip = true;
            colors_.clear();
            pending_ = {};
        } else if (state_.colorTable) {
            ColorComponent(word, param);
        } else if (word == "par" || word == "line") {
            if (!state_.skip) EndLine();
        } else if (word == "cf") {
            state_.color = hasParam ? static_cast<int>(param) : 0;
        } else if (word == "plain") {
            state_.color = 0;
        } else if (word == "tab") {
            AddChar('\t');
        } else if (word == "uc" && hasParam) {
            state_.unicodeSkip = param < 0 ? 0 : static_cast<int>(std::min(param, 8L));
        } else if (word == "u" && hasParam) {
            UnicodeChar(param);
        } else if (word == "bin" && hasParam) {
            pos_ += std::min<std::size_t>(param < 0 ? 0 : static_cast<std::size_t>(param), in_.size() - pos_);
        }
    }

    void ColorComponent(std::string_view word, long param) {
        int value = static_cast<int>(std::clamp(param, 0L, 255L));
        if (word == "red") pending_.red = value;
        if (word == "green") pending_.green = value;
        if (word == "blue") pending_.blue = value;
        hasPending_ = true;
    }

    void EndColorEntry() {
        if (colors_.size() < MaxColors)
            colors_.push_back(hasPending_ ? std::optional<Rgb>(pending_) : std::nullopt);
        pending_ = {};
        hasPending_ = false;
    }

    void HexByte() {
        if (pos_ + 2 > in_.size()) {
            pos_ = in_.size();
            return;
        }
        int high = HexValue(in_[pos_]);
        int low = HexValue(in_[pos_ + 1]);
        pos_ += 2;
        if (high >= 0 && low >= 0)
            AddCharacter(FromCodePage1252(static_cast<unsigned char>(high * 16 + low)));
    }

    // A character beyond U+FFFF comes as two \u escapes, its surrogate halves.
    void UnicodeChar(long unit) {
        if (unit < 0) unit += 65536;
        if (IsLowSurrogate(unit) && highSurrogate_ != 0) {
            AddCharacter(0x10000 + ((highSurrogate_ - 0xD800) << 10) +
                         (static_cast<char32_t>(unit) - 0xDC00));
        } else if (IsHighSurrogate(unit)) {
            highSurrogate_ = static_cast<char32_t>(unit);
        } else {
            AddCharacter(unit >= 0 && unit < 0x10000 && !IsLowSurrogate(unit) ? static_cast<char32_t>(unit)
                                                                              : U'\uFFFD');
        }
        if (!IsHighSurrogate(unit)) highSurrogate_ = 0;
        // The plain-text stand-ins that follow \u are not part of the text.
        for (int i = 0; i < state_.unicodeSkip && pos_ < in_.size(); ++i) {
            if (in_[pos_] == '\\' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '\'') {
                pos_ = std::min(pos_ + 4, in_.size());
            } else if (in_[pos_] == '{' || in_[pos_] == '}' || in_[pos_] == '\\') {
                break;
            } else {
                ++pos_;
            }
        }
    }

    void AddChar(char c) { AddCharacter(static_cast<unsigned char>(c)); }

    // Lines hold UTF-8; a character that does not fit whole is left out.
    void AddCharacter(char32_t character) {
        groupStart_ = false;
        if (state_.skip || overflowDepth_ > 0) return;
        if (line_.text.empty()) line_.color = CurrentColor();
        std::string bytes;
        AppendUtf8(bytes, character);
        if (line_.text.size() + bytes.size() <= RtfDocument::MaxLineLength) line_.text += bytes;
    }

    void EndLine() {
        if (state_.skip) return;
        if (line_.text.empty()) line_.color = CurrentColor();
        lines_.push_back(std::move(line_));
        line_ = {};
    }

    LogColor CurrentColor() const {
        if (state_.color <= 0 || static_cast<std::size_t>(state_.color) >= colors_.size())
            return LogColor::Black;
        const auto& entry = colors_[static_cast<std::size_t>(state_.color)];
        return entry ? NearestLogColor(*entry) : LogColor::Black;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    Group state_;
    std::vector<Group> stack_;
    std::size_t overflowDepth_ = 0;
    bool groupStart_ = false;
    std::vector<std::optional<Rgb>> colors_;
    Rgb pending_;
    bool hasPending_ = false;
    LogLine line_;
    std::vector<LogLine> lines_;
    char32_t highSurrogate_ = 0;
};

}  // namespace

std::string RtfDocument::Header() {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
           "{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green0\\blue255;"
           "\\red0\\green128\\blue0;}\r\n"
           "\\viewkind4\\uc1\\pard\\f0\\fs20\r\n";
}

std::string RtfDocument::Paragraph(const LogLine& line) {
    std::string out = "\\cf" + std::to_string(ColorIndex(line.color)) + ' ';
    AppendEscaped(out, line.text);
    out += "\\par\r\n";
    return out;
}

std::string RtfDocument::Write(const std::vector<LogLine>& lines) {
    std::string out = Header();
    for (const auto& line : lines) out += Paragraph(line);
    out += Trailer;
    return out;
}

std::vector<LogLine> RtfDocument::Read(std::string_view rtf) {
    return RtfReader(rtf.substr(0, MaxInputBytes)).Read();
}

}  // namespace qlk
