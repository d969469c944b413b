#include "net/SystemRasBackend.h"

#include "net/ChildProcess.h"
#include "net/NmcliBackend.h"
#include "net/PppdBackend.h"

namespace qlk {

std::unique_ptr<RasBackend> SystemRasBackend() {
    const std::string nmcli = ChildProcess::Find("nmcli");
    if (NmcliBackend::ManagerRunning(nmcli)) return std::make_unique<NmcliBackend>(nmcli);
    const std::string pppd = ChildProcess::Find("pppd");
    if (!pppd.empty()) return std::make_unique<PppdBackend>(pppd);
    return nullptr;
}

}  // namespace qlk
