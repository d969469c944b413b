#pragma once

#include "platform/Exception.h"

namespace qlk {

// Raised by every TEmail operation when the post office is switched off or
// missing.
class EMAPIunavailable : public Exception {
public:
    EMAPIunavailable() : Exception("MAPI services are not available on this system") {}
};

}  // namespace qlk
