#include "net/TransferDeadline.h"

namespace qlk {

void TransferDeadline::Start(std::chrono::seconds floor, long long bytesPerSecond) {
    started_ = Clock::now();
    floor_ = floor;
    bytesPerSecond_ = bytesPerSecond;
    moved_ = 0;
    running_ = true;
}

bool TransferDeadline::Passed() const {
    if (!running_) return false;
    // In seconds of double precision: a byte count that would overflow a
    // clock duration is only a very late deadline.
    double allowed = static_cast<double>(floor_.count());
    if (bytesPerSecond_ > 0) allowed += static_cast<double>(moved_) / static_cast<double>(bytesPerSecond_);
    return std::chrono::duration<double>(Clock::now() - started_).count() > allowed;
}

}  // namespace qlk
