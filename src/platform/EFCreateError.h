#pragma once

#include "platform/Exception.h"

namespace qlk {

// A file could not be created: "Cannot create file NAME".
class EFCreateError : public Exception {
public:
    explicit EFCreateError(const std::string& fileName);
};

}  // namespace qlk
