#include "platform/EFOpenError.h"

namespace qlk {

EFOpenError::EFOpenError(const std::string& fileName) : Exception("Cannot open file " + fileName) {}

}  // namespace qlk
