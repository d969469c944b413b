#pragma once

#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <vector>

#include "gateway/LogLine.h"

namespace qlk {

// Keeps an RTF file equal to the lines of the status window. A new line is
// appended in place (written over the closing brace), so a line costs the
// same with a full window as with an empty one; the file is written whole
// only when it is out of step (first write, window emptied, file changed
// behind our back).
class RtfMirror {
public:
    explicit RtfMirror(std::filesystem::path file);

    // Brings the file up to the window: appends the lines written since the
    // last call, or writes the file whole when it is out of step. Throws
    // qlk::Exception on failure.
    void Update(const std::vector<LogLine>& lines);

    // Writes the whole window; throws qlk::Exception on failure.
    void Rewrite(const std::vector<LogLine>& lines);

    // The file on disk no longer matches what was last written.
    void Forget() { inStep_ = false; }

    // The file on disk, as just read, is exactly the RTF of these lines.
    void Adopt(const std::vector<LogLine>& lines);

    const std::filesystem::path& File() const { return file_; }

private:
    bool FileUnchanged(int fd) const;
    void Remember(int fd, std::size_t lineCount);
    void AppendFrom(int fd, const std::vector<LogLine>& lines);

    std::filesystem::path file_;
    bool inStep_ = false;
    std::size_t lineCount_ = 0;
    off_t size_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace qlk
