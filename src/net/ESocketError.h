#pragma once

#include "platform/Exception.h"

namespace qlk {

// A socket or name look-up failure, or a layer message such as a missing property; the message is the table
// text, possibly rewritten by OnError.
class ESocketError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
