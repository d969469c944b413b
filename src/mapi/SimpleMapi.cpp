#include "mapi/SimpleMapi.h"

#include <utility>

#include "mapi/MaildirBackend.h"

namespace qlk {

SimpleMapi::SimpleMapi() = default;

SimpleMapi::SimpleMapi(std::unique_ptr<MapiBackend> backend, std::optional<std::string> defaultProfile)
    : backend_(std::move(backend)), defaultProfile_(std::move(defaultProfile)) {}

SimpleMapi::~SimpleMapi() = default;

std::shared_ptr<SimpleMapi> SimpleMapi::Load(const std::filesystem::path& workFolder) {
    const std::optional<MapiIni> ini = MapiIni::Read(workFolder);
    auto mapi =
        !ini || ini->Mapi == 0
            ? std::make_shared<SimpleMapi>()
            : std::make_shared<SimpleMapi>(
                  std::make_unique<MaildirBackend>(ini->PostOfficeFolder(workFolder), ini->DefaultProfile),
                  ini->DefaultProfile);
    mapi->workFolder_ = workFolder;
    mapi->loadedIni_ = ini;
    return mapi;
}

std::optional<std::string> SimpleMapi::DefaultProfile() const {
    if (!workFolder_) return defaultProfile_;
    const std::optional<MapiIni> ini = MapiIni::Read(*workFolder_);
    if (!ini) return std::nullopt;
    return ini->DefaultProfile;
}

bool SimpleMapi::MapiIniChanged() const {
    return workFolder_ && MapiIni::Read(*workFolder_) != loadedIni_;
}

}  // namespace qlk
