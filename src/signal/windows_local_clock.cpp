#include "clock.h"

#include <windows.h>

namespace kestrane::signal {

LocalDateTime readLocalClock() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

} // namespace kestrane::signal
