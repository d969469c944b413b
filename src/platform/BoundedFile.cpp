#include "platform/BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qlk {

BoundedFile::Outcome BoundedFile::Read(const std::filesystem::path& file, std::size_t maxBytes,
                                       std::string& bytes) {
    bytes.clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? Outcome::Missing : Outcome::Unreadable;
    struct stat info {};
    bool readable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    static_cast<std::uintmax_t>(info.st_size) <= maxBytes;
    if (readable) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        readable = got == bytes.size();
    }
    ::close(fd);
    if (!readable) bytes.clear();
    return readable ? Outcome::Read : Outcome::Unreadable;
}

}  // namespace qlk
