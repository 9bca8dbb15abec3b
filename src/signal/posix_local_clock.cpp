#include "clock.h"

#include <ctime>

namespace kestrane::signal {

LocalDateTime readLocalClock() {
    const std::time_t now = std::time(nullptr);
    // localtime_r keeps the zone it first read; tzset reads it again, so that each stamp is in
    // the zone of its moment, after a change of TZ or of the system's zone file.
    ::tzset();
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

} // namespace kestrane::signal
