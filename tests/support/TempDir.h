#pragma once

#include <filesystem>
#include <string>

namespace qlk::test {

// A fresh folder under $TMPDIR, removed with everything in it when the object
// goes. Tests use it as the gateway's working folder.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A file of the source tree, e.g. SourcePath("tests/data/plain.eml").
std::filesystem::path SourcePath(const std::string& relative);

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace qlk::test
