#include "gateway/RtfMirror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "gateway/RtfDocument.h"
#include "platform/EFCreateError.h"
#include "platform/WriteAll.h"

namespace qlk {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

RtfMirror::RtfMirror(std::filesystem::path file) : file_(std::move(file)) {}

void RtfMirror::Update(const std::vector<LogLine>& lines) {
    if (!inStep_ || lines.size() < lineCount_) return Rewrite(lines);
    if (lines.size() == lineCount_) return;
    FileDescriptor fd(::open(file_.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.get() < 0 || !FileUnchanged(fd.get())) return Rewrite(lines);
    inStep_ = false;
    AppendFrom(fd.get(), lines);
    if (!fd.Close()) throw EFCreateError(file_.filename().string());
    inStep_ = true;
}

void RtfMirror::AppendFrom(int fd, const std::vector<LogLine>& lines) {
    std::string tail;
    for (std::size_t i = lineCount_; i < lines.size(); ++i) tail += RtfDocument::Paragraph(lines[i]);
    tail += RtfDocument::Trailer;
    // The closing brace is the last byte: the new paragraphs go over it.
    if (!WriteAllAt(fd, tail, size_ - 1)) throw EFCreateError(file_.filename().string());
    Remember(fd, lines.size());
}

void RtfMirror::Rewrite(const std::vector<LogLine>& lines) {
    inStep_ = false;
    FileDescriptor fd(::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0 || !WriteAllAt(fd.get(), RtfDocument::Write(lines), 0))
        throw EFCreateError(file_.filename().string());
    Remember(fd.get(), lines.size());
    if (!fd.Close()) throw EFCreateError(file_.filename().string());
    inStep_ = true;
}

void RtfMirror::Adopt(const std::vector<LogLine>& lines) {
    inStep_ = false;
    FileDescriptor fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return;
    Remember(fd.get(), lines.size());
    inStep_ = size_ > 0;
}

bool RtfMirror::FileUnchanged(int fd) const {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size_ && st.st_dev == device_ &&
           st.st_ino == inode_ && size_ > 0;
}

void RtfMirror::Remember(int fd, std::size_t lineCount) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw EFCreateError(file_.filename().string());
    size_ = st.st_size;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    lineCount_ = lineCount;
}

}  // namespace qlk
