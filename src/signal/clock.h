// Where a send reads the local date and time: the system clock, or a fixed one in tests.
#pragma once

#include <functional>

namespace kestrane::signal {

// A local date and time to the minute, as read from the clock.
struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0; // 0 to 59
};

using LocalClock = std::function<LocalDateTime()>;

// The current local date and time from the system clock.
LocalDateTime readLocalClock();

} // namespace kestrane::signal
