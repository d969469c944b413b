#pragma once

#include <iosfwd>

#include "gateway/LogView.h"

namespace qlk {

// Shows the status window's lines on a stream (standard error) for runs
// without a window; the log files are written by the status log as always.
class StreamLogView : public LogView {
public:
    explicit StreamLogView(std::ostream& out) : out_(out) {}

    void LogCleared() override {}
    void LineAdded(const LogLine& line) override;

private:
    std::ostream& out_;
};

}  // namespace qlk
