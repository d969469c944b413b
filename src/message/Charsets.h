#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qlk {

// Character sets of received mail. Decoded text in the message model is
// UTF-8: header words and text bodies are converted from the set their
// sender declared, with glibc's iconv.

bool IsAscii(std::string_view text);
bool IsValidUtf8(std::string_view text);

// Converts `text` from `charset` (a MIME charset name, any case) to UTF-8 and
// appends it to `out`. Bytes that are not valid in the set become U+FFFD.
// False, with nothing appended, when the set is unknown.
bool ConvertToUtf8(std::string_view text, std::string_view charset, std::string& out);

// Text whose sender declared no character set: UTF-8 when it is valid UTF-8,
// else read as windows-1252 (which every byte has a meaning in).
std::string Utf8FromUndeclared(std::string_view text);

// True for the sets whose text is ASCII bytes that still need converting
// (ISO-2022 escapes, UTF-7) or that are not ASCII-compatible (UTF-16/32).
bool NeedsConversion(std::string_view charset);

// Text in a declared set; an unknown or empty name falls back to the rule for
// undeclared text, as does "us-ascii" that holds 8-bit bytes.
std::string TextToUtf8(std::string_view text, std::string_view charset);
// The same, but none for a set iconv does not know.
std::optional<std::string> KnownTextToUtf8(std::string_view text, std::string_view charset);

}  // namespace qlk
