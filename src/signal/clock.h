// Where a send reads the local date and time: the system clock, or a fixed one in tests.
#pragma once

#include "signal_line.h"

#include <functional>

namespace kestrane::signal {

using LocalClock = std::function<LocalDateTime()>;

// The current local date and time from the system clock.
LocalDateTime readLocalClock();

} // namespace kestrane::signal
