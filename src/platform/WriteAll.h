#pragma once

#include <sys/types.h>

#include <string_view>

namespace qlk {

// Writes every byte to the descriptor, going on after an interrupted or
// partial write. False when the system refused (errno says why; EIO for a
// write that took nothing).
bool WriteAll(int fd, std::string_view bytes);
// The same at OFFSET in the file, leaving the descriptor's position alone.
bool WriteAllAt(int fd, std::string_view bytes, off_t offset);

}  // namespace qlk
