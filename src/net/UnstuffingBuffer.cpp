#include "net/UnstuffingBuffer.h"

#include <algorithm>

namespace qlk {

UnstuffingBuffer::UnstuffingBuffer(std::size_t limit, std::size_t expected) : limit_(limit) {
    text_.reserve(std::min(expected, limit));
}

std::string UnstuffingBuffer::TakeText() {
    if (lastLineEnds_ && lastLineStart_ <= text_.size()) text_.resize(lastLineStart_);
    lastLineEnds_ = false;
    return std::move(text_);
}

UnstuffingBuffer::int_type UnstuffingBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    Take(std::string_view(&byte, 1));
    return c;
}

std::streamsize UnstuffingBuffer::xsputn(const char* data, std::streamsize count) {
    Take(std::string_view(data, static_cast<std::size_t>(count)));
    return count;
}

// Line by line, so that a chunk costs one search for each line end rather
// than a look at every byte.
void UnstuffingBuffer::Take(std::string_view data) {
    while (!data.empty()) {
        if (atLineStart_) {
            atLineStart_ = false;
            lineStart_ = text_.size();
            lineStuffed_ = data.front() == '.';
            if (lineStuffed_) data.remove_prefix(1);
            continue;
        }
        const std::size_t end = data.find('\n');
        const std::size_t length = end == std::string_view::npos ? data.size() : end + 1;
        Keep(data.substr(0, length));
        data.remove_prefix(length);
        if (end != std::string_view::npos) {
            atLineStart_ = true;
            lastLineStart_ = lineStart_;
            lastLineEnds_ = lineStuffed_ && std::string_view(text_).substr(lineStart_) == "\r\n";
        }
    }
}

void UnstuffingBuffer::Keep(std::string_view piece) {
    if (overflowed_ || text_.size() + piece.size() > limit_) {
        overflowed_ = true;
        return;
    }
    text_.append(piece);
}

}  // namespace qlk
