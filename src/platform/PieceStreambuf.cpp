#include "platform/PieceStreambuf.h"

#include <cstddef>

namespace qlk {

PieceStreambuf::int_type PieceStreambuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    Take(std::string_view(&byte, 1));
    return c;
}

std::streamsize PieceStreambuf::xsputn(const char* data, std::streamsize count) {
    Take(std::string_view(data, static_cast<std::size_t>(count)));
    return count;
}

}  // namespace qlk
