#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/TmsAttItem.h"

namespace qlk {

// An ordered list of attachments that owns its entries.
class TmsAttList {
public:
    TmsAttList() = default;
    TmsAttList(const TmsAttList& source) { Assign(source); }
    TmsAttList& operator=(const TmsAttList& source) {
        Assign(source);
        return *this;
    }
    TmsAttList(TmsAttList&&) = default;
    TmsAttList& operator=(TmsAttList&&) = default;
    ~TmsAttList() { Clear(); }

    int Count() const { return static_cast<int>(items_.size()); }
    // 0-based; an index out of range raises qlk::Exception
    // "List index out of bounds (N)".
    TmsAttItem& Items(int index);
    const TmsAttItem& Items(int index) const;

    // Takes ownership; returns the new entry's index.
    int Add(std::unique_ptr<TmsAttItem> item);
    // Appends an item named fileName (type and encoding derived from the name)
    // holding the file's content. A file that cannot be opened raises
    // EFOpenError and leaves the list as it was.
    int AddFile(std::string_view fileName);
    // Destroys the entries, last to first.
    void Clear();
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

private:
    std::vector<std::unique_ptr<TmsAttItem>> items_;
};

}  // namespace qlk
