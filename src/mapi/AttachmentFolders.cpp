#include "mapi/AttachmentFolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/WriteAll.h"

namespace qlk {

namespace {

std::filesystem::path MakeFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = (dir && *dir ? std::string(dir) : std::string("/tmp")) + "/msXXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

}  // namespace

AttachmentFolders::~AttachmentFolders() {
    RemoveEmpty();
}

AttachmentFolders::Outcome AttachmentFolders::WriteInto(const std::filesystem::path& folder,
                                                        const std::vector<File>& files,
                                                        std::vector<std::filesystem::path>& paths) {
    paths.clear();
    Outcome outcome = Outcome::Written;
    for (const File& file : files) {
        const std::filesystem::path path = folder / file.Name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            outcome = errno == EEXIST ? Outcome::NameTaken : Outcome::Failed;
            break;
        }
        paths.push_back(path);
        const bool written = WriteAll(fd, *file.Data);
        if (::close(fd) != 0 || !written) {
            outcome = Outcome::Failed;
            break;
        }
    }
    if (outcome != Outcome::Written) {
        for (const std::filesystem::path& path : paths) ::unlink(path.c_str());
        paths.clear();
    }
    return outcome;
}

std::optional<std::vector<std::filesystem::path>> AttachmentFolders::Write(const std::vector<File>& files) {
    std::vector<std::filesystem::path> paths;
    if (!folders_.empty()) {
        const Outcome outcome = WriteInto(folders_.back(), files, paths);
        if (outcome == Outcome::Written) return paths;
        if (outcome == Outcome::Failed && errno != ENOENT) return std::nullopt;
    }
    const std::filesystem::path fresh = MakeFolder();
    if (fresh.empty()) return std::nullopt;
    folders_.push_back(fresh);
    if (WriteInto(fresh, files, paths) == Outcome::Written) return paths;
    return std::nullopt;
}

void AttachmentFolders::RemoveEmpty() {
    // rmdir removes only an empty folder: files the reader still has stay.
    std::erase_if(folders_, [](const std::filesystem::path& folder) {
        return ::rmdir(folder.c_str()) == 0 || errno == ENOENT;
    });
}

}  // namespace qlk
