#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// Encoded words in header values ("=?charset?B?...?=", "=?charset?Q?...?=").

// Decodes a header value to UTF-8 as RFC 2047 says: each encoded word is
// converted from its character set (adjacent words of one set are joined
// first, so a character split between two words survives); white space
// between two adjacent encoded words is dropped, all other white space is
// kept; "_" is a blank only inside a Q word. Text outside the words is read
// as undeclared text (UTF-8 when valid, else windows-1252). Anything that is
// not a well-formed encoded word stays as written. The result is not cut.
std::string DecodeHeaderWords(std::string_view s);

// A header text that starts with ESC (ISO-2022-JP) becomes one encoded word
// "=?ISO-2022-JP?B?...?=", cut at 255; any other text is returned unchanged.
std::string EncodeJisHeader(std::string_view s);

// Text for a header as RFC 2047 words when it is not plain ASCII: UTF-8 when
// the text is valid UTF-8, else ISO-8859-1, in words of at most 75
// characters that never split a character. Plain ASCII comes back as one
// piece, unchanged.
std::vector<std::string> EncodeHeaderWords(std::string_view text);

// Whether a display name must be quoted to stand before an address: it
// holds a character that is special in addresses (RFC 5322).
bool NeedsQuoting(std::string_view text);
// TEXT in double quotes, its quotes and backslashes escaped (RFC 5322).
std::string QuotedString(std::string_view text);
// A display name as it goes before "<address>" in a header: RFC 2047 words
// when it is not ASCII, else quoted when it needs it.
std::string HeaderPhrase(std::string_view name);

}  // namespace qlk
