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

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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

std::string UpperCase(std::string_view s) {
    std::string upper(s);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return upper;
}

std::string LowerCase(std::string_view s) {
    std::string lower(s);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    return lower;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::size_t FindNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty() || needle.size() > haystack.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (SameText(haystack.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

std::string StripQuotes(std::string_view s) {
    std::string trimmed = Trim(s);
    std::string_view rest(trimmed);
    while (!rest.empty() && rest.front() == '"') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
    return std::string(rest);
}

void ParseAddress(std::string_view text, TmsMailAddress& address) {
    const std::size_t lt = text.find('<');
    if (lt == std::string_view::npos) {
        const std::size_t par = text.find('(');
        if (par == std::string_view::npos) {
            address.Address = text;
            address.Name = "";
            return;
        }
        std::string_view comment = text.substr(par + 1);
        if (!comment.empty()) comment.remove_suffix(1);  // the closing ")"
        address.Address = StripQuotes(text.substr(0, par));
        address.Name = StripQuotes(comment);
        return;
    }
    const std::size_t gt = text.find('>');
    if (gt != std::string_view::npos && gt > lt) {
        address.Address = StripQuotes(text.substr(lt + 1, gt - lt - 1));
        std::string rest(text.substr(0, lt));
        rest.append(text.substr(gt + 1));
        address.Name = StripQuotes(rest);
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
