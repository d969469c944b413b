#pragma once

#include <streambuf>
#include <string_view>

namespace qlk {

// An output stream buffer without a buffer of its own: whatever is written,
// a byte or a block, goes to Take as one piece, so that a subclass can
// filter text as it streams past.
class PieceStreambuf : public std::streambuf {
protected:
    virtual void Take(std::string_view piece) = 0;

    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
};

}  // namespace qlk
