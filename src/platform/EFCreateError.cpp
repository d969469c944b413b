#include "platform/EFCreateError.h"

namespace qlk {

EFCreateError::EFCreateError(const std::string& fileName) : Exception("Cannot create file " + fileName) {}

}  // namespace qlk
