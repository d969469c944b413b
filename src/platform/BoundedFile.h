#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace qlk {

// Reads a small file the gateway keeps for itself whole, with suspicion: a
// link is not followed, and only a plain file of at most MAXBYTES is read.
class BoundedFile {
public:
    enum class Outcome { Read, Missing, Unreadable };

    static Outcome Read(const std::filesystem::path& file, std::size_t maxBytes, std::string& bytes);
};

}  // namespace qlk
