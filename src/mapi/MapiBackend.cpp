#include "mapi/MapiBackend.h"

namespace qlk {

int MapiBackend::StageMail(std::uint32_t, const MapiMessage&, const std::string&, StagedMail&) {
    return MAPI_E_NOT_SUPPORTED;
}

void MapiBackend::SetBatched(bool) {}

int MapiBackend::SyncDeliveries() {
    return SUCCESS_SUCCESS;
}

int MapiBackend::CommitStaged(const std::string&, std::size_t, const std::string&, const std::string&) {
    return MAPI_E_NOT_SUPPORTED;
}

}  // namespace qlk
