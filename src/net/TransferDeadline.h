#pragma once

#include <chrono>

namespace qlk {

// How long a piece of work may take in all, however often its bytes come:
// a floor, plus one second for every `bytesPerSecond` bytes it has moved
// so far. A slow but steady transfer earns its time as it goes; a server
// that trickles a byte now and then does not. Counted on the monotonic
// clock from Start; a deadline that is not running never passes.
class TransferDeadline {
public:
    // bytesPerSecond 0: the floor alone.
    void Start(std::chrono::seconds floor, long long bytesPerSecond = 0);
    void Stop() { running_ = false; }
    bool Running() const { return running_; }
    void Count(long long bytes) { moved_ += bytes; }
    bool Passed() const;

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point started_{};
    std::chrono::seconds floor_{0};
    long long bytesPerSecond_ = 0;
    long long moved_ = 0;
    bool running_ = false;
};

}  // namespace qlk
