#pragma once

#include <filesystem>
#include <iosfwd>

#include "gateway/Gateway.h"
#include "gateway/StreamLogView.h"
#include "gateway/TransferDisplay.h"

namespace qlk {

// The gateway without a window, for cron jobs and service managers: the
// same working folder, settings, user table, logs and post office as the
// desktop program, the status lines on a stream, and nothing that ever
// waits for an operator.
class HeadlessGateway : public TransferDisplay {
public:
    HeadlessGateway(std::filesystem::path workFolder, std::ostream& out);
    ~HeadlessGateway() override;

    Gateway& Core() { return gateway_; }

    // What the window does at start: the status log restored, the welcome
    // line, the work folders, the user table and QLK.CFG.
    void Start();

    // Runs one transfer cycle; 0 when it logged no error, 1 otherwise.
    int RunOnce();

    void SetProgress(int) override {}
    void EnableTransferNow(bool) override {}

private:
    StreamLogView view_;
    Gateway gateway_;
};

}  // namespace qlk
