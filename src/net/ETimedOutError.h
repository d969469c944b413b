#pragma once

#include "platform/Exception.h"

namespace qlk {

// A wait ran out of time: "Operation timed out".
class ETimedOutError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
