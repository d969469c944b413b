#pragma once

#include "platform/Exception.h"

namespace qlk {

// Kept for callers that catch it: the socket library is always present here, so nothing raises it.
class EWinsockDLLError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
