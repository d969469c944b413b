#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/PieceStreambuf.h"

namespace qlk {

// Takes a dot-stuffed data block as it arrives from the socket and keeps
// only the text it carries: the leading "." of every line taken off and the
// final "." line left out, so the message is held once, already unstuffed.
// At most `limit` bytes of text are kept; a block that carries more is still
// taken to its end (the session stays in step) but kept no further.
class UnstuffingBuffer : public PieceStreambuf {
public:
    // Keeps the text in memory, with room for `expected` bytes.
    UnstuffingBuffer(std::size_t limit, std::size_t expected);
    // Writes the text to the open file FD as it comes, through a buffer of
    // about a megabyte, so that the text is written once and never held whole.
    UnstuffingBuffer(std::size_t limit, int fd);

    // The block carried more than `limit` bytes of text.
    bool Overflowed() const { return overflowed_; }
    // The text, once the whole block has been written (in memory).
    std::string TakeText();
    // Writes what is still buffered and cuts the file to the text, once the
    // whole block has been written. False when the file could not be
    // written (errno says why).
    bool FinishFile();

private:
    static constexpr std::size_t kBlockEndRoom = 8;
    static constexpr std::size_t kFileChunk = 1 << 20;
    void Take(std::string_view data) override;
    void Keep(std::string_view piece);
    void WriteBuffered();
    std::size_t Size() const { return written_ + text_.size(); }

    std::string text_;
    std::size_t limit_;
    // In file mode: the file, the bytes of text already in it, and whether
    // a write failed (nothing more is written then).
    int fd_ = -1;
    std::size_t written_ = 0;
    bool writeFailed_ = false;
    bool overflowed_ = false;
    bool atLineStart_ = true;
    bool lineStuffed_ = false;
    std::size_t lineStart_ = 0;
    // Where the last whole line began, and whether it was the lone "."
    // that ends the block.
    std::size_t lastLineStart_ = 0;
    bool lastLineEnds_ = false;
};

}  // namespace qlk
