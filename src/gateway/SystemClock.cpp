#include "gateway/SystemClock.h"

#include <ctime>

namespace qlk {

LocalTime SystemClock::Now() const {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_wday counts from Sunday.
    return {(local.tm_wday + 6) % 7, local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
}

}  // namespace qlk
