#include "net/TTimeCounter.h"

#include <algorithm>

namespace qlk {

void TTimeCounter::Start() {
    started_ = Clock::now();
    running_ = true;
}

int TTimeCounter::Remaining() const {
    if (!running_) return TimeOut;
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count();
    return TimeOut - static_cast<int>(elapsed);
}

bool TTimeCounter::Check() {
    // The first whole second always passes: a period of 0 or less ends at the
    // first tick, as a one-second timer would.
    if (running_ && Remaining() <= 0 && Clock::now() - started_ >= std::chrono::seconds(1)) TimedOut = true;
    return TimedOut;
}

}  // namespace qlk
