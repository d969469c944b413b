#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// A server's text that should have been a number: "'TEXT' is not a valid
// integer value". Transient: the server's next answer may be sound.
class EConvertError : public Exception {
public:
    static EConvertError NotAnInteger(const std::string& text) {
        return EConvertError("'" + text + "' is not a valid integer value");
    }

private:
    explicit EConvertError(const std::string& message) : Exception(message, ErrorKind::Transient) {}
};

}  // namespace qlk
