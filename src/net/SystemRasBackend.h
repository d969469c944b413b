#pragma once

#include <memory>

#include "net/RasBackend.h"

namespace qlk {

// The dial-up service of this system: NetworkManager when it runs, else
// pppd when it is installed, else none (null), and the gateway works over
// the local network.
std::unique_ptr<RasBackend> SystemRasBackend();

}  // namespace qlk
