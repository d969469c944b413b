#pragma once

#include "platform/Exception.h"

namespace qlk {

// A message is not fit to be sent (sender or recipients missing).
// Permanent: the message stays unfit however often it is tried.
class EMessageError : public Exception {
public:
    explicit EMessageError(const std::string& message) : Exception(message, ErrorKind::Permanent) {}
};

}  // namespace qlk
