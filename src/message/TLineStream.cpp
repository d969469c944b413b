#include "message/TLineStream.h"

#include <algorithm>
#include <cstring>

namespace qlk {

std::size_t LineScanner::Next(char c, std::size_t start, std::size_t& cached) {
    if (cached == kNone || (cached != kUnknown && cached >= start)) return cached;
    const auto* found = static_cast<const char*>(std::memchr(text_.data() + start, c, text_.size() - start));
    cached = found ? static_cast<std::size_t>(found - text_.data()) : kNone;
    return cached;
}

LineSpan LineScanner::Line(std::size_t start) {
    const std::size_t lf = Next('\n', start, nextLf_);
    const std::size_t cr = Next('\r', start, nextCr_);
    const std::size_t end = std::min(lf, cr);
    if (end == kNone) return {text_.size() - start, text_.size()};
    const bool crlf = cr == end && lf == end + 1;
    return {end - start, end + (crlf ? 2 : 1)};
}

std::string_view TLineStream::NextLine() {
    if (position_ >= text_.size()) {
        atEnd_ = true;
        return {};
    }
    const LineSpan span = scanner_.Line(position_);
    std::string_view line(text_.data() + position_, span.length);
    position_ = span.next;
    return line;
}

void TLineStream::Rewind() {
    scanner_ = LineScanner(text_);
    position_ = 0;
    atEnd_ = false;
}

void LoadTextLines(std::string_view text, std::vector<std::string>& lines) {
    lines.clear();
    LineScanner scanner(text);
    std::size_t position = 0;
    while (position < text.size()) {
        const LineSpan span = scanner.Line(position);
        lines.emplace_back(text.substr(position, span.length));
        position = span.next;
    }
}

}  // namespace qlk
