#pragma once

#include "platform/ShortString.h"

namespace qlk {

// One mail address: a display name (without surrounding quotes, may be
// empty) and the mailbox (local part, "@", host; without angle brackets).
// Both fields keep at most 255 characters.
class TmsMailAddress {
public:
    TmsMailAddress() = default;
    TmsMailAddress(std::string_view address, std::string_view name) : Name(name), Address(address) {}

    void Assign(const TmsMailAddress& source) { *this = source; }
    void Clear() {
        Name.clear();
        Address.clear();
    }

    friend bool operator==(const TmsMailAddress& a, const TmsMailAddress& b) {
        return a.Name == b.Name && a.Address == b.Address;
    }

    ShortString Name;
    ShortString Address;
};

}  // namespace qlk
