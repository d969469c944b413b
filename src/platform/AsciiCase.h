#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qlk {

// Letter case in the ASCII sense only: "a".."z" and "A".."Z" change, every
// other byte stays, whatever locale the process runs under. Protocol
// keywords, header names, charsets and file extensions are compared this
// way in every layer.
bool IsAsciiLetterOrDigit(char c);
char UpperAscii(char c);
char LowerAscii(char c);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// Position of the first occurrence of needle in haystack, ignoring case;
// npos when there is none (also for an empty needle).
std::size_t FindNoCase(std::string_view haystack, std::string_view needle);

}  // namespace qlk
