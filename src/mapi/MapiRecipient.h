#pragma once

#include <string>

#include "mapi/MapiCodes.h"

namespace qlk {

// One recipient (or the originator) of a message as the back end sees it.
// Address is empty for a recipient known by its display name alone.
struct MapiRecipient {
    int RecipClass = MAPI_TO;
    std::string Name;
    std::string Address;

    friend bool operator==(const MapiRecipient&, const MapiRecipient&) = default;
};

}  // namespace qlk
