// ReadConfiguration fed any bytes as QLK.CFG: it must report, never crash.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "gateway/ConfigurationFile.h"

namespace {

const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = "/tmp/qlk-fuzz-config-XXXXXX";
        if (!mkdtemp(pattern.data())) __builtin_trap();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(Folder() / "QLK.CFG", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    qlk::StatusLog log(Folder());
    log.LogToFile = false;
    log.DetailLevel = -1;  // nothing recorded: no file written per input
    int shown = 0;
    qlk::ConfigurationFile config(Folder(), log, [&](const std::string&) { ++shown; });
    qlk::Settings settings;
    config.ReadConfiguration(settings);
    bool inRange = settings.DelayMinutes >= 1 && settings.DelayMinutes <= 999 &&
                   settings.LogDetailLevel >= -1 && settings.LogDetailLevel <= 3 && settings.StartTime >= 0 &&
                   settings.StartTime < qlk::Settings::SecondsPerDay && settings.StopTime >= 0 &&
                   settings.StopTime < qlk::Settings::SecondsPerDay;
    if (!inRange || shown > 1) __builtin_trap();
    return 0;
}
