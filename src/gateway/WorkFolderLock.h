#pragma once

#include <filesystem>
#include <string>

namespace qlk {

// The one gateway of a working folder: an advisory lock on QLK.LCK, held for
// the life of the window, the service or a --once run, so that two gateways
// never share QLKMSG/, QLKATT/, the post office's staging and the
// remembered message IDs. The lock goes with the process however it ends;
// the file stays.
class WorkFolderLock {
public:
    static constexpr const char* FileName = "QLK.LCK";
    // The exit status of a run that found the folder taken (EX_TEMPFAIL: a
    // later run may well succeed).
    static constexpr int BusyExitCode = 75;

    // Tries once, without waiting.
    explicit WorkFolderLock(const std::filesystem::path& workFolder);
    ~WorkFolderLock();
    WorkFolderLock(const WorkFolderLock&) = delete;
    WorkFolderLock& operator=(const WorkFolderLock&) = delete;

    bool Held() const { return problem_.empty(); }
    // Why the lock is not held, for the operator; empty when it is.
    const std::string& Problem() const { return problem_; }

private:
    int fd_ = -1;
    std::string problem_;
};

}  // namespace qlk
