#pragma once

#include <cstdint>

#include "platform/ShortString.h"

namespace qlk {

// A date and time as days since 30 December 1899 with the time of day as the
// fraction; 0 stands for "no date".
using TDateTime = double;

// What a listing line describes; fkUnparsed keeps the whole line as the name.
enum TFTPItemKind : std::uint8_t { fkUnparsed = 0, fkFile = 1, fkDirectory = 2, fkLink = 3 };

// One entry of a directory listing.
struct TagFTPDirItem {
    TFTPItemKind Kind = fkUnparsed;
    // For a Unix link the link's name, " -> " and its target.
    ShortString Name;
    // -1 when a Unix listing gave no number.
    long long Size = 0;
    TDateTime DateTime = 0;
    ShortString LinkTarget;
};

}  // namespace qlk
