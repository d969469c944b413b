#pragma once

#include <cstddef>
#include <string_view>

namespace qlk {

// The longest start of `text` of at most `maxBytes` bytes that does not end
// inside a well-formed UTF-8 sequence. Bytes that are not UTF-8 (an old
// single-byte text) are cut where the bound falls.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace qlk
