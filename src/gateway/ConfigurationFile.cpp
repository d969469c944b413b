#include "gateway/ConfigurationFile.h"

#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

#include "gateway/Version.h"
#include "platform/AsciiCase.h"
#include "platform/AtomicFile.h"
#include "platform/EFCreateError.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace {

// The day the time controls carry, as a day number (days since 30 December 1899).
constexpr int TimeControlDay = 35629;
// No line of a sound file comes near this; a longer one marks the file as damaged.
constexpr std::size_t MaxLineLength = 4096;

// A value could not be read; ends the reading at that line.
struct ReadFailure {};

// Lines of QLK.CFG, one at a time; past the end of the file, empty lines.
class ConfigLineReader {
public:
    explicit ConfigLineReader(std::istream& in) : in_(in) {}

    std::string Next() {
        std::string line;
        char c;
        while (in_.get(c)) {
            if (c == '\n') break;
            if (c == '\0' || line.size() >= MaxLineLength) throw ReadFailure{};
            line += c;
        }
        if (in_.bad()) throw ReadFailure{};
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    bool AtEnd() { return in_.peek() == std::char_traits<char>::eof(); }

    void Skip(int count) {
        for (int i = 0; i < count; ++i) Next();
    }

    // The value line below a label line; labels are not read.
    std::string Value() {
        Skip(1);
        return Next();
    }

private:
    std::istream& in_;
};

std::string_view TrimLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

template <typename Number = int>
Number ReadInteger(std::string_view text) {
    text = TrimLeadingBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    Number value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) throw ReadFailure{};
    return value;
}

std::string LocaleDecimalPoint() {
    const char* point = nl_langinfo(RADIXCHAR);
    return point && *point ? point : ".";
}

// A day number such as "35629.3333333333", with the locale's decimal
// separator (a point is taken too), in plain or exponent notation.
double ReadDayNumber(std::string_view text) {
    text = TrimLeadingBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::string plain(text);
    std::string point = LocaleDecimalPoint();
    if (auto at = plain.find(point); point != "." && at != std::string::npos)
        plain.replace(at, point.size(), ".");
    // from_chars would also take "inf", "nan" and hexadecimal forms.
    if (plain.empty() || plain.find_first_not_of("0123456789.eE+-") != std::string::npos) throw ReadFailure{};
    double value = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) throw ReadFailure{};
    return value;
}

// Only the fraction of a day number is the time of day.
int TimeOfDayFromDayNumber(double dayNumber) {
    double fraction = std::fabs(dayNumber - std::trunc(dayNumber));
    auto seconds = static_cast<int>(std::llround(fraction * Settings::SecondsPerDay));
    return seconds % Settings::SecondsPerDay;
}

std::string DayNumberText(int secondsSinceMidnight) {
    double dayNumber = TimeControlDay + static_cast<double>(secondsSinceMidnight) / Settings::SecondsPerDay;
    char text[64];
    std::snprintf(text, sizeof text, "%.15G", dayNumber);  // uses the locale's decimal separator
    return text;
}

// The locale's time form without seconds, as a human reader expects it.
std::string ShortTimeText(int secondsSinceMidnight) {
    std::string format = nl_langinfo(T_FMT);
    if (format == "%r") format = nl_langinfo(T_FMT_AMPM);
    if (format.empty() || format == "%T") format = "%H:%M:%S";
    for (auto at = format.find(":%S"); at != std::string::npos; at = format.find(":%S")) format.erase(at, 3);
    std::tm time{};
    time.tm_hour = secondsSinceMidnight / 3600;
    time.tm_min = secondsSinceMidnight / 60 % 60;
    time.tm_sec = secondsSinceMidnight % 60;
    char text[128];
    std::size_t n = std::strftime(text, sizeof text, format.c_str(), &time);
    return std::string(text, n);
}

// A value cannot hold a line break: it would shift every later line.
std::string SingleLine(const std::string& value) {
    std::string out = value;
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return out;
}

}  // namespace

ConfigurationFile::ConfigurationFile(std::filesystem::path workFolder, StatusLog& log,
                                     std::function<void(const std::string&)> showMessage)
    : workFolder_(std::move(workFolder)), log_(log), showMessage_(std::move(showMessage)) {}

std::filesystem::path ConfigurationFile::ExistingFile() const {
    std::filesystem::path exact = workFolder_ / FileName;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(exact, error))) return exact;
    std::vector<std::filesystem::path> matches;
    for (auto it = std::filesystem::directory_iterator(workFolder_, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (SameText(it->path().filename().string(), FileName)) matches.push_back(it->path());
    }
    if (matches.empty()) return exact;
    return *std::min_element(matches.begin(), matches.end());
}

void ConfigurationFile::ReadConfiguration(Settings& settings) {
    try {
        std::filesystem::path file = ExistingFile();
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) throw ReadFailure{};
        std::ifstream in(file, std::ios::binary);
        if (!in) throw ReadFailure{};
        ConfigLineReader reader(in);

        reader.Skip(5);  // three header lines, then the version that wrote the file, which is not used
        settings.ConnectionIndex = ReadInteger(reader.Value());
        settings.DelayMinutes = std::clamp(ReadInteger(reader.Value()), 1, 999);
        reader.Skip(1);
        for (bool& day : settings.Days) day = ReadInteger(reader.Next()) == 1;
        settings.StartTime = TimeOfDayFromDayNumber(ReadDayNumber(reader.Value()));
        settings.StopTime = TimeOfDayFromDayNumber(ReadDayNumber(reader.Value()));
        // The log obeys its settings at once, so an error in a later line is
        // logged the way this file asks.
        log_.LogToFile = settings.LogToFile = ReadInteger(reader.Value()) == 1;
        log_.LogFileName = settings.LogFileName = reader.Value();
        log_.TimestampInWindow = settings.TimestampInWindow = ReadInteger(reader.Value()) == 1;
        log_.DetailLevel = settings.LogDetailLevel = std::clamp(ReadInteger(reader.Value()), -1, 3);
        settings.SMTPServer = reader.Value();
        settings.DefaultPOP3Server = reader.Value();
        settings.DialupPassword = reader.Value();
        settings.DeleteMailFromMAPI = ReadInteger(reader.Value()) != 0;
        settings.AdminInternetAddress = reader.Value();
        settings.AdminMAPIName = reader.Value();
        settings.CCAdmin = ReadInteger(reader.Value()) != 0;
        settings.ShowInternetHeaders = ReadInteger(reader.Value()) != 0;
        settings.AutoUpdate = ReadInteger(reader.Value()) != 0;
        if (reader.AtEnd()) return;
        settings.MessageSizeLimit =
            std::clamp(ReadInteger<long long>(reader.Value()), 1LL, Settings::MaxMessageSizeLimit);
        if (reader.AtEnd()) return;
        settings.SMTPRelayUser = reader.Value();
        settings.SMTPRelayPassword = reader.Value();
        if (reader.AtEnd()) return;
        settings.MaxMessagesPerSession = static_cast<int>(std::clamp<long long>(
            ReadInteger<long long>(reader.Value()), 1, Settings::MaxMessagesPerSessionLimit));
        settings.KeepMessageCopies = ReadInteger(reader.Value()) != 0;
    } catch (...) {
        log_.WriteLog(ReadErrorText, 0);
        try {
            if (showMessage_) showMessage_(ReadErrorText);
        } catch (...) {
        }
    }
}

std::string ConfigurationFile::Format(const Settings& s) {
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    std::vector<std::string> lines = {
        " This is the Configuration file for Quelmark",
        "Do not edit this file, or QLK may not function properly",
        "If you have any issues regarding this file, please contact VRT",
        "Config File Version",
        VersionText,
        "Dialup Connection",
        std::to_string(s.ConnectionIndex),
        "Delay between mail checks",
        std::to_string(s.DelayMinutes),
        "Days to Check (1=on, 0=off, MTWTFSS)",
    };
    for (bool day : s.Days) lines.push_back(flag(day));
    lines.insert(lines.end(), {
                                  "Start Time : " + ShortTimeText(s.StartTime),
                                  DayNumberText(s.StartTime),
                                  "Stop Time : " + ShortTimeText(s.StopTime),
                                  DayNumberText(s.StopTime),
                                  "Log to file?",
                                  flag(s.LogToFile),
                                  "Log Filename",
                                  SingleLine(s.LogFileName),
                                  "Use Timestamp in Status Window",
                                  flag(s.TimestampInWindow),
                                  "Log Detail Level : 0=Errors, 1=Standard, 2= Detailed 3=Debug",
                                  std::to_string(s.LogDetailLevel),
                                  "SMTP Server",
                                  SingleLine(s.SMTPServer),
                                  "Default POP3 Server",
                                  SingleLine(s.DefaultPOP3Server),
                                  "Default Mailbox",
                                  SingleLine(s.DialupPassword),
                                  "Delete Mail from MAPI server",
                                  std::to_string(s.DeleteMailFromMAPI ? 1 : 0),
                                  "Administrator Internet Address",
                                  SingleLine(s.AdminInternetAddress),
                                  "Administrator MAPI Address",
                                  SingleLine(s.AdminMAPIName),
                                  "CC Admin on ALL messages",
                                  std::to_string(s.CCAdmin ? 1 : 0),
                                  "Show Internet Headers",
                                  std::to_string(s.ShowInternetHeaders ? 1 : 0),
                                  "Auto Update",
                                  std::to_string(s.AutoUpdate ? 1 : 0),
                                  "Largest message fetched, in bytes (at most 268435456)",
                                  std::to_string(s.MessageSizeLimit),
                                  "SMTP relay log-in (empty: each sender's own, when the relay asks)",
                                  SingleLine(s.SMTPRelayUser),
                                  "SMTP relay password",
                                  SingleLine(s.SMTPRelayPassword),
                                  "Most messages fetched per mailbox and cycle",
                                  std::to_string(s.MaxMessagesPerSession),
                                  "Keep a copy of every fetched message in QLKMSG (1=on, 0=off)",
                                  flag(s.KeepMessageCopies),
                              });
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

void ConfigurationFile::SaveConfiguration(const Settings& settings) {
    log_.WriteLog("Saving Config File", 3);
    try {
        AtomicFile::WriteWhole(ExistingFile(), Format(settings));  // owner-only: it holds a password
    } catch (const EFCreateError&) {
        throw EFCreateError(FileName);
    }
    log_.WriteLog("Finished Saving Config File", 3);
}

}  // namespace qlk
