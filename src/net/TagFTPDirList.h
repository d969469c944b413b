#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "net/TagFTPDirItem.h"

namespace qlk {

// The listing families the parser knows; stAuto detects one from the first
// listing and keeps it for later ones.
enum TServerType { stAuto, stUnix, stDos, stHP3000, stAS400 };

// The entries of a directory listing in the order the server sent them.
// Parsing never fails: a line that cannot be read becomes an entry of kind
// fkUnparsed holding the line.
class TagFTPDirList {
public:
    TServerType ServerType = stAuto;

    std::size_t Count() const { return items_.size(); }
    // Raises std::out_of_range past the end.
    const TagFTPDirItem& Items(std::size_t index) const { return items_.at(index); }
    void Add(TagFTPDirItem item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }
    void Assign(const TagFTPDirList& other);

    // Replaces the entries by those of a whole listing. A first line
    // "total ..." is dropped and means a Unix listing; with stAuto the first
    // line decides the family.
    void ParseListing(std::string_view text);
    // Appends the entry of one line, read as ServerType says.
    void ParseLine(const std::string& line);

    // The date of the words "Mon DD HH:MM" or "Mon DD YYYY" of a Unix
    // listing; false when they give no valid date. `today` is the current
    // local date and time.
    static bool UnixDate(const std::string& words, TDateTime today, TDateTime& result);
    // "MM-DD-YY[YY] HH:MM[AM|PM]" of a DOS listing; 0 when unreadable.
    static TDateTime DosDate(const std::string& words);
    static TDateTime Now();

private:
    void DetectServerType(std::vector<std::string>& lines);

    std::vector<TagFTPDirItem> items_;
};

}  // namespace qlk
