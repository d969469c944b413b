#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qlk {

// The temporary folders (under $TMPDIR, mode 0700) that hold the attachment
// files of messages read. The files keep the names the sender gave them, so
// one folder serves message after message until a name in it is still taken;
// then the next message gets a fresh folder. The files belong to the reader,
// who deletes them; a folder goes when it is found empty.
class AttachmentFolders {
public:
    struct File {
        std::string Name;  // a plain file name, distinct within the message
        const std::string* Data;
    };

    AttachmentFolders() = default;
    ~AttachmentFolders();
    AttachmentFolders(const AttachmentFolders&) = delete;
    AttachmentFolders& operator=(const AttachmentFolders&) = delete;

    // Writes every file (mode 0600) into one folder and returns their paths;
    // none, with nothing left behind, when the disk refuses.
    std::optional<std::vector<std::filesystem::path>> Write(const std::vector<File>& files);
    // Removes the folders that are empty now.
    void RemoveEmpty();

private:
    enum class Outcome { Written, NameTaken, Failed };
    static Outcome WriteInto(const std::filesystem::path& folder, const std::vector<File>& files,
                             std::vector<std::filesystem::path>& paths);

    std::vector<std::filesystem::path> folders_;
};

}  // namespace qlk
