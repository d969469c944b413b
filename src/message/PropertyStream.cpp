#include "message/PropertyStream.h"

#include <istream>
#include <ostream>

#include "platform/EStreamError.h"

namespace qlk::property_stream {

namespace {

// Long strings are bounded so that a damaged stream cannot ask for gigabytes.
constexpr std::uint32_t kMaxLongString = 16 * 1024 * 1024;

void WriteByte(std::ostream& out, std::uint8_t value) {
    out.put(static_cast<char>(value));
}

void WriteLittleEndian(std::ostream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) WriteByte(out, static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint8_t ReadByte(std::istream& in) {
    const int c = in.get();
    if (c == std::char_traits<char>::eof()) throw EStreamError::Read();
    return static_cast<std::uint8_t>(c);
}

std::uint32_t ReadLittleEndian(std::istream& in, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(ReadByte(in)) << (8 * i);
    return value;
}

std::string ReadBytes(std::istream& in, std::uint32_t count) {
    std::string bytes(count, '\0');
    if (count > 0 && !in.read(bytes.data(), count)) throw EStreamError::Read();
    return bytes;
}

EStreamError InvalidValue() {
    return EStreamError("Invalid property value");
}

}  // namespace

void WriteName(std::ostream& out, std::string_view name) {
    name = name.substr(0, 255);
    WriteByte(out, static_cast<std::uint8_t>(name.size()));
    out.write(name.data(), static_cast<std::streamsize>(name.size()));
}

void WriteEndOfProperties(std::ostream& out) {
    WriteByte(out, 0);
}
void WriteListBegin(std::ostream& out) {
    WriteByte(out, kListBegin);
}
void WriteListEnd(std::ostream& out) {
    WriteByte(out, kNull);
}

void WriteString(std::ostream& out, std::string_view value) {
    if (value.size() <= 255) {
        WriteByte(out, kString);
        WriteByte(out, static_cast<std::uint8_t>(value.size()));
    } else {
        WriteByte(out, kLongString);
        WriteLittleEndian(out, static_cast<std::uint32_t>(value.size()), 4);
    }
    out.write(value.data(), static_cast<std::streamsize>(value.size()));
}

void WriteInteger(std::ostream& out, std::int32_t value) {
    if (value >= -128 && value <= 127) {
        WriteByte(out, kInt8);
        WriteLittleEndian(out, static_cast<std::uint32_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
        WriteByte(out, kInt16);
        WriteLittleEndian(out, static_cast<std::uint32_t>(value), 2);
    } else {
        WriteByte(out, kInt32);
        WriteLittleEndian(out, static_cast<std::uint32_t>(value), 4);
    }
}

void ThrowUnknownProperty(const std::string& name) {
    throw EStreamError("Property " + name + " does not exist");
}

std::string ReadName(std::istream& in) {
    return ReadBytes(in, ReadByte(in));
}

void ReadListBegin(std::istream& in) {
    if (ReadByte(in) != kListBegin) throw InvalidValue();
}

bool ReadListEnd(std::istream& in) {
    const int next = in.peek();
    if (next == std::char_traits<char>::eof()) throw EStreamError::Read();
    if (next != kNull) return false;
    in.get();
    return true;
}

std::string ReadString(std::istream& in) {
    switch (ReadByte(in)) {
        case kString:
            return ReadBytes(in, ReadByte(in));
        case kLongString: {
            const std::uint32_t length = ReadLittleEndian(in, 4);
            if (length > kMaxLongString) throw InvalidValue();
            return ReadBytes(in, length);
        }
        default:
            throw InvalidValue();
    }
}

std::int32_t ReadInteger(std::istream& in) {
    switch (ReadByte(in)) {
        case kInt8:
            return static_cast<std::int8_t>(ReadLittleEndian(in, 1));
        case kInt16:
            return static_cast<std::int16_t>(ReadLittleEndian(in, 2));
        case kInt32:
            return static_cast<std::int32_t>(ReadLittleEndian(in, 4));
        default:
            throw InvalidValue();
    }
}

}  // namespace qlk::property_stream
