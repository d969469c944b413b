#pragma once

#include "platform/Exception.h"

namespace qlk {

// Received text could not be decoded, e.g. "Invalid Character" in a base64 or
// uuencoded line.
// Permanent: the same text fails the same way every time.
class EMessageParserError : public Exception {
public:
    explicit EMessageParserError(const std::string& message) : Exception(message, ErrorKind::Permanent) {}
};

}  // namespace qlk
