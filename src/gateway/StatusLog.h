#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "gateway/LogLine.h"
#include "gateway/LogView.h"
#include "gateway/RtfMirror.h"

namespace qlk {

// The status log: the lines of the status window, their rich-text copy
// QLKLOG.RTF (rewritten after every recorded line so that the next start can
// restore the window) and the plain-text log file. Toolkit-free: the window
// that shows the lines listens through LogView.
class StatusLog {
public:
    static constexpr const char* RtfFileName = "QLKLOG.RTF";
    static constexpr std::size_t MaxWindowLines = 1000;
    static constexpr const char* BusyLineText = "THE LINE IS BUSY";

    explicit StatusLog(std::filesystem::path workFolder);

    void SetView(LogView* view);  // may be null

    // The one log operation. Levels: 0 error, 1 standard, 2 detailed,
    // 3 verbose, 4 notice (always recorded). Never throws: a log file that
    // cannot be written is reported once in the window and the caller goes on.
    void WriteLog(const std::string& msg, int level) noexcept;

    // Loads QLKLOG.RTF into the window at start; any failure leaves the
    // window as it was.
    void RestoreFromRtf();

    // Empties the window; with deleteFiles also removes the log file and
    // QLKLOG.RTF (failures ignored).
    void Clear(bool deleteFiles);

    // Writes the window to QLKLOG.RTF; throws qlk::Exception on failure.
    void SaveRtf();

    // The window as RTF, for printing and saving.
    std::string RichText() const;

    const std::vector<LogLine>& Lines() const { return lines_; }

    // Settings of the window and the configuration file.
    int DetailLevel = 3;  // -1 (nothing selected: only notices) to 3
    bool TimestampInWindow = true;
    bool LogToFile = true;
    std::string LogFileName = "QLKLOG.TXT";  // relative to the working folder unless absolute

    // Errors logged since the cycle last reset it, filtered lines included.
    int ErrorCount = 0;

    // A logged text reported a busy telephone line: the scheduler redials early.
    std::function<void()> OnLineBusy;

    // The timestamp text; by default the locale's short date and long time.
    std::function<std::string()> Clock;

    static std::string LocaleTimestamp();

private:
    static constexpr std::uintmax_t BlockSize = 128;
    static constexpr std::uintmax_t MaxLogFileBlocks = 65000;

    void Log(const std::string& msg, int level, bool mayWriteFile);
    void RecordLine(const std::string& text, int level, bool toFile, std::uintmax_t blocksBefore);
    void AddWindowLine(std::string text);
    void EmptyWindow();
    void MirrorToRtf() noexcept;
    void AppendToLogFile(const std::string& text, std::uintmax_t blocksBefore);
    std::uintmax_t LogFileBlocks() const noexcept;
    std::filesystem::path LogFilePath() const;
    void ReportLogFileFailure(const std::string& reason) noexcept;
    void TestForBusyLine(const std::string& msg) noexcept;
    std::string Timestamp() const;

    std::filesystem::path workFolder_;
    LogView* view_ = nullptr;
    std::vector<LogLine> lines_;
    LogColor color_ = LogColor::Black;
    RtfMirror rtf_;
    bool logFileFailureShown_ = false;
};

}  // namespace qlk
