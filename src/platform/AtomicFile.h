#pragma once

#include <filesystem>
#include <string_view>

namespace qlk {

// Writes a file whole or not at all. The bytes go to a temporary file (mode
// 0600) beside the target or in a given folder on the same file system; Sync
// flushes it to the disk and Commit renames it over the target and syncs the
// target's folder. Until Commit the target is untouched; a file that is
// destroyed uncommitted removes its temporary file.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    AtomicFile(std::filesystem::path target, const std::filesystem::path& temporaryFolder);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;

    // Raises EStreamError "Stream write error" when the disk refuses.
    void Write(std::string_view bytes);
    // fsync and close; after it only Commit or destruction.
    void Sync();
    // Sync (when not done yet), rename over the target, fsync its folder.
    // Raises EFCreateError when the rename fails.
    void Commit();

    const std::filesystem::path& Target() const { return target_; }
    // Where the bytes wait until Commit, for a caller that sets the owner or
    // mode the new file must have before it replaces the target.
    const std::filesystem::path& TemporaryPath() const { return temporary_; }

    // The whole write in one call.
    static void WriteWhole(const std::filesystem::path& target, std::string_view contents);
    // fsync of a folder, so that a rename or unlink in it survives a crash.
    static void SyncFolder(const std::filesystem::path& folder);

private:
    void Discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace qlk
