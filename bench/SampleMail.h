#pragma once

// Mail the benchmarks make up: random bytes, and a message that carries
// them as one base64 attachment.
#include <cstddef>
#include <random>
#include <string>

#include "message/Base64.h"

namespace qlk::bench {

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

inline constexpr char kSampleHeaders[] =
    "Return-Path: <alice@example.org>\r\nReceived: from mx.example.org by pop.example.net\r\n"
    "From: \"Alice Example\" <alice@example.org>\r\nTo: Bob <bob@example.net>, carol@example.net\r\n"
    "Subject: Benchmark message\r\nDate: Mon, 7 Dec 2026 09:11:58 +0100\r\nMIME-Version: 1.0\r\n";

// A short note and RAWSIZE random bytes attached as "data.bin".
inline std::string MessageWithAttachment(std::size_t rawSize) {
    std::string text = kSampleHeaders;
    text +=
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
        "See the attachment.\r\n\r\n--b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    Base64EncodeWrapped(RandomBytes(rawSize, 1), text);
    return text + "\r\n--b1--\r\n";
}

}  // namespace qlk::bench
