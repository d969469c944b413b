#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlk {

// Base64 (standard alphabet, "=" padding).
//
// Line interface: one line of at most 255 bytes in and out; longer input is
// cut at 255. Each call gives the event pump one turn.
//
// Whole-buffer interface (the Append/Wrapped/Text functions): table-driven,
// no length limit, appends to the caller's string; the message encoder and
// decoder use these for bodies and attachments. They decode exactly as
// Base64DecodeString does, line by line, except that no line is cut at 255.

// 0..63 for the alphabet, 255 for "="; any other character raises
// EMessageParserError "Invalid Character".
std::uint8_t Base64CharValue(char c);

// Encodes up to 255 bytes, padded with "=" to a multiple of 4 characters.
std::string Base64EncodeString(std::string_view s);

// Decodes one line in groups of four characters, "=" counting as a zero
// value; as many bytes as the line has trailing "=" are then dropped. A line
// whose length is not a multiple of four is read as if its missing characters
// were "=" padding ("QQ" gives "A"). A character outside the alphabet raises
// EMessageParserError "Invalid Character".
std::string Base64DecodeString(std::string_view line);

// Appends the encoding of data without line breaks.
void Base64EncodeAppend(std::string_view data, std::string& out);
// Appends the encoding of data as the message encoder writes it: 57-byte
// blocks, each a 76-character line followed by lineEnd.
void Base64EncodeWrapped(std::string_view data, std::string& out, std::string_view lineEnd = "\r\n");
// Appends the bytes of one line (any length), rules as Base64DecodeString.
void Base64DecodeLineAppend(std::string_view line, std::string& out);
// Appends the bytes of a text of lines separated by CR LF, LF or CR, each
// line decoded as by Base64DecodeLineAppend.
void Base64DecodeText(std::string_view text, std::string& out);
// Appends the bytes of base64 text as received mail carries it: characters
// outside the alphabet (trailing blanks, stray bytes) are ignored and "="
// ends a group, as RFC 2045 asks of a reader. Never fails.
void Base64DecodeLenientAppend(std::string_view text, std::string& out);

}  // namespace qlk
