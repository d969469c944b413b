#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// An index outside an owned list: "List index out of bounds (N)".
class ListIndexError : public Exception {
public:
    explicit ListIndexError(int index)
        : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

inline void CheckListIndex(int index, int count) {
    if (index < 0 || index >= count) throw ListIndexError(index);
}

}  // namespace qlk
