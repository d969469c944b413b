#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AsciiCase.h"

namespace qlk {

class TmsMailAddress;

// Text helpers shared by the message library, the mail clients and the
// gateway. Text is single-byte; "blank" means the space character; letter
// case is ASCII's (platform/AsciiCase.h).

// Trimming removes blanks and control characters (every byte up to 32).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Replaces every `escape` followed by two hexadecimal digits (either case)
// by the byte they denote ("%C3%A9", "=C3=A9"); anything else stays.
std::string HexEscapesDecoded(std::string_view text, char escape);
// Trims, then removes every leading and every trailing double quote.
std::string StripQuotes(std::string_view s);

// Fills address from one address text: "Name <mailbox>", "mailbox (Name)" or
// a bare mailbox. Never fails: "Name <mailbox" gives an empty Address and the
// whole text as Name.
void ParseAddress(std::string_view text, TmsMailAddress& address);

// A parameter of a MIME header value, e.g. GetParameter("boundary",
// "multipart/mixed; boundary=\"b1\"") is "b1". The name is found anywhere in
// the value, so "name" also finds "filename". "" when absent.
std::string GetParameter(std::string_view name, std::string_view value);

// The value before its first blank or ";", trimmed: the bare type of a
// Content-Type value. Looks at no more than the first 255 characters.
std::string GetMainValue(std::string_view value);

// Word N (0-based) of a server reply line "WORD0 WORD1 WORD2"; without
// stopAtBlank the rest of the line from word N on. "" past the last word.
std::string ExtractWord(std::string_view s, int n, bool stopAtBlank);
// ExtractWord(s, n, true) as a decimal integer, -1 when it is not one.
std::int64_t ExtractWordInt(std::string_view s, int n);

// Appends the path separator "/" unless dir is empty or already ends in one.
std::string AddBackslash(std::string_view dir);

// The content type registered for the file's extension;
// "application/octet-stream" when there is none.
std::string GetMimeType(std::string_view fileName);

// Creates or overwrites the file with every line followed by CR LF. Raises
// EFCreateError when the file cannot be created, EStreamError on a failed write.
void SaveStringsToFile(const std::vector<std::string>& lines, const std::string& fileName);

// Deletes lines from the end while the last one is empty after trimming.
void RemoveTrailingBlankLines(std::vector<std::string>& lines);

}  // namespace qlk
