#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

namespace qlk {

// Takes a dot-stuffed data block as it arrives from the socket and keeps
// only the text it carries: the leading "." of every line taken off and the
// final "." line left out, so the message is held once, already unstuffed.
// At most `limit` bytes of text are kept; a block that carries more is still
// taken to its end (the session stays in step) but kept no further.
class UnstuffingBuffer : public std::streambuf {
public:
    UnstuffingBuffer(std::size_t limit, std::size_t expected);

    // The block carried more than `limit` bytes of text.
    bool Overflowed() const { return overflowed_; }
    // The text, once the whole block has been written.
    std::string TakeText();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

private:
    void Take(std::string_view data);
    void Keep(std::string_view piece);

    std::string text_;
    std::size_t limit_;
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
