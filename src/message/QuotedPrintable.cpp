#include "message/QuotedPrintable.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "message/CodecTables.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

using namespace codec_detail;

constexpr unsigned char kCtrlZ = 26;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::uint8_t kNotHex = 0xFF;

constexpr std::array<bool, 256> MakeNeedsEscape() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = c < 32 || c == '=' || c >= 128;
    return table;
}
constexpr std::array<bool, 256> kNeedsEscape = MakeNeedsEscape();

constexpr std::array<std::uint8_t, 256> MakeHexValues() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = kNotHex;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    return table;
}
constexpr std::array<std::uint8_t, 256> kHexValues = MakeHexValues();

bool IsBreak(unsigned char c) {
    return c == '\r' || c == '\n';
}

// A string that is written through a raw cursor and grown in large steps,
// then cut to what was written.
class Output {
public:
    explicit Output(std::string& out) : out_(out), used_(out.size()) {}
    ~Output() { out_.resize(used_); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    char* Reserve(std::size_t count) {
        if (out_.size() < used_ + count) out_.resize(std::max(out_.size() * 2, used_ + count + 4096));
        return out_.data() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }
    std::size_t Used() const { return used_; }
    std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - out_.data()); }
    char LastByte() const { return out_[used_ - 1]; }
    void Truncate(std::size_t size) { used_ = size; }

private:
    std::string& out_;
    std::size_t used_;
};

// Longest encoded line without its soft break: with the "=" a line holds at
// most 76 characters, as RFC 2045 asks.
constexpr std::size_t kMaxEncodedLine = 75;

// Encodes one paragraph (a line of the data without its break) into lines of
// at most 76 characters; every line but the last ends with the soft break.
// Blanks at the end of the paragraph are escaped, so that no transport that
// strips trailing blanks can change the text.
template <typename EmitLine>
void EncodeParagraph(const unsigned char* p, std::size_t length, char* scratch, EmitLine& emit) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = p[i];
        const bool blank = c == ' ' || c == '\t';
        const bool escape = (kNeedsEscape[c] && c != '\t') || (blank && i + 1 == length);
        const std::size_t size = escape ? 3 : 1;
        if (used + size > kMaxEncodedLine) {
            emit(scratch, used, true);
            used = 0;
        }
        if (escape) {
            scratch[used] = '=';
            scratch[used + 1] = kHexDigits[c >> 4];
            scratch[used + 2] = kHexDigits[c & 15];
        } else {
            scratch[used] = static_cast<char>(c);
        }
        used += size;
    }
    emit(scratch, used, false);
}

// Splits the data at its line breaks (CR LF, LF CR, a lone CR or LF; a
// doubled CR or LF is an empty line) and encodes each paragraph. The text
// after the last break is a paragraph too, ended by no break of its own;
// `last` tells the emitter so.
template <typename EmitLine>
void EncodeParagraphs(std::string_view data, EmitLine& emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    LineWalker scanner(data);
    std::size_t pos = 0;
    std::size_t pumped = 0;
    char scratch[kMaxEncodedLine + 3];
    for (;;) {
        const std::size_t breakAt = pos < n ? scanner.LineEndFrom(pos) : n;
        const bool last = breakAt >= n;
        auto emitLine = [&](const char* text, std::size_t length, bool soft) {
            emit(text, length, soft, last);
        };
        EncodeParagraph(p + pos, (last ? n : breakAt) - pos, scratch, emitLine);
        if (last) return;
        const unsigned char first = p[breakAt];
        const unsigned char second = breakAt + 1 < n ? p[breakAt + 1] : 0;
        pos = IsBreak(second) && second != first ? breakAt + 2 : breakAt + 1;
        if (pos - pumped >= kPumpInterval) {
            ProcessMessages();
            pumped = pos;
        }
    }
}

// Decodes lines into an output, paragraph by paragraph.
class LineDecoder {
public:
    explicit LineDecoder(std::string& out) : out_(out), paragraphStart_(out_.Used()), pumped_(out_.Used()) {}

    void Line(std::string_view line) {
        if (breakHeld_) WriteBreak();
        // Blanks at the end of a line were added on the way (RFC 2045).
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        const bool soft = !line.empty() && line.back() == '=';
        if (soft) line.remove_suffix(1);
        char* d = DecodeEscapes(line, out_.Reserve(line.size() + 2));
        out_.Commit(d);
        if (!soft) EndParagraph();
    }

private:
    static char* DecodeEscapes(std::string_view line, char* d) {
        const char* s = line.data();
        const char* end = s + line.size();
        while (s < end) {
            const char* eq = static_cast<const char*>(std::memchr(s, '=', static_cast<std::size_t>(end - s)));
            const char* runEnd = eq ? eq : end;
            std::memcpy(d, s, static_cast<std::size_t>(runEnd - s));
            d += runEnd - s;
            if (!eq) break;
            // The last two characters of a line cannot start an escape.
            if (end - eq > 2) {
                const std::uint8_t high = kHexValues[static_cast<unsigned char>(eq[1])];
                const std::uint8_t low = kHexValues[static_cast<unsigned char>(eq[2])];
                if (high != kNotHex && low != kNotHex) {
                    *d++ = static_cast<char>((high << 4) | low);
                    s = eq + 3;
                    continue;
                }
            }
            *d++ = '=';
            s = eq + 1;
        }
        return d;
    }

    // A text that ends with Ctrl-Z ends there, without a line break; a Ctrl-Z
    // that more lines follow keeps its break, so paragraphs never run together.
    void EndParagraph() {
        breakHeld_ = out_.Used() > paragraphStart_ && static_cast<unsigned char>(out_.LastByte()) == kCtrlZ;
        if (!breakHeld_) WriteBreak();
        paragraphStart_ = out_.Used();
        if (paragraphStart_ - pumped_ >= kPumpInterval) {
            ProcessMessages();
            pumped_ = paragraphStart_;
        }
    }

    void WriteBreak() {
        char* d = out_.Reserve(2);
        d[0] = '\r';
        d[1] = '\n';
        out_.Commit(d + 2);
        paragraphStart_ = out_.Used();
        breakHeld_ = false;
    }

    Output out_;
    std::size_t paragraphStart_;
    std::size_t pumped_;
    bool breakHeld_ = false;
};

}  // namespace

void QPEncodeAppend(std::string_view data, std::string& out, std::string_view lineEnd) {
    out.reserve(out.size() + data.size() + data.size() / 8 + 64);
    Output output(out);
    auto emit = [&](const char* text, std::size_t length, bool soft, bool last) {
        char* d = output.Reserve(length + 1 + lineEnd.size());
        std::memcpy(d, text, length);
        d += length;
        if (soft) *d++ = '=';
        if (soft || !last) {
            std::memcpy(d, lineEnd.data(), lineEnd.size());
            d += lineEnd.size();
        }
        output.Commit(d);
    };
    EncodeParagraphs(data, emit);
}

void QPEncodeLines(std::string_view data, std::vector<std::string>& lines) {
    auto emit = [&](const char* text, std::size_t length, bool soft, bool last) {
        if (last && !soft && length == 0) return;
        std::string line(text, length);
        if (soft) line += '=';
        lines.push_back(std::move(line));
    };
    EncodeParagraphs(data, emit);
}

void QPDecodeLines(const std::vector<std::string>& lines, std::string& out, std::size_t maxLineLength) {
    LineDecoder decoder(out);
    for (const std::string& line : lines) decoder.Line(std::string_view(line).substr(0, maxLineLength));
}

void QPDecodeText(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    LineDecoder decoder(out);
    LineWalker scanner(text);
    for (std::string_view line; scanner.Next(line);) decoder.Line(line);
}

std::string QPDecodeString(std::string_view s) {
    std::string decoded;
    {
        LineDecoder decoder(decoded);
        decoder.Line(s.substr(0, 255));
    }
    decoded.resize(std::min(decoded.size(), decoded.find_first_of("\r\n")));
    if (decoded.size() > 255) decoded.resize(255);
    return decoded;
}

}  // namespace qlk
