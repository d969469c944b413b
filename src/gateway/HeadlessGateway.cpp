#include "gateway/HeadlessGateway.h"

#include <ostream>

namespace qlk {

HeadlessGateway::HeadlessGateway(std::filesystem::path workFolder, std::ostream& out)
    // What the window would show in a message box is in the status log already.
    : view_(out), gateway_(std::move(workFolder), [](const std::string&) {}) {
    gateway_.SetDisplay(this);
    gateway_.Log().SetView(&view_);
}

HeadlessGateway::~HeadlessGateway() {
    gateway_.Log().SetView(nullptr);
}

void HeadlessGateway::Start() {
    gateway_.StartUp();
    Settings settings;
    gateway_.Config().ReadConfiguration(settings);
    gateway_.UseSettings(settings);
}

int HeadlessGateway::RunOnce() {
    gateway_.Cycle().RunTransferCycle();
    return gateway_.Log().ErrorCount == 0 ? 0 : 1;
}

}  // namespace qlk
