#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// A dial-up call failed. Code is the dial-up service's error number; the
// message is the service's readable text for it. Transient: a busy or dead
// line may answer at the next try.
class ERASError : public Exception {
public:
    ERASError(int code, const std::string& message) : Exception(message, ErrorKind::Transient), Code(code) {}

    int Code;
};

}  // namespace qlk
