#include "gateway/WorkFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qlk {

WorkFolderLock::WorkFolderLock(const std::filesystem::path& workFolder) {
    const std::filesystem::path file = workFolder / FileName;
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        problem_ = "Cannot open " + file.string() + ": " + std::strerror(errno);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    problem_ = errno == EWOULDBLOCK ? "Another gateway is running in " + workFolder.string()
                                    : "Cannot lock " + file.string() + ": " + std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
}

WorkFolderLock::~WorkFolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace qlk
