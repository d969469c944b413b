#pragma once

#include <string>
#include <string_view>

namespace qlk {

// Text is kept as bytes. Most of it is UTF-8 (what the operator typed, what
// the gateway writes); some came from outside in an older single-byte form
// (a Latin-1 subject, a table written by another program). These helpers read
// such bytes as characters without losing any: every byte that is not part of
// a well-formed UTF-8 sequence stands for the Latin-1 character of its value.

// The characters the bytes hold.
std::u32string DecodeText(std::string_view bytes);

// The UTF-8 bytes of one character; surrogate halves and values past
// U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t character);

}  // namespace qlk
