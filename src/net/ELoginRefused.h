#pragma once

#include <string>

#include "net/EServerError.h"

namespace qlk {

// The server refused the account's log-in, or asked for one the client
// withheld (no TLS to send the password over). Transient whatever the reply's
// code: the same account may get in later, and another account's session may
// go on. Reported through OnError first, as the socket layer's failures are.
class ELoginRefused : public EServerError {
public:
    ELoginRefused(const std::string& message, ServerReply reply)
        : EServerError(message, std::move(reply), ErrorKind::Transient) {}
};

}  // namespace qlk
