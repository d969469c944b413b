#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace qlk {

// The stream form in which the message objects store their properties: a
// sequence of properties, each a name followed by one value, ended by an
// empty name. Names and short strings are a length byte and the bytes; every
// value starts with a type byte. A list is kListBegin, its values, kNull.
// Reading checks every length and type and raises EStreamError ("Stream read
// error", or "Invalid property value" for a value of the wrong type).
namespace property_stream {

enum ValueType : std::uint8_t {
    kNull = 0,
    kListBegin = 1,
    kInt8 = 2,
    kInt16 = 3,
    kInt32 = 4,
    kString = 6,
    kLongString = 12,
};

void WriteName(std::ostream& out, std::string_view name);
// The empty name that ends the properties of one object.
void WriteEndOfProperties(std::ostream& out);
void WriteListBegin(std::ostream& out);
void WriteListEnd(std::ostream& out);
void WriteString(std::ostream& out, std::string_view value);
void WriteInteger(std::ostream& out, std::int32_t value);

[[noreturn]] void ThrowUnknownProperty(const std::string& name);

// The next property name; "" at the end of the properties.
std::string ReadName(std::istream& in);
void ReadListBegin(std::istream& in);
// True (and the end marker consumed) when the list ends here.
bool ReadListEnd(std::istream& in);
std::string ReadString(std::istream& in);
std::int32_t ReadInteger(std::istream& in);

// Reads properties up to the end marker, handing each name to
// readProperty(name), which reads the value and returns false for a name
// that is not its own (EStreamError "Property NAME does not exist").
template <typename ReadProperty>
void ReadProperties(std::istream& in, ReadProperty readProperty) {
    for (std::string name = ReadName(in); !name.empty(); name = ReadName(in)) {
        if (!readProperty(name)) ThrowUnknownProperty(name);
    }
}

}  // namespace property_stream
}  // namespace qlk
