#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Utf8Cut.h"

namespace qlk {

// A text field of at most 255 bytes. Longer input is cut on assignment, never
// inside a UTF-8 character, so that no caller has to remember the bound.
class ShortString {
public:
    static constexpr std::size_t MaxLength = 255;

    ShortString() = default;
    ShortString(std::string_view text) : text_(CutUtf8(text, MaxLength)) {}   // NOLINT: implicit by design
    ShortString(const char* text) : ShortString(std::string_view(text)) {}    // NOLINT
    ShortString(const std::string& text) : ShortString(std::string_view(text)) {}  // NOLINT

    ShortString& operator=(std::string_view text) {
        text_.assign(CutUtf8(text, MaxLength));
        return *this;
    }
    ShortString& operator=(const char* text) { return *this = std::string_view(text); }
    ShortString& operator=(const std::string& text) { return *this = std::string_view(text); }

    const std::string& str() const { return text_; }
    operator const std::string&() const { return text_; }  // NOLINT: reads like the plain text it is
    const char* c_str() const { return text_.c_str(); }
    std::size_t size() const { return text_.size(); }
    bool empty() const { return text_.empty(); }
    void clear() { text_.clear(); }

    friend bool operator==(const ShortString& a, const ShortString& b) { return a.text_ == b.text_; }
    friend bool operator==(const ShortString& a, const std::string& b) { return a.text_ == b; }
    friend bool operator==(const ShortString& a, const char* b) { return a.text_ == b; }

private:
    std::string text_;
};

}  // namespace qlk
