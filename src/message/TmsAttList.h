#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "message/TmsAttItem.h"
#include "message/TmsOwnedList.h"

namespace qlk {

// An ordered list of attachments that owns its entries.
class TmsAttList : public TmsOwnedList<TmsAttItem> {
public:
    TmsAttList() = default;
    TmsAttList(const TmsAttList& source) : TmsOwnedList() { Assign(source); }
    TmsAttList& operator=(const TmsAttList& source) {
        Assign(source);
        return *this;
    }
    TmsAttList(TmsAttList&&) = default;
    TmsAttList& operator=(TmsAttList&&) = default;

    // Appends an item named fileName (type and encoding derived from the name)
    // holding the file's content. A file that cannot be opened raises
    // EFOpenError and leaves the list as it was.
    int AddFile(std::string_view fileName);
    // Replaces the entries with deep copies of the source's, in order.
    void Assign(const TmsAttList& source);

    // The list's stored form: one property "Items" (only when the list has
    // entries) holding FileName, ContentType and Encoding of every entry,
    // never the data; the owner reloads Data from the file names.
    void WriteProperties(std::ostream& out) const;
    // Reads the property if it is one of the list's; false for any other name.
    bool ReadProperty(const std::string& name, std::istream& in);
    // WriteProperties followed by the end marker; LoadFromStream clears the
    // list and reads properties up to the end marker.
    void SaveToStream(std::ostream& out) const;
    void LoadFromStream(std::istream& in);
};

}  // namespace qlk
