#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qlk {

using TextRelease = std::function<void(std::string_view part)>;

// Where one line ends and the next begins.
struct LineSpan {
    std::size_t length;  // without the line end
    std::size_t next;    // where the following line starts
};

// Finds line ends (CR LF, LF or a lone CR) with memchr and remembers the next
// CR and LF it found, so a text that uses only one kind of line end is still
// scanned once, not once per line.
class LineScanner {
public:
    explicit LineScanner(std::string_view text) : text_(text) {}
    // The line starting at `start`, which must lie inside the text.
    LineSpan Line(std::size_t start);

private:
    static constexpr std::size_t kNone = std::string_view::npos;
    static constexpr std::size_t kUnknown = kNone - 1;
    std::size_t Next(char c, std::size_t start, std::size_t& cached);

    std::string_view text_;
    std::size_t nextLf_ = kUnknown;
    std::size_t nextCr_ = kUnknown;
};

// The decoder's private copy of a stored message, read line by line. Lines of
// any length are returned whole. After the last line, NextLine returns "" and
// AtEnd() turns true.
class TLineStream {
public:
    explicit TLineStream(std::string text) : owned_(std::move(text)), text_(owned_), scanner_(text_) {}
    // Reads text the caller keeps alive (a mapped file) without copying it;
    // `release`, when set, is told of parts of the text read through that
    // are not needed again soon.
    struct Borrowed {
        TextRelease release;
    };
    TLineStream(std::string_view text, Borrowed borrowed)
        : text_(text), release_(std::move(borrowed.release)), scanner_(text_) {}
    void Release(std::string_view part) const {
        if (release_) release_(part);
    }
    TLineStream(const TLineStream&) = delete;
    TLineStream& operator=(const TLineStream&) = delete;

    std::string_view NextLine();
    bool AtEnd() const { return atEnd_; }
    // Where the next line starts.
    std::size_t Position() const { return position_; }
    void Rewind();
    // The whole stored text, from its first byte.
    std::string_view Text() const { return text_; }

private:
    const std::string owned_;
    const std::string_view text_;
    const TextRelease release_;
    LineScanner scanner_;
    std::size_t position_ = 0;
    bool atEnd_ = false;
};

// Splits text into lines the way the line stream does; a final line end does
// not start another (empty) line.
void LoadTextLines(std::string_view text, std::vector<std::string>& lines);

}  // namespace qlk
