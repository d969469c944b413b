#pragma once

namespace qlk {

// A moment of the local week, as the schedule sees it.
struct LocalTime {
    int weekday = 0;      // 0 Monday ... 6 Sunday
    int secondOfDay = 0;  // 0 ... 86399
};

// Where the scheduler reads the time; tests use a fake.
class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual LocalTime Now() const = 0;
};

}  // namespace qlk
