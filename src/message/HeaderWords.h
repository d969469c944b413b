#pragma once

#include <string>
#include <string_view>

namespace qlk {

// Encoded words in header values ("=?charset?B?...?=", "=?charset?Q?...?=").

// Decodes every encoded word of a header value (cut at 255) and returns at
// most 255 characters. The character set is ignored; an unknown encoding
// letter decodes to nothing. Blanks after an encoded word are dropped, and
// once a word has been decoded every "_" of the value becomes a blank. A "=?"
// without a closing "?=" cuts the value before it. Raises
// EMessageParserError "Invalid Character" for bad base64 inside a word.
std::string DecodeHeaderWords(std::string_view s);

// A header text that starts with ESC (ISO-2022-JP) becomes one encoded word
// "=?ISO-2022-JP?B?...?=", cut at 255; any other text is returned unchanged.
std::string EncodeJisHeader(std::string_view s);

}  // namespace qlk
