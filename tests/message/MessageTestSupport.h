#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "message/TmsMessage.h"

namespace qlk::test {

inline std::string Crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

inline std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

inline TmsMessage& Decoded(TmsMessage& message, std::string_view text) {
    message.Clear();
    message.LoadFromText(Crlf(text));
    return message;
}

inline std::string Encoded(TmsMessage& message) {
    std::ostringstream out;
    message.SaveToStream(out);
    return out.str();
}

inline std::vector<std::string> SplitCrlf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace qlk::test
