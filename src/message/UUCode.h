#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlk {

// Uuencode. The alphabet is "`" (value 0) followed by "!" through "_"
// (values 1 to 63). A line starts with the character of its byte count (at
// most 45) and carries groups of four characters for three bytes.
//
// Line interface: each call gives the event pump one turn; UUDecodeLine cuts
// its input at 255 characters. The Append/Wrapped functions are the
// whole-buffer path for the message encoder and decoder: same rules, no cut.

// "!".."_" give their code minus 32; "`" and a blank (what traditional
// encoders write for zero) give 0; anything else raises EMessageParserError
// "Invalid Character".
std::uint8_t UUCharValue(char c);

// One line for up to 45 bytes (more are not encoded): the count character,
// then four characters per three bytes; a final group of one or two bytes
// becomes two or three characters, with no filler.
std::string UUEncodeLine(std::string_view bytes);

// The bytes of one line: groups of up to four characters after the count
// character, a short last group completed with zero values, cut to the count.
// A count larger than the line holds gives only the bytes the line holds.
std::string UUDecodeLine(std::string_view line);

// True for a line that opens a uuencoded file: lower-case "begin", an octal
// mode of three or four digits and a name ("begin 644 file.txt").
bool IsUUBegin(std::string_view line);

// The file name of a "begin" line, after the mode of any length; a quoted
// name is taken up to its closing quote (none: ""), any other up to its first
// blank.
std::string UUFileName(std::string_view line);

void UUEncodeLineAppend(std::string_view bytes, std::string& out);
// Appends data as 45-byte lines, each followed by lineEnd (no "begin" or
// "end" lines).
void UUEncodeWrapped(std::string_view data, std::string& out, std::string_view lineEnd = "\r\n");
void UUDecodeLineAppend(std::string_view line, std::string& out);

}  // namespace qlk
