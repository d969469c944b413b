#pragma once

#include <cstdint>
#include <string>

#include "mapi/MapiCodes.h"

namespace qlk {

// One attached file: the path of its content and, when it differs from the
// path's last part, the name the recipient sees.
struct MapiFile {
    std::uint32_t Position = kNotInText;
    std::string PathName;
    std::string FileName;

    friend bool operator==(const MapiFile&, const MapiFile&) = default;
};

}  // namespace qlk
