#pragma once

#include <stdexcept>
#include <string>

namespace qlk {

// The one base of every error the system raises. Each carries a readable
// message that the status log can show as it stands.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qlk
