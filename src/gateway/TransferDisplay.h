#pragma once

namespace qlk {

// What a transfer shows in the window besides the status log: the progress
// bar and whether "Transfer Now" can be pressed. The desktop window
// implements it; headless runs and tests use their own.
class TransferDisplay {
public:
    virtual ~TransferDisplay() = default;
    // 0 to 100.
    virtual void SetProgress(int percent) = 0;
    virtual void EnableTransferNow(bool enabled) = 0;
};

}  // namespace qlk
