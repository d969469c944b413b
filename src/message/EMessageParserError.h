#pragma once

#include "platform/Exception.h"

namespace qlk {

// Received text could not be decoded, e.g. "Invalid Character" in a base64 or
// uuencoded line.
class EMessageParserError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
