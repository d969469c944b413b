#pragma once

#include "platform/Exception.h"

namespace qlk {

// A running operation was cancelled: "Operation has been canceled".
class ECanceledError : public Exception {
public:
    explicit ECanceledError(const std::string& message) : Exception(message, ErrorKind::Cancelled) {}
};

}  // namespace qlk
