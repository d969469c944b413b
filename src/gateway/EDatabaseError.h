#pragma once

#include "platform/Exception.h"

namespace qlk {

// A failure of the user table: it cannot be opened, a row breaks a rule of the
// table (a required field empty, a text too long), or the database refused a
// read or write. The message is shown to the operator as it stands.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qlk
