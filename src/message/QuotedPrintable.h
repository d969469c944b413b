#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// Quoted-printable, whole-buffer path. TQuotedPrintable (the stream and
// line-list coder) runs on these; the message encoder and decoder call them
// directly for bodies and attachments.
//
// Encoding splits the data into paragraphs at line breaks (CR LF, LF CR, a
// lone CR or a lone LF; a doubled CR or LF is an empty line). Each paragraph
// becomes lines of at most 76 characters, every one but the last ending in
// the soft break "="; bytes below 32 (but the tab), "=" and bytes from 128 up
// are written as "=XX", and so is a blank or tab that ends a paragraph. The
// text after the last break (often empty) ends the output without a break of
// its own, so that the data comes back exactly.
//
// Decoding drops blanks at the end of each line (a transport may add them),
// joins a line ending in "=" to the next one, replaces "=XX" (hex in either
// case) by its byte and leaves any other "=" as it stands, ends every other
// line with CR LF unless it is the last line and its text ends with Ctrl-Z
// (26). A soft break on the last line keeps its text, without a line break.
//
// Neither direction limits the length of a paragraph.
// Appends the encoded text, every line followed by lineEnd.
void QPEncodeAppend(std::string_view data, std::string& out, std::string_view lineEnd = "\r\n");
// Appends the encoded lines to a line list.
void QPEncodeLines(std::string_view data, std::vector<std::string>& lines);

// Appends the bytes of a line list. maxLineLength cuts each line before it is
// read (the line interface passes 255; the default reads lines whole).
void QPDecodeLines(const std::vector<std::string>& lines, std::string& out,
                   std::size_t maxLineLength = std::string::npos);
// Appends the bytes of a text of lines separated by CR LF, LF or CR.
void QPDecodeText(std::string_view text, std::string& out);

// Decodes one quoted-printable text (cut at 255) and returns the first line
// of the result, at most 255 characters.
std::string QPDecodeString(std::string_view s);

}  // namespace qlk
