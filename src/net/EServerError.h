#pragma once

#include "platform/Exception.h"

namespace qlk {

// The server answered negatively; the message is the server's reply line.
class EServerError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
