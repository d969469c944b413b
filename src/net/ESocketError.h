#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// A socket or name look-up failure, or a layer message such as a missing
// property. The message is the table text of Code() (as OnError left it);
// Code() is the Winsock number (10054, 11001, ...) or the layer's own
// (57002, ...), 0 for a failure told in words of our own (a TLS failure, a
// bound the server broke).
class ESocketError : public Exception {
public:
    ESocketError(const std::string& message, int code, ErrorKind kind)
        : Exception(message, kind), code_(code) {}

    int Code() const noexcept { return code_; }

private:
    int code_;
};

}  // namespace qlk
