#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "mapi/MapiBackend.h"
#include "mapi/MapiIni.h"

namespace qlk {

// The loader: decides once whether the post office is there and binds the
// back end that serves it. Without MAPI.INI, or with its switch at 0, nothing
// is bound and every TEmail operation raises EMAPIunavailable. A loader made
// from MAPI.INI can tell when the file no longer says what it read, so that
// a long-running gateway can load the post office anew.
class SimpleMapi {
public:
    // Nothing bound.
    SimpleMapi();
    // A given back end (tests); `defaultProfile` stands in for MAPI.INI.
    explicit SimpleMapi(std::unique_ptr<MapiBackend> backend,
                        std::optional<std::string> defaultProfile = std::string("Internet"));
    ~SimpleMapi();
    SimpleMapi(const SimpleMapi&) = delete;
    SimpleMapi& operator=(const SimpleMapi&) = delete;

    // Reads MAPI.INI in the working folder and binds the Maildir back end
    // over the post office it names.
    static std::shared_ptr<SimpleMapi> Load(const std::filesystem::path& workFolder);

    bool MAPIavail() const { return backend_ != nullptr; }
    // Only when MAPIavail.
    MapiBackend& Backend() { return *backend_; }

    // The default profile as it stands now (MAPI.INI is read afresh when the
    // loader came from one), or none when it cannot be read.
    std::optional<std::string> DefaultProfile() const;

    // MAPI.INI was created, changed or removed since Load read it; never for
    // a loader that did not come from MAPI.INI.
    bool MapiIniChanged() const;

private:
    std::unique_ptr<MapiBackend> backend_;
    std::optional<std::filesystem::path> workFolder_;
    std::optional<std::string> defaultProfile_;
    std::optional<MapiIni> loadedIni_;
};

}  // namespace qlk
