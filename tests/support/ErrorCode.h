#pragma once

#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "platform/Exception.h"

namespace qlk::test {

// The number a failure carries: the server's reply code of a refusal, the
// socket error number of a socket error, -1 for anything else.
inline int ErrorCode(const Exception& error) {
    if (const auto* refusal = dynamic_cast<const EServerError*>(&error)) return refusal->Reply().Code();
    if (const auto* socket = dynamic_cast<const ESocketError*>(&error)) return socket->Code();
    return -1;
}

}  // namespace qlk::test
