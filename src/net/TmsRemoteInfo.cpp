#include "net/TmsRemoteInfo.h"

namespace qlk {

int TmsRemoteInfo::Add(std::unique_ptr<TmsRemoteInfoItem> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
}

void TmsRemoteInfo::Clear() {
    while (!items_.empty()) items_.pop_back();
}

}  // namespace qlk
