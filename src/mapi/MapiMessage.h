#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mapi/MapiFile.h"
#include "mapi/MapiRecipient.h"

namespace qlk {

// A message record handed to or returned by the back end. "None" is an empty
// optional, so that an empty text and no text stay apart.
struct MapiMessage {
    std::optional<std::string> Subject;
    std::optional<std::string> NoteText;
    std::optional<std::string> DateReceived;
    std::uint32_t Flags = 0;
    std::optional<MapiRecipient> Originator;
    std::vector<MapiRecipient> Recips;
    std::vector<MapiFile> Files;
};

}  // namespace qlk
