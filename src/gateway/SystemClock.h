#pragma once

#include "gateway/LocalClock.h"

namespace qlk {

// The machine's local time.
class SystemClock : public LocalClock {
public:
    LocalTime Now() const override;
};

}  // namespace qlk
