#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qlk {

// A regular file mapped read-only into memory for as long as the object
// lives. Mapped() is false for anything that cannot be mapped (a missing,
// empty or special file) or is smaller than MINIMUMSIZE; the caller then
// reads it the ordinary way.
class MappedFile {
public:
    explicit MappedFile(const std::string& fileName, std::size_t minimumSize = 1);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Mapped() const { return data_ != nullptr; }
    std::string_view Text() const { return {static_cast<const char*>(data_), size_}; }
    // Gives the whole pages inside `part` (a piece of Text()) back to the
    // system; reading them again reads the file again.
    void Release(std::string_view part) const;

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace qlk
