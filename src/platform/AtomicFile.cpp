#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/EFCreateError.h"
#include "platform/EStreamError.h"
#include "platform/WriteAll.h"

namespace qlk {

AtomicFile::AtomicFile(std::filesystem::path target)
    : AtomicFile(target, target.has_parent_path() ? target.parent_path() : std::filesystem::path(".")) {}

AtomicFile::AtomicFile(std::filesystem::path target, const std::filesystem::path& temporaryFolder)
    : target_(std::move(target)) {
    std::string pattern = (temporaryFolder / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);  // mkstemp creates it readable by the owner only
    if (fd_ < 0) throw EFCreateError(target_.string());
    temporary_ = pattern;
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(std::exchange(other.fd_, -1)),
      committed_(std::exchange(other.committed_, true)) {}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    committed_ = true;
}

void AtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0) throw EStreamError::Write();
    if (!WriteAll(fd_, bytes)) throw EStreamError::Write();
}

void AtomicFile::Sync() {
    if (fd_ < 0) return;
    int fd = std::exchange(fd_, -1);
    bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced) throw EStreamError::Write();
}

void AtomicFile::Commit() {
    if (committed_) throw EFCreateError(target_.string());
    Sync();
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) throw EFCreateError(target_.string());
    committed_ = true;
    SyncFolder(target_.has_parent_path() ? target_.parent_path() : std::filesystem::path("."));
}

void AtomicFile::WriteWhole(const std::filesystem::path& target, std::string_view contents) {
    AtomicFile file(target);
    file.Write(contents);
    file.Commit();
}

void AtomicFile::SyncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace qlk
