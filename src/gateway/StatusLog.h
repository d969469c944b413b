#pragma once

#include <sys/types.h>

#include <chrono>
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
// QLKLOG.RTF (so that the next start can restore the window) and the
// plain-text log file. Toolkit-free: the window that shows the lines listens
// through LogView.
//
// A line must cost next to nothing, since the inbound path writes a score of
// them per message: the log file stays open and its size is counted, with
// the file looked up again at most once per FlushInterval (it may have been
// removed or rotated behind our back); each line reaches the file with one
// write, so a crash loses none of it. The RTF copy is brought up to the
// window at most once per FlushInterval, and at once for an error line and
// at every Flush (the end of each message and of each cycle).
class StatusLog {
public:
    static constexpr const char* RtfFileName = "QLKLOG.RTF";
    static constexpr std::size_t MaxWindowLines = 1000;
    static constexpr const char* BusyLineText = "THE LINE IS BUSY";

    explicit StatusLog(std::filesystem::path workFolder);
    ~StatusLog();
    StatusLog(const StatusLog&) = delete;
    StatusLog& operator=(const StatusLog&) = delete;

    void SetView(LogView* view);  // may be null

    // The one log operation. Levels: 0 error, 1 standard, 2 detailed,
    // 3 verbose, 4 notice (always recorded). Never throws: a log file that
    // cannot be written is reported once in the window and the caller goes on.
    void WriteLog(const std::string& msg, int level) noexcept;

    // Brings QLKLOG.RTF up to the window now. Never throws.
    void Flush() noexcept;

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
    // Longest time a window line waits for QLKLOG.RTF, and between two
    // look-ups of the log file by its name; zero: at every line.
    std::chrono::milliseconds FlushInterval{1000};

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

    using SteadyClock = std::chrono::steady_clock;

    void Log(const std::string& msg, int level, bool mayWriteFile);
    void RecordLine(const std::string& text, int level, bool toFile);
    void AddWindowLine(std::string text);
    void EmptyWindow();
    void MirrorToRtf(bool now) noexcept;
    bool IntervalPassed(SteadyClock::time_point since) const;
    void AppendToLogFile(const std::string& text);
    void OpenLogFile();
    bool LogFileStillOurs(const std::filesystem::path& file);
    void CloseLogFile() noexcept;
    std::filesystem::path LogFilePath() const;
    void ReportLogFileFailure(const std::string& reason) noexcept;
    void TestForBusyLine(const std::string& msg) noexcept;
    std::string Timestamp() const;

    std::filesystem::path workFolder_;
    LogView* view_ = nullptr;
    std::vector<LogLine> lines_;
    LogColor color_ = LogColor::Black;
    RtfMirror rtf_;
    bool rtfBehind_ = false;
    SteadyClock::time_point rtfWrittenAt_{};
    bool logFileFailureShown_ = false;
    // The open log file, the name it was opened by, and its size as counted.
    int logFd_ = -1;
    std::filesystem::path logPath_;
    dev_t logDevice_ = 0;
    ino_t logInode_ = 0;
    std::uintmax_t logSize_ = 0;
    SteadyClock::time_point logCheckedAt_{};
};

}  // namespace qlk
