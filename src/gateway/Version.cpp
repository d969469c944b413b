#include "gateway/Version.h"

namespace qlk {

std::string UpdateServerHost() {
    return QLK_UPDATE_HOST;
}

}  // namespace qlk
