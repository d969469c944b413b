#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Exception.h"

namespace qlk {

// An index outside an owned list: "List index out of bounds (N)".
class EListError : public Exception {
public:
    explicit EListError(int index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

// The ordered list that owns its entries, shared by the address and
// attachment lists. Entries stay in the order in which they were added.
template <typename T>
class TmsOwnedList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // 0-based; an index out of range raises EListError.
    T& Items(int index) { return *items_[CheckedIndex(index)]; }
    const T& Items(int index) const { return *items_[CheckedIndex(index)]; }

    // Takes ownership; returns the new entry's index.
    int Add(std::unique_ptr<T> item) {
        items_.push_back(std::move(item));
        return Count() - 1;
    }
    // Destroys the entries, last to first.
    void Clear() {
        while (!items_.empty()) items_.pop_back();
    }

protected:
    TmsOwnedList() = default;
    ~TmsOwnedList() { Clear(); }
    TmsOwnedList(const TmsOwnedList&) = delete;
    TmsOwnedList& operator=(const TmsOwnedList&) = delete;
    TmsOwnedList(TmsOwnedList&&) noexcept = default;
    TmsOwnedList& operator=(TmsOwnedList&&) noexcept = default;

    // Replaces the entries with copies of the source's, in order.
    void CopyFrom(const TmsOwnedList& source) {
        if (&source == this) return;
        Clear();
        for (const auto& item : source.items_) Add(std::make_unique<T>(*item));
    }

    const std::vector<std::unique_ptr<T>>& Entries() const { return items_; }

private:
    std::size_t CheckedIndex(int index) const {
        if (index < 0 || index >= Count()) throw EListError(index);
        return static_cast<std::size_t>(index);
    }

    std::vector<std::unique_ptr<T>> items_;
};

}  // namespace qlk
