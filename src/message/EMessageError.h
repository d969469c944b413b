#pragma once

#include "platform/Exception.h"

namespace qlk {

// A message is not fit to be sent (sender or recipients missing).
class EMessageError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
