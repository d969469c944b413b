#include "message/TextUtils.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include "message/TmsMailAddress.h"
#include "platform/EFCreateError.h"
#include "platform/EStreamError.h"
#include "platform/MimeTypeTable.h"

namespace qlk {

namespace {

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

constexpr std::string_view kDefaultMimeType = "application/octet-stream";

}  // namespace

std::string TrimLeft(std::string_view s) {
    std::size_t start = 0;
    while (start < s.size() && IsTrimmed(s[start])) ++start;
    return std::string(s.substr(start));
}

std::string TrimRight(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0 && IsTrimmed(s[end - 1])) --end;
    return std::string(s.substr(0, end));
}

std::string Trim(std::string_view s) {
    std::size_t start = 0;
    while (start < s.size() && IsTrimmed(s[start])) ++start;
    std::size_t end = s.size();
    while (end > start && IsTrimmed(s[end - 1])) --end;
    return std::string(s.substr(start, end - start));
}

std::string StripQuotes(std::string_view s) {
    std::string trimmed = Trim(s);
    std::string_view rest(trimmed);
    while (!rest.empty() && rest.front() == '"') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
    return std::string(rest);
}

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// The first (or last) `wanted` character outside quoted strings and comments.
std::size_t FindOutside(std::string_view text, char wanted, bool last = false) {
    bool quoted = false;
    int comment = 0;
    std::size_t found = kNotFound;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (quoted || comment > 0)) {
            ++i;
        } else if (quoted) {
            quoted = c != '"';
        } else if (c == wanted && comment == 0) {
            found = i;
            if (!last) return i;
        } else if (c == '"' && comment == 0) {
            quoted = true;
        } else if (c == '(') {
            ++comment;
        } else if (c == ')' && comment > 0) {
            --comment;
        }
    }
    return found;
}

// What an address text says outside its comments, and what the comments say.
// In `plain` quoted strings stay as written; in `phrase` their quotes and
// escapes go. Comments are joined by a blank.
struct AddressParts {
    std::string plain;
    std::string phrase;
    std::string comments;
};

AddressParts SplitComments(std::string_view text) {
    AddressParts parts;
    bool quoted = false;
    int comment = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool escaped = c == '\\' && (quoted || comment > 0) && i + 1 < text.size();
        if (comment > 0) {
            if (escaped) {
                parts.comments += text[++i];
            } else if (c == '(') {
                ++comment;
                parts.comments += c;
            } else if (c == ')') {
                if (--comment > 0) parts.comments += c;
            } else {
                parts.comments += c;
            }
        } else if (quoted) {
            parts.plain += c;
            if (escaped) {
                parts.plain += text[++i];
                parts.phrase += text[i];
            } else if (c == '"') {
                quoted = false;
            } else {
                parts.phrase += c;
            }
        } else if (c == '(') {
            comment = 1;
            if (!parts.comments.empty()) parts.comments += ' ';
        } else {
            if (c == '"') {
                quoted = true;
            } else {
                parts.phrase += c;
            }
            parts.plain += c;
        }
    }
    return parts;
}

// A display name as its sender meant it: quotes and their escapes removed,
// comments left out, unless the name is only a comment ("jd@x (John Doe)").
std::string DisplayName(std::string_view text) {
    const AddressParts parts = SplitComments(text);
    const std::string name = StripQuotes(parts.phrase);
    return name.empty() ? StripQuotes(parts.comments) : name;
}

bool IsFoldingBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The mailbox of an address text without its comments, as RFC 5322 reads
// obsolete forms: blanks around "@" and "." go ("jdoe@test . example") and
// a source route before the mailbox goes ("@relay.test:mary@example.net").
std::string PlainMailbox(std::string_view text) {
    std::string kept;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && IsFoldingBlank(c)) {
            std::size_t next = i;
            while (next < text.size() && IsFoldingBlank(text[next])) ++next;
            const bool nearSeparator = (!kept.empty() && (kept.back() == '@' || kept.back() == '.')) ||
                                       (next < text.size() && (text[next] == '@' || text[next] == '.'));
            if (nearSeparator) {
                i = next - 1;
                continue;
            }
        }
        kept += c;
    }
    if (kept.starts_with('@')) {
        const std::size_t colon = FindOutside(kept, ':', true);
        if (colon != kNotFound) kept.erase(0, colon + 1);
    }
    return kept;
}

// Enclosing quotes go ("\"jd@x\""); a quoted local part ("\"j d\"@x") stays.
std::string Unquoted(std::string_view mailbox) {
    const std::string stripped = StripQuotes(mailbox);
    return stripped.find('"') == std::string::npos ? stripped : Trim(mailbox);
}

}  // namespace

std::string HexEscapesDecoded(std::string_view text, char escape) {
    auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == escape && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void ParseAddress(std::string_view text, TmsMailAddress& address) {
    // The mailbox is in the last angle brackets: "John >x< <y>" is y's.
    const std::size_t lt = FindOutside(text, '<', true);
    if (lt == kNotFound) {
        if (FindOutside(text, '(') == kNotFound) {
            address.Address = PlainMailbox(text);
            address.Name = "";
            return;
        }
        // "mailbox (Name)": the comments are all the name there is.
        const AddressParts parts = SplitComments(text);
        address.Address = Unquoted(PlainMailbox(parts.plain));
        address.Name = StripQuotes(parts.comments);
        return;
    }
    const std::size_t gt = text.find('>', lt);
    if (gt != kNotFound) {
        address.Address = Unquoted(PlainMailbox(SplitComments(text.substr(lt + 1, gt - lt - 1)).plain));
        std::string rest(text.substr(0, lt));
        rest += ' ';
        rest.append(text.substr(gt + 1));
        address.Name = DisplayName(rest);
        return;
    }
    address.Address = "";
    address.Name = StripQuotes(text);
}

std::string GetParameter(std::string_view name, std::string_view value) {
    const std::size_t found = FindNoCase(value, name);
    if (found == std::string_view::npos) return {};
    // Drops the name and the character after it, normally the "=".
    const std::size_t after = std::min(value.size(), found + name.size() + 1);
    const std::string rest = Trim(value.substr(after));
    std::string_view result(rest);
    if (!result.empty() && result.front() == '"') {
        result.remove_prefix(1);
        result = result.substr(0, result.find('"'));
    } else {
        result = result.substr(0, result.find(' '));
    }
    if (!result.empty() && result.back() == ';') result.remove_suffix(1);
    return Trim(result);
}

std::string GetMainValue(std::string_view value) {
    value = value.substr(0, 255);
    return Trim(value.substr(0, value.find_first_of(" ;")));
}

std::string ExtractWord(std::string_view s, int n, bool stopAtBlank) {
    std::string rest(s);
    for (int i = 0; i < n; ++i) {
        const std::size_t blank = rest.find(' ');
        if (blank == std::string::npos) return {};
        rest = Trim(std::string_view(rest).substr(blank + 1));
    }
    if (stopAtBlank) rest = rest.substr(0, rest.find(' '));
    return Trim(rest);
}

std::int64_t ExtractWordInt(std::string_view s, int n) {
    const std::string word = ExtractWord(s, n, true);
    std::string_view digits(word);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') return -1;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return -1;
    return value;
}

std::string AddBackslash(std::string_view dir) {
    std::string result(dir);
    if (!result.empty() && result.back() != '/') result += '/';
    return result;
}

std::string GetMimeType(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string(kDefaultMimeType);
    std::string type = MimeTypeTable::System().Lookup(fileName.substr(dot + 1));
    return type.empty() ? std::string(kDefaultMimeType) : type;
}

void SaveStringsToFile(const std::vector<std::string>& lines, const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw EFCreateError(fileName);
    for (const std::string& line : lines) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.write("\r\n", 2);
    }
    out.flush();
    if (!out) throw EStreamError::Write();
}

void RemoveTrailingBlankLines(std::vector<std::string>& lines) {
    while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
}

}  // namespace qlk
