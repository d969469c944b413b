#pragma once

#include <string>
#include <string_view>

namespace qlk {

// The last component of a path, split at either separator ("/" or "\"), so a
// name written on another system loses its folders too.
std::string_view ExtractFileName(std::string_view path);

// Reduces a file name taken from mail to a plain name that is safe to create
// in a folder of ours: control characters go, only the last component of
// either separator stays, runs of dots shrink to one dot and surrounding
// blanks go. Never empty: a name with nothing left becomes "attachment".
// At most 255 bytes, as file systems allow: a longer name loses the end of
// its stem, never half a character, and keeps its extension.
std::string SafeFileName(std::string_view name);

}  // namespace qlk
