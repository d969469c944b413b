#pragma once

#include "gateway/LogLine.h"

namespace qlk {

// What the status log tells the window that shows it. The desktop window
// implements it; tests use a fake.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void LogCleared() = 0;                    // the window was emptied
    virtual void LineAdded(const LogLine& line) = 0;  // one line was appended
};

}  // namespace qlk
