#pragma once

#include "platform/Exception.h"

namespace qlk {

// Reading or writing an open file failed part way: "Stream read error" or
// "Stream write error".
class EStreamError : public Exception {
public:
    using Exception::Exception;
    static EStreamError Read() { return EStreamError("Stream read error"); }
    static EStreamError Write() { return EStreamError("Stream write error"); }
};

}  // namespace qlk
