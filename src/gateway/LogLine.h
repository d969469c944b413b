#pragma once

#include <string>

#include "gateway/LogColor.h"

namespace qlk {

// One line of the status window.
struct LogLine {
    std::string text;
    LogColor color = LogColor::Black;

    friend bool operator==(const LogLine&, const LogLine&) = default;
};

}  // namespace qlk
