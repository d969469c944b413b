#pragma once

#include "platform/Exception.h"

namespace qlk {

// An existing file could not be opened: "Cannot open file NAME".
class EFOpenError : public Exception {
public:
    explicit EFOpenError(const std::string& fileName);
};

}  // namespace qlk
