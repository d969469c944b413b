#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/TmsMailAddress.h"

namespace qlk {

// An ordered list of mail addresses that owns its entries. Duplicates are
// allowed; entries stay in the order in which they were added.
class TmsAddressList {
public:
    TmsAddressList() = default;
    TmsAddressList(const TmsAddressList& source) { Assign(source); }
    TmsAddressList& operator=(const TmsAddressList& source) {
        Assign(source);
        return *this;
    }
    TmsAddressList(TmsAddressList&&) = default;
    TmsAddressList& operator=(TmsAddressList&&) = default;
    ~TmsAddressList() { Clear(); }

    int Count() const { return static_cast<int>(items_.size()); }
    // 0-based; an index out of range raises qlk::Exception
    // "List index out of bounds (N)".
    TmsMailAddress& Items(int index);
    const TmsMailAddress& Items(int index) const;

    // Takes ownership; returns the new entry's index.
    int Add(std::unique_ptr<TmsMailAddress> address);
    // Appends a new entry (each text cut at 255); returns its index.
    int AddAddress(std::string_view address, std::string_view name);
    // Destroys the entries, last to first.
    void Clear();
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

private:
    std::vector<std::unique_ptr<TmsMailAddress>> items_;
};

}  // namespace qlk
