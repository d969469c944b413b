#include "net/TTempFileStream.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/EFCreateError.h"

namespace qlk {

namespace {

std::string MakeTempFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = (dir && *dir ? std::string(dir) : std::string("/tmp")) + "/msXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw EFCreateError(pattern);
    ::close(fd);
    return name.data();
}

}  // namespace

TTempFileStream::TTempFileStream() : fileName_(MakeTempFile()) {
    open(fileName_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!is_open()) {
        ::unlink(fileName_.c_str());
        throw EFCreateError(fileName_);
    }
}

TTempFileStream::~TTempFileStream() {
    close();
    ::unlink(fileName_.c_str());
}

std::streamoff TTempFileStream::Size() {
    auto here = tellp();
    seekp(0, std::ios::end);
    auto last = tellp();
    seekp(here);
    return last;
}

}  // namespace qlk
