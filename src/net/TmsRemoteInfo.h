#pragma once

#include <memory>
#include <vector>

#include "net/TmsRemoteInfoItem.h"

namespace qlk {

// The POP3 client's list of the mailbox's messages, in mailbox order; owns
// its items.
class TmsRemoteInfo {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TmsRemoteInfoItem& Items(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    const TmsRemoteInfoItem& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    // Appends and returns the new item's index.
    int Add(std::unique_ptr<TmsRemoteInfoItem> item);
    void Clear();

private:
    std::vector<std::unique_ptr<TmsRemoteInfoItem>> items_;
};

}  // namespace qlk
