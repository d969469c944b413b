#include "gateway/HeadlessGateway.h"

#include <filesystem>
#include <ostream>

#include "net/SystemRasBackend.h"

namespace qlk {

HeadlessGateway::HeadlessGateway(std::filesystem::path workFolder, std::ostream& out)
    // What the window would show in a message box is in the status log already.
    : view_(out), gateway_(std::move(workFolder), [](const std::string&) {}), ras_(SystemRasBackend()) {
    gateway_.SetDisplay(this);
    ras_.OnShowMessage = [this](const std::string& text) { gateway_.Log().WriteLog(text, 1); };
    gateway_.SetRAS(&ras_);
    gateway_.Log().SetView(&view_);
}

HeadlessGateway::~HeadlessGateway() {
    gateway_.Log().SetView(nullptr);
}

void HeadlessGateway::Start() {
    gateway_.StartUp();
    Settings settings;
    // Without a window nobody would ever write the first QLK.CFG: a new
    // working folder gets the defaults as a file to edit. An existing file is
    // never rewritten here.
    ConfigurationFile& config = gateway_.Config();
    std::error_code ignored;
    if (!std::filesystem::exists(config.ExistingFile(), ignored)) config.SaveConfiguration(settings);
    config.ReadConfiguration(settings);
    gateway_.UseSettings(settings);
}

int HeadlessGateway::RunOnce() {
    gateway_.Cycle().RunTransferCycle();
    return gateway_.Log().ErrorCount == 0 ? 0 : 1;
}

}  // namespace qlk
