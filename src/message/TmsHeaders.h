#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// The raw header lines of a message, one entry per line without its line end.
// Folded continuation lines are entries of their own that begin with a blank
// or a tab. Every field-name comparison is case-insensitive.
class TmsHeaders {
public:
    // The value of the first field called `name` (with or without its colon),
    // unfolded and trimmed; "" when absent. Values other than Content-Type,
    // Content-Disposition and X-UIDL are decoded to UTF-8 (RFC 2047 words,
    // undeclared 8-bit text) and then cut at 255 bytes, never inside a
    // character; those three are returned whole and undecoded.
    std::string GetFieldValue(std::string_view name) const;
    // The same value decoded but never cut: for a reader that needs all of
    // it (a subject line that carries addresses).
    std::string GetWholeFieldValue(std::string_view name) const;

    // Clears `list` and adds one entry per address of every field called
    // `name` (To, CC, BCC), folded lines included, each decoded as
    // GetFieldValue does. Commas inside a quoted name, a comment or angle
    // brackets do not split; a group gives its members; empty items go.
    void GetFieldList(std::string_view name, std::vector<std::string>& list) const;

    // Deletes the first field called `name` together with its continuation lines.
    void DeleteField(std::string_view name);

    // Deletes the first empty line and everything after it.
    void TruncateAtBlankLine();

    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t index) const { return lines_.at(index); }
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Clear() { lines_.clear(); }

    std::vector<std::string>& Lines() { return lines_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

private:
    // The first field called `name`, unfolded and trimmed, undecoded.
    std::string UnfoldedValue(std::string_view name) const;

    std::vector<std::string> lines_;
};

}  // namespace qlk
