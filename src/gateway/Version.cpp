#include "gateway/Version.h"

namespace qlk {

std::string UpdateServerHost() {
    return QLK_UPDATE_HOST;
}

std::string UpdatePublicKey() {
    return QLK_UPDATE_PUBLIC_KEY;
}

}  // namespace qlk
