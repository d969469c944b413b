#include "gateway/StatusLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <system_error>

#include "gateway/RtfDocument.h"
#include "platform/AsciiCase.h"
#include "platform/WriteAll.h"

namespace qlk {

namespace {

constexpr const char* WindowErrorBanner = "********** ERROR *********";
constexpr const char* FileErrorBanner = "********** ERROR **********";
constexpr const char* ClosingBanner = "**********";

bool ColorForLevel(int level, LogColor& color) {
    switch (level) {
        case 0:
            color = LogColor::Red;
            return true;
        case 1:
            color = LogColor::Black;
            return true;
        case 2:
            color = LogColor::Blue;
            return true;
        case 3:
            color = LogColor::Green;
            return true;
        case 4:
            color = LogColor::Red;
            return true;
        default:
            return false;
    }
}

// A message is one entry: a line break inside it (a mail subject can carry
// one) would start lines of its own in the log file that look like entries.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

}  // namespace

StatusLog::StatusLog(std::filesystem::path workFolder)
    : workFolder_(std::move(workFolder)), rtf_(workFolder_ / RtfFileName) {}

StatusLog::~StatusLog() {
    Flush();
    CloseLogFile();
}

void StatusLog::SetView(LogView* view) {
    view_ = view;
}

void StatusLog::WriteLog(const std::string& msg, int level) noexcept {
    try {
        Log(msg, level, true);
    } catch (...) {
        // The log must never stop its caller; a window that fails to show a
        // line loses that line only.
    }
    TestForBusyLine(msg);
}

void StatusLog::Log(const std::string& msg, int level, bool mayWriteFile) {
    if (lines_.size() > MaxWindowLines) EmptyWindow();
    if (level == 0) ++ErrorCount;
    ColorForLevel(level, color_);
    if (DetailLevel >= level || level == 4) RecordLine(msg, level, mayWriteFile && LogToFile);
}

void StatusLog::RecordLine(const std::string& text, int level, bool toFile) {
    const std::string msg = OneLine(text);
    std::string timestamp = Timestamp();
    if (level == 0) AddWindowLine(WindowErrorBanner);
    if (msg.empty())
        AddWindowLine({});
    else
        AddWindowLine(TimestampInWindow ? timestamp + " : " + msg : msg);
    if (level == 0) AddWindowLine(ClosingBanner);
    MirrorToRtf(level == 0);
    if (!toFile) return;

    std::string entry = timestamp + " : " + msg + "\r\n";
    if (level == 0) entry = std::string(FileErrorBanner) + "\r\n" + entry + ClosingBanner + "\r\n";
    try {
        AppendToLogFile(entry);
        logFileFailureShown_ = false;
    } catch (const std::exception& e) {
        ReportLogFileFailure(e.what());
    }
}

void StatusLog::AddWindowLine(std::string text) {
    lines_.push_back({std::move(text), color_});
    if (view_) view_->LineAdded(lines_.back());
}

void StatusLog::EmptyWindow() {
    lines_.clear();
    rtfBehind_ = false;
    rtf_.Forget();
    if (view_) view_->LogCleared();
}

void StatusLog::Flush() noexcept {
    if (rtfBehind_) MirrorToRtf(true);
}

void StatusLog::MirrorToRtf(bool now) noexcept {
    rtfBehind_ = true;
    if (!now && !IntervalPassed(rtfWrittenAt_)) return;
    rtfBehind_ = false;
    rtfWrittenAt_ = SteadyClock::now();
    try {
        rtf_.Update(lines_);
    } catch (...) {
        // The rich-text copy only serves the next start; the window is what counts.
    }
}

bool StatusLog::IntervalPassed(SteadyClock::time_point since) const {
    return FlushInterval.count() <= 0 || SteadyClock::now() - since >= FlushInterval;
}

void StatusLog::AppendToLogFile(const std::string& text) {
    OpenLogFile();
    const std::uintmax_t sizeBefore = logSize_;
    if (!WriteAll(logFd_, text)) {
        const int error = errno;
        CloseLogFile();
        throw std::system_error(error, std::generic_category());
    }
    logSize_ += text.size();
    // The file starts again from empty once it has passed its limit; the
    // entry just written goes with it.
    if (sizeBefore / BlockSize > MaxLogFileBlocks) {
        CloseLogFile();
        std::error_code ignored;
        std::filesystem::remove(logPath_, ignored);
    }
}

// Opens the log file unless the one open is still the file its name gives.
void StatusLog::OpenLogFile() {
    const std::filesystem::path file = LogFilePath();
    if (logFd_ >= 0 && file == logPath_ && (!IntervalPassed(logCheckedAt_) || LogFileStillOurs(file))) return;
    CloseLogFile();
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw std::system_error(errno, std::generic_category());
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category());
    }
    logFd_ = fd;
    logPath_ = file;
    logDevice_ = st.st_dev;
    logInode_ = st.st_ino;
    logSize_ = static_cast<std::uintmax_t>(std::max<off_t>(st.st_size, 0));
    logCheckedAt_ = SteadyClock::now();
}

// The name still leads to the open file; its size is taken afresh, since
// another program may have truncated or appended to it.
bool StatusLog::LogFileStillOurs(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || st.st_dev != logDevice_ || st.st_ino != logInode_) return false;
    logSize_ = static_cast<std::uintmax_t>(std::max<off_t>(st.st_size, 0));
    logCheckedAt_ = SteadyClock::now();
    return true;
}

void StatusLog::CloseLogFile() noexcept {
    if (logFd_ >= 0) ::close(logFd_);
    logFd_ = -1;
}

std::filesystem::path StatusLog::LogFilePath() const {
    if (LogFileName.empty() || LogFileName.find('\0') != std::string::npos)
        throw std::system_error(std::make_error_code(std::errc::invalid_argument));
    std::filesystem::path name(LogFileName);
    return name.is_absolute() ? name : workFolder_ / name;
}

void StatusLog::ReportLogFileFailure(const std::string& reason) noexcept {
    if (logFileFailureShown_) return;
    logFileFailureShown_ = true;
    try {
        Log("Cannot write the log file " + LogFileName + ": " + reason, 0, false);
    } catch (...) {
    }
}

void StatusLog::TestForBusyLine(const std::string& msg) noexcept {
    try {
        if (UpperCase(msg).find(BusyLineText) != std::string::npos && OnLineBusy) OnLineBusy();
    } catch (...) {
    }
}

std::string StatusLog::Timestamp() const {
    return Clock ? Clock() : LocaleTimestamp();
}

std::string StatusLog::LocaleTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[128];
    std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, n);
}

void StatusLog::RestoreFromRtf() {
    try {
        std::ifstream in(rtf_.File(), std::ios::binary);
        if (!in) return;
        std::string content;
        char chunk[64 * 1024];
        while (content.size() < RtfDocument::MaxInputBytes && in.read(chunk, sizeof chunk).gcount() > 0)
            content.append(chunk, static_cast<std::size_t>(in.gcount()));
        lines_ = RtfDocument::Read(content);
        if (view_) {
            view_->LogCleared();
            for (const auto& line : lines_) view_->LineAdded(line);
        }
        // A file we wrote ourselves can be appended to at once.
        if (content == RtfDocument::Write(lines_))
            rtf_.Adopt(lines_);
        else
            rtf_.Forget();
    } catch (...) {
        rtf_.Forget();
    }
}

void StatusLog::Clear(bool deleteFiles) {
    if (deleteFiles) {
        CloseLogFile();
        std::error_code ignored;
        try {
            std::filesystem::remove(LogFilePath(), ignored);
        } catch (...) {
        }
        std::filesystem::remove(rtf_.File(), ignored);
    }
    EmptyWindow();
}

void StatusLog::SaveRtf() {
    rtf_.Rewrite(lines_);
}

std::string StatusLog::RichText() const {
    return RtfDocument::Write(lines_);
}

}  // namespace qlk
