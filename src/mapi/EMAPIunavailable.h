#pragma once

#include "platform/Exception.h"

namespace qlk {

// Raised by every TEmail operation when the post office is switched off or
// missing.
class EMAPIunavailable : public Exception {
public:
    EMAPIunavailable() : Exception("MAPI services are not available on this system") {}
    // The same, with what the operator can do about it.
    explicit EMAPIunavailable(const std::string& advice)
        : Exception("MAPI services are not available on this system. " + advice) {}
};

}  // namespace qlk
