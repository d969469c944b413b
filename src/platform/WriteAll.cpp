#include "platform/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace qlk {

namespace {

// One loop for both forms: `offset` below 0 writes at the descriptor's position.
bool WriteLoop(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                                     : ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        if (offset >= 0) offset += n;
    }
    return true;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
    return WriteLoop(fd, bytes, -1);
}

bool WriteAllAt(int fd, std::string_view bytes, off_t offset) {
    return offset >= 0 && WriteLoop(fd, bytes, offset);
}

}  // namespace qlk
