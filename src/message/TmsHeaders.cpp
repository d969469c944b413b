#include "message/TmsHeaders.h"

#include <algorithm>

#include "message/EMessageParserError.h"
#include "message/HeaderWords.h"
#include "message/TextUtils.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxFieldText = 255;

// A malformed encoded word (bad base64 inside it) leaves the value as it
// arrived: one broken header must not make the whole message unreadable.
std::string DecodedOrRaw(const std::string& value) {
    try {
        return DecodeHeaderWords(value);
    } catch (const EMessageParserError&) {
        return value;
    }
}

bool IsContinuation(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string WithColon(std::string_view name) {
    std::string field(name);
    if (field.empty() || field.back() != ':') field += ':';
    return field;
}

// Commas inside a quoted display name ("Doe, Jane" <jd@x>) do not separate
// items. Continuation lines are split without this protection.
std::vector<std::string_view> SplitAtCommas(std::string_view text, bool protectQuoted) {
    std::vector<std::string_view> pieces;
    bool inQuotes = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"' && protectQuoted) {
            inQuotes = !inQuotes;
        } else if (text[i] == ',' && !inQuotes) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    // An empty piece between two commas counts; an empty remainder does not.
    if (start < text.size()) pieces.push_back(text.substr(start));
    return pieces;
}

void AddItems(std::string_view text, bool protectQuoted, std::vector<std::string>& list) {
    for (std::string_view piece : SplitAtCommas(text, protectQuoted)) {
        std::string item = Trim(piece);
        if (item.size() > kMaxFieldText) item.resize(kMaxFieldText);
        list.push_back(DecodedOrRaw(item));
    }
}

}  // namespace

std::string TmsHeaders::GetFieldValue(std::string_view name) const {
    const std::string field = WithColon(name);
    auto line = std::find_if(lines_.begin(), lines_.end(),
                             [&](const std::string& l) { return StartsWithNoCase(l, field); });
    if (line == lines_.end()) return "";

    std::string value = Trim(std::string_view(*line).substr(line->find(':') + 1));
    for (++line; line != lines_.end() && IsContinuation(*line); ++line) {
        value += ' ';
        value += Trim(*line);
    }
    if (SameText(field, "Content-Type:") || SameText(field, "X-UIDL:")) return value;
    if (value.size() > kMaxFieldText) value.resize(kMaxFieldText);
    return DecodedOrRaw(value);
}

void TmsHeaders::GetFieldList(std::string_view name, std::vector<std::string>& list) const {
    list.clear();
    std::size_t i = 0;
    while (i < lines_.size()) {
        const std::string& line = lines_[i];
        if (!StartsWithNoCase(line, name)) {
            ++i;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) return;
        AddItems(std::string_view(line).substr(colon + 1), true, list);
        for (++i; i < lines_.size() && lines_[i].find(':') == std::string::npos; ++i) {
            AddItems(lines_[i], false, list);
        }
    }
}

void TmsHeaders::DeleteField(std::string_view name) {
    const std::string field = WithColon(name);
    auto first = std::find_if(lines_.begin(), lines_.end(),
                              [&](const std::string& l) { return StartsWithNoCase(l, field); });
    if (first == lines_.end()) return;
    auto last = std::next(first);
    while (last != lines_.end() && IsContinuation(*last)) ++last;
    lines_.erase(first, last);
}

void TmsHeaders::TruncateAtBlankLine() {
    auto blank = std::find_if(lines_.begin(), lines_.end(), [](const std::string& l) { return l.empty(); });
    lines_.erase(blank, lines_.end());
}

}  // namespace qlk
