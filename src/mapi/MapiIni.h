#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qlk {

// MAPI.INI in the working folder: whether the post office is switched on,
// where it lives and which mailbox a log-on without a profile opens.
//
//   [MAIL]
//   MAPI=1
//   PostOffice=postoffice
//   DefaultProfile=Internet
class MapiIni {
public:
    static constexpr const char* FileName = "MAPI.INI";
    static constexpr const char* DefaultPostOffice = "postoffice";
    static constexpr const char* DefaultProfileName = "Internet";

    // The switch: 0 (or a missing file, or a value that is not a number)
    // means off. A value of more than two characters beginning "0x" or "0X"
    // is hexadecimal.
    long Mapi = 0;
    std::string PostOffice = DefaultPostOffice;
    std::string DefaultProfile = DefaultProfileName;

    // None when the file is missing or unreadable.
    static std::optional<MapiIni> Read(const std::filesystem::path& workFolder);
    // Writes the file whole (mode 0600: it may come to hold passwords).
    void Write(const std::filesystem::path& workFolder) const;

    // The post-office folder, relative to the working folder unless absolute.
    std::filesystem::path PostOfficeFolder(const std::filesystem::path& workFolder) const;

    // The switch's number rules, on their own.
    static long ParseSwitch(const std::string& value);

    friend bool operator==(const MapiIni&, const MapiIni&) = default;
};

}  // namespace qlk
