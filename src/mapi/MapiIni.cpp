#include "mapi/MapiIni.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "message/TextUtils.h"
#include "platform/AtomicFile.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxLine = 4096;

// "KEY=VALUE" in the [MAIL] section, key compared without letter case.
void TakeMailEntry(std::string_view line, MapiIni& ini) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (SameText(key, "MAPI")) {
        ini.Mapi = MapiIni::ParseSwitch(value);
    } else if (SameText(key, "PostOffice")) {
        if (!value.empty()) ini.PostOffice = value;
    } else if (SameText(key, "DefaultProfile")) {
        ini.DefaultProfile = value;
    }
}

}  // namespace

long MapiIni::ParseSwitch(const std::string& value) {
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const char* begin = value.c_str() + (hex ? 2 : 0);
    if (*begin == '\0') return 0;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(begin, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0') return 0;
    return number;
}

std::optional<MapiIni> MapiIni::Read(const std::filesystem::path& workFolder) {
    std::ifstream in(workFolder / FileName, std::ios::binary);
    if (!in) return std::nullopt;
    MapiIni ini;
    bool inMail = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > kMaxLine) continue;
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';') continue;
        if (text.front() == '[') {
            inMail = SameText(text, "[MAIL]");
        } else if (inMail) {
            TakeMailEntry(text, ini);
        }
    }
    return ini;
}

void MapiIni::Write(const std::filesystem::path& workFolder) const {
    const std::string text = "[MAIL]\nMAPI=" + std::to_string(Mapi) + "\nPostOffice=" + PostOffice +
                             "\nDefaultProfile=" + DefaultProfile + "\n";
    AtomicFile::WriteWhole(workFolder / FileName, text);
}

std::filesystem::path MapiIni::PostOfficeFolder(const std::filesystem::path& workFolder) const {
    const std::filesystem::path folder(PostOffice);
    return folder.is_absolute() ? folder : workFolder / folder;
}

}  // namespace qlk
