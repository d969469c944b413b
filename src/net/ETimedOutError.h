#pragma once

#include "platform/Exception.h"

namespace qlk {

// A wait ran out of time: "Operation timed out". Transient: the next try may
// be answered.
class ETimedOutError : public Exception {
public:
    explicit ETimedOutError(const std::string& message) : Exception(message, ErrorKind::Transient) {}
};

}  // namespace qlk
