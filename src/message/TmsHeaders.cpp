#include "message/TmsHeaders.h"

#include <algorithm>

#include "message/Charsets.h"
#include "message/HeaderWords.h"
#include "message/TextUtils.h"
#include "platform/Utf8Cut.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxFieldText = 255;

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

// Decoded first, cut afterwards, so that no encoded word is cut in half and
// no character is split.
std::string DecodedAndCut(std::string_view value) {
    return std::string(CutUtf8(DecodeHeaderWords(value), kMaxFieldText));
}

// The line is a field called `name` ("To:", "to :"), not one whose name
// merely starts with it ("Topic:").
bool IsField(std::string_view line, std::string_view name) {
    if (!StartsWithNoCase(line, name)) return false;
    const std::size_t colon = line.find_first_not_of(" \t", name.size());
    return colon != std::string_view::npos && line[colon] == ':';
}

// Splits an address list at the commas between its items: not inside a
// quoted name, a comment or angle brackets. A group ("team: a@x, b@y;")
// gives its members; its name and the ";" that ends it go.
std::vector<std::string> SplitAddressList(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    bool quoted = false;
    int comment = 0;
    bool angle = false;
    auto endItem = [&] {
        std::string trimmed = Trim(item);
        if (!trimmed.empty()) items.push_back(std::move(trimmed));
        item.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (quoted || comment > 0) && i + 1 < text.size()) {
            item += c;
            item += text[++i];
            continue;
        }
        if (quoted) {
            quoted = c != '"';
        } else if (comment > 0) {
            if (c == '(') ++comment;
            if (c == ')') --comment;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++comment;
        } else if (c == '<') {
            angle = true;
        } else if (c == '>') {
            angle = false;
        } else if (!angle && (c == ',' || c == ';')) {
            endItem();
            continue;
        } else if (!angle && c == ':') {
            item.clear();  // the group's name
            continue;
        }
        item += c;
    }
    endItem();
    return items;
}

}  // namespace

std::string TmsHeaders::UnfoldedValue(std::string_view name) const {
    const std::string field = WithColon(name);
    auto line = std::find_if(lines_.begin(), lines_.end(),
                             [&](const std::string& l) { return StartsWithNoCase(l, field); });
    if (line == lines_.end()) return "";

    std::string value = Trim(std::string_view(*line).substr(line->find(':') + 1));
    for (++line; line != lines_.end() && IsContinuation(*line); ++line) {
        value += ' ';
        value += Trim(*line);
    }
    return value;
}

std::string TmsHeaders::GetFieldValue(std::string_view name) const {
    const std::string field = WithColon(name);
    // Parameters are decoded (RFC 2231, RFC 2047) and bounded by their reader,
    // after they are taken apart: a cut before would split a long file name.
    if (SameText(field, "Content-Type:") || SameText(field, "Content-Disposition:") ||
        SameText(field, "X-UIDL:"))
        return UnfoldedValue(name);
    return DecodedAndCut(UnfoldedValue(name));
}

std::string TmsHeaders::GetWholeFieldValue(std::string_view name) const {
    return DecodeHeaderWords(UnfoldedValue(name));
}

void TmsHeaders::GetFieldList(std::string_view name, std::vector<std::string>& list) const {
    list.clear();
    std::string field(name);
    if (!field.empty() && field.back() == ':') field.pop_back();
    std::size_t i = 0;
    while (i < lines_.size()) {
        if (!IsField(lines_[i], field)) {
            ++i;
            continue;
        }
        // The whole field, unfolded: quoted names and groups may span lines.
        std::string value = lines_[i].substr(lines_[i].find(':') + 1);
        for (++i;
             i < lines_.size() && (IsContinuation(lines_[i]) || lines_[i].find(':') == std::string::npos);
             ++i) {
            value += ' ';
            value += Trim(lines_[i]);
        }
        for (const std::string& item : SplitAddressList(value)) list.push_back(DecodedAndCut(item));
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
