#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>

#include "gateway/Settings.h"
#include "gateway/StatusLog.h"

namespace qlk {

// QLK.CFG: 57 lines of labels and values, CR LF, read once at start and
// written once at shut-down. Only the position of a line matters when
// reading. Files of earlier versions end after line 47, 49 or 53: the
// settings of the lines after that keep their defaults.
class ConfigurationFile {
public:
    static constexpr const char* FileName = "QLK.CFG";
    static constexpr int LineCount = 57;
    static constexpr std::array<int, 3> EarlierLineCounts = {47, 49, 53};
    // The lines (1-based) that hold a password.
    static constexpr std::array<int, 2> PasswordLines = {35, 53};
    static constexpr const char* ReadErrorText =
        "Error Reading Configuration File QLK.CFG. File May Be Corrupt. Some Settings Set To Default.";

    ConfigurationFile(std::filesystem::path workFolder, StatusLog& log,
                      std::function<void(const std::string&)> showMessage);

    // Applies each value as it is read (the log's own settings to the log at
    // once). Never throws: the first failure is logged and shown once, and
    // the settings not read yet keep their values.
    void ReadConfiguration(Settings& settings);

    // Writes all 57 lines through a temporary file in the same folder that
    // replaces QLK.CFG only when complete (readable by the owner only).
    // Throws qlk::Exception when the file cannot be written.
    void SaveConfiguration(const Settings& settings);

    // The configuration file in the working folder: QLK.CFG, or an existing
    // file of that name in another letter case.
    std::filesystem::path ExistingFile() const;

    // The 57 lines, each ending in CR LF.
    static std::string Format(const Settings& settings);

private:
    std::filesystem::path workFolder_;
    StatusLog& log_;
    std::function<void(const std::string&)> showMessage_;
};

}  // namespace qlk
