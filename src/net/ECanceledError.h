#pragma once

#include "platform/Exception.h"

namespace qlk {

// A running operation was cancelled: "Operation has been canceled".
class ECanceledError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
