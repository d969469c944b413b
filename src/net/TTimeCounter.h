#pragma once

#include <chrono>

namespace qlk {

// The time-out clock of a connection: counts whole seconds on the monotonic
// clock from Start. TimedOut sticks until the owner's Reset clears it, so
// once a wait has timed out every further wait ends at once.
class TTimeCounter {
public:
    int TimeOut = 60;
    bool TimedOut = false;

    void Start();
    void Stop() { running_ = false; }
    bool Running() const { return running_; }
    // Seconds left of the current period; TimeOut while stopped.
    int Remaining() const;
    // Brings TimedOut up to date; the wait loops call it on every pass.
    bool Check();

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point started_{};
    bool running_ = false;
};

}  // namespace qlk
