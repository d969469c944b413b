// A directory listing of any bytes, read as every server family: it must
// give entries, never crash, and keep every name within its bound.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/TagFTPDirList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (qlk::TServerType type : {qlk::stAuto, qlk::stUnix, qlk::stDos, qlk::stHP3000, qlk::stAS400}) {
        qlk::TagFTPDirList list;
        list.ServerType = type;
        list.ParseListing(text);
        for (std::size_t i = 0; i < list.Count(); ++i) {
            const auto& item = list.Items(i);
            if (item.Name.size() > 255 || item.LinkTarget.size() > 255 || item.Kind > qlk::fkLink)
                __builtin_trap();
        }
    }
    return 0;
}
