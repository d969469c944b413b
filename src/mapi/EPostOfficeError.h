#pragma once

#include "platform/Exception.h"

namespace qlk {

// An administration request on the post office that cannot be carried out: a
// bad mailbox name, a mailbox that exists already or does not, a mailbox that
// still holds messages, a folder that cannot be made.
class EPostOfficeError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
