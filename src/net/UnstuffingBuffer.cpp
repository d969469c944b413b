#include "net/UnstuffingBuffer.h"

#include <unistd.h>

#include <algorithm>

#include "platform/WriteAll.h"

namespace qlk {

// The line that ends the block is kept until TakeText cuts it off: without
// room for it, a message of exactly its listed size would make the string
// grow by doubling at its last two bytes, holding the text twice meanwhile.
UnstuffingBuffer::UnstuffingBuffer(std::size_t limit, std::size_t expected) : limit_(limit) {
    text_.reserve(std::min(expected, limit) + kBlockEndRoom);
}

UnstuffingBuffer::UnstuffingBuffer(std::size_t limit, int fd) : limit_(limit), fd_(fd) {
    text_.reserve(kFileChunk + kBlockEndRoom);
}

std::string UnstuffingBuffer::TakeText() {
    if (lastLineEnds_ && lastLineStart_ <= text_.size()) text_.resize(lastLineStart_);
    lastLineEnds_ = false;
    return std::move(text_);
}

bool UnstuffingBuffer::FinishFile() {
    WriteBuffered();
    const std::size_t size = lastLineEnds_ && lastLineStart_ <= written_ ? lastLineStart_ : written_;
    return !writeFailed_ && ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

void UnstuffingBuffer::WriteBuffered() {
    if (!writeFailed_ && !WriteAll(fd_, text_)) writeFailed_ = true;
    written_ += text_.size();
    text_.clear();
}

// Line by line, so that a chunk costs one search for each line end rather
// than a look at every byte.
void UnstuffingBuffer::Take(std::string_view data) {
    while (!data.empty()) {
        if (atLineStart_) {
            atLineStart_ = false;
            lineStart_ = Size();
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
            lastLineEnds_ = lineStuffed_ && Size() - lineStart_ == 2 && text_.ends_with("\r\n");
        }
        // A megabyte at a time, even inside a long line, but never inside
        // what may still become the end line: its bytes are looked at above.
        if (fd_ >= 0 && text_.size() >= kFileChunk && (atLineStart_ || Size() - lineStart_ > 2)) WriteBuffered();
    }
}

void UnstuffingBuffer::Keep(std::string_view piece) {
    if (overflowed_ || Size() + piece.size() > limit_) {
        overflowed_ = true;
        return;
    }
    text_.append(piece);
}

}  // namespace qlk
