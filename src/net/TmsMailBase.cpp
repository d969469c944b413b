#include "net/TmsMailBase.h"

namespace qlk {

void TmsMailBase::Connect() {
    if (Connected()) return;
    Open();
    Login();
}

void TmsMailBase::Disconnect() {
    if (!Connected()) return;
    Logout();
    Close();
}

void TmsMailBase::CheckCommandValue(const std::string& what, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) {
        RaiseErrorText(what + " holds a line break and cannot be sent", false);
    }
}

void TmsMailBase::SendCommand(const std::string& line) {
    CheckCommandValue("Command", line);
    SendLine(line);
}

}  // namespace qlk
