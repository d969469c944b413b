#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// A text that should have been a number: "'TEXT' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
    static EConvertError NotAnInteger(const std::string& text) {
        return EConvertError("'" + text + "' is not a valid integer value");
    }
};

}  // namespace qlk
