#include "message/MimeParameters.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "message/Charsets.h"
#include "message/HeaderWords.h"
#include "message/TextUtils.h"

namespace qlk {

namespace {

// Sections beyond this are ignored: a name is not made of thousands of pieces.
constexpr int kMaxSection = 999;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && IsBlank(text[i])) ++i;
}

// A quoted string from the opening quote at i; a missing closing quote runs
// to the end.
std::string ReadQuoted(std::string_view text, std::size_t& i) {
    std::string value;
    for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            ++i;
            break;
        }
        if (c == '\\' && i + 1 < text.size()) ++i;
        value += text[i];
    }
    return value;
}

std::string ReadToken(std::string_view text, std::size_t& i) {
    const std::size_t start = i;
    while (i < text.size() && text[i] != ';') ++i;
    return TrimRight(text.substr(start, i - start));
}

}  // namespace

MimeParameters::MimeParameters(std::string_view value) {
    std::size_t i = value.find(';');
    mainValue_ = LowerCase(Trim(value.substr(0, i)));
    while (i != std::string_view::npos && i < value.size()) {
        ++i;  // the ";"
        SkipBlanks(value, i);
        const std::size_t nameStart = i;
        while (i < value.size() && value[i] != '=' && value[i] != ';') ++i;
        if (i >= value.size() || value[i] == ';') continue;
        std::string name = LowerCase(Trim(value.substr(nameStart, i - nameStart)));
        ++i;  // the "="
        SkipBlanks(value, i);
        Piece piece;
        piece.value = i < value.size() && value[i] == '"' ? ReadQuoted(value, i) : ReadToken(value, i);
        i = value.find(';', i);
        if (name.ends_with('*')) {
            piece.extended = true;
            name.pop_back();
        }
        if (const std::size_t star = name.find('*'); star != std::string::npos) {
            int section = -1;
            const char* first = name.data() + star + 1;
            const char* last = name.data() + name.size();
            auto [end, ec] = std::from_chars(first, last, section);
            if (ec != std::errc() || end != last || section < 0 || section > kMaxSection) continue;
            piece.section = section;
            name.resize(star);
        }
        piece.name = std::move(name);
        pieces_.push_back(std::move(piece));
    }
}

std::string MimeParameters::Raw(std::string_view name) const {
    const std::string wanted = LowerCase(name);
    for (const Piece& piece : pieces_) {
        if (piece.name == wanted && piece.section == -1 && !piece.extended) return piece.value;
    }
    return "";
}

std::string MimeParameters::Get(std::string_view name) const {
    const std::string wanted = LowerCase(name);
    // RFC 2231 sections, in order of their numbers, win over a plain value.
    std::map<int, const Piece*> sections;
    const Piece* plain = nullptr;
    const Piece* extended = nullptr;
    for (const Piece& piece : pieces_) {
        if (piece.name != wanted) continue;
        if (piece.section >= 0) {
            sections.emplace(piece.section, &piece);
        } else if (piece.extended) {
            if (!extended) extended = &piece;
        } else if (!plain) {
            plain = &piece;
        }
    }
    if (!sections.empty() || extended) {
        std::string charset;
        std::string bytes;
        bool first = true;
        auto take = [&](const Piece& piece) {
            std::string_view text = piece.value;
            if (first && piece.extended) {
                // charset'language'value
                const std::size_t q1 = text.find('\'');
                const std::size_t q2 = q1 == std::string_view::npos ? q1 : text.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    charset = text.substr(0, q1);
                    text.remove_prefix(q2 + 1);
                }
            }
            first = false;
            bytes += piece.extended ? HexEscapesDecoded(text, '%') : std::string(text);
        };
        if (extended) {
            take(*extended);
        } else {
            for (const auto& [number, piece] : sections) take(*piece);
        }
        return charset.empty() ? Utf8FromUndeclared(bytes) : TextToUtf8(bytes, charset);
    }
    if (!plain) return "";
    if (plain->value.find("=?") != std::string::npos) return DecodeHeaderWords(plain->value);
    return Utf8FromUndeclared(plain->value);
}

}  // namespace qlk
