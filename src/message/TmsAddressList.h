#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "message/TmsMailAddress.h"
#include "message/TmsOwnedList.h"

namespace qlk {

// An ordered list of mail addresses that owns its entries. Duplicates are
// allowed; entries stay in the order in which they were added.
class TmsAddressList : public TmsOwnedList<TmsMailAddress> {
public:
    TmsAddressList() = default;
    TmsAddressList(const TmsAddressList& source) : TmsOwnedList() { Assign(source); }
    TmsAddressList& operator=(const TmsAddressList& source) {
        Assign(source);
        return *this;
    }
    TmsAddressList(TmsAddressList&&) = default;
    TmsAddressList& operator=(TmsAddressList&&) = default;

    // Appends a new entry (each text cut at 255); returns its index.
    int AddAddress(std::string_view address, std::string_view name);
    // Replaces the entries with copies of the source's, in order.
    void Assign(const TmsAddressList& source);

    // The list's stored form: one property "Items" (written only when the list
    // has entries) holding Name and Address of every entry.
    void WriteProperties(std::ostream& out) const;
    // Reads the property if it is one of the list's; false for any other name.
    bool ReadProperty(const std::string& name, std::istream& in);
    // WriteProperties followed by the end marker; LoadFromStream clears the
    // list and reads properties up to the end marker.
    void SaveToStream(std::ostream& out) const;
    void LoadFromStream(std::istream& in);
};

}  // namespace qlk
