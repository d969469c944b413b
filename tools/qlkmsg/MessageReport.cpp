#include "MessageReport.h"

#include <openssl/sha.h>

#include <cstdio>
#include <string_view>

#include "message/Charsets.h"

namespace qlk::tools {

namespace {

// The SHA-256 digest of `data` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

const char* CharSetName(TCharSet charSet) {
    switch (charSet) {
        case csISO8859:
            return "iso-8859-1";
        case csISO2022jp:
            return "iso-2022-jp";
        case csUTF8:
            return "utf-8";
        case csUSASCII:
            break;
    }
    return "us-ascii";
}

const char* PriorityName(TPriority priority) {
    switch (priority) {
        case ptLow:
            return "low";
        case ptHigh:
            return "high";
        case ptNormal:
            break;
    }
    return "normal";
}

const char* AttEncodingName(TAttEncoding encoding) {
    switch (encoding) {
        case aeBase64:
            return "base64";
        case aeQuotedPrintable:
            return "quoted-printable";
        case ae7Bit:
            break;
    }
    return "7bit";
}

const char* MessageEncodingName(TMsgEncoding encoding) {
    return encoding == meUU ? "uuencode" : "mime";
}

// Control characters would let a message rewrite the operator's terminal.
std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string AddressText(const TmsMailAddress& address) {
    if (address.Name.empty()) return "<" + Printable(address.Address.str()) + ">";
    return Printable(address.Name.str()) + " <" + Printable(address.Address.str()) + ">";
}

void AddAddressLines(std::string& out, const char* label, const TmsAddressList& list) {
    for (int i = 0; i < list.Count(); ++i)
        out += std::string(label) + ": " + AddressText(list.Items(i)) + "\n";
}

// JSON text is UTF-8: decoded text is, and anything else (a file name from
// the command line) is read as windows-1252 first.
std::string Json(std::string_view raw) {
    const std::string text = Utf8FromUndeclared(raw);
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 32 || byte == 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonAddress(const TmsMailAddress& address) {
    return "{\"name\":" + Json(address.Name.str()) + ",\"address\":" + Json(address.Address.str()) + "}";
}

std::string JsonAddresses(const TmsAddressList& list) {
    std::string out = "[";
    for (int i = 0; i < list.Count(); ++i) out += (i ? "," : "") + JsonAddress(list.Items(i));
    return out + "]";
}

}  // namespace

std::string TextReport(const std::string& file, TmsMessage& message) {
    std::string out = "File: " + Printable(file) + "\n";
    out += "From: " + AddressText(message.Sender()) + "\n";
    AddAddressLines(out, "To", message.Recipients());
    AddAddressLines(out, "CC", message.CC());
    AddAddressLines(out, "BCC", message.BCC());
    out += "Subject: " + Printable(message.Subject()) + "\n";
    out += "Content-Type: " + Printable(message.ContentType()) + "\n";
    out += std::string("Charset: ") + CharSetName(message.CharSet()) + "\n";
    out += std::string("Encoding: ") + MessageEncodingName(message.Encoding()) + "\n";
    out += std::string("Priority: ") + PriorityName(message.Priority()) + "\n";
    out += "Body: " + std::to_string(message.Body().size()) + " lines\n";
    for (const std::string& line : message.Body()) out += "  | " + Printable(line) + "\n";
    const TmsAttList& attachments = message.Attachments();
    out += "Attachments: " + std::to_string(attachments.Count()) + "\n";
    for (int i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        out += "  [" + std::to_string(i) + "] " + Printable(item.FileName()) + "  " +
               Printable(item.ContentType.str()) + "  " + AttEncodingName(item.Encoding) + "  " +
               std::to_string(item.Data.size()) + " bytes  sha256 " + Sha256Hex(item.Data) + "\n";
    }
    return out;
}

std::string JsonReport(const std::string& file, TmsMessage& message) {
    std::string out = "{\"file\":" + Json(file);
    out += ",\"sender\":" + JsonAddress(message.Sender());
    out += ",\"recipients\":{\"to\":" + JsonAddresses(message.Recipients()) +
           ",\"cc\":" + JsonAddresses(message.CC()) + ",\"bcc\":" + JsonAddresses(message.BCC()) + "}";
    out += ",\"subject\":" + Json(message.Subject());
    out += ",\"contentType\":" + Json(message.ContentType());
    out += ",\"charset\":" + Json(CharSetName(message.CharSet()));
    out += ",\"encoding\":" + Json(MessageEncodingName(message.Encoding()));
    out += ",\"priority\":" + Json(PriorityName(message.Priority()));
    out += ",\"body\":[";
    for (std::size_t i = 0; i < message.Body().size(); ++i) out += (i ? "," : "") + Json(message.Body()[i]);
    out += "],\"attachments\":[";
    const TmsAttList& attachments = message.Attachments();
    for (int i = 0; i < attachments.Count(); ++i) {
        const TmsAttItem& item = attachments.Items(i);
        out += (i ? ",{" : "{");
        out += "\"name\":" + Json(item.FileName()) + ",\"type\":" + Json(item.ContentType.str()) +
               ",\"encoding\":" + Json(AttEncodingName(item.Encoding)) +
               ",\"size\":" + std::to_string(item.Data.size()) + ",\"sha256\":" + Json(Sha256Hex(item.Data)) +
               "}";
    }
    return out + "]}\n";
}

std::string TextError(const std::string& file, const std::string& error) {
    return "File: " + Printable(file) + "\nError: " + Printable(error) + "\n";
}

std::string JsonError(const std::string& file, const std::string& error) {
    return "{\"file\":" + Json(file) + ",\"error\":" + Json(error) + "}\n";
}

}  // namespace qlk::tools
