// The local clock on POSIX systems: each read is in the zone in force at that moment.
#include "signal/clock.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace kestrane::signal {
namespace {

// Hours and minutes `offsetMinutes` east of UTC at `utc`, as hhmm.
int hhmmAt(std::time_t utc, int offsetMinutes) {
    const std::time_t shifted = utc + std::time_t{offsetMinutes} * 60;
    std::tm fields{};
    ::gmtime_r(&shifted, &fields);
    return fields.tm_hour * 100 + fields.tm_min;
}

TEST(PosixLocalClock, EachReadFollowsTheZoneInForce) {
    struct Row {
        const char* zone;
        int offsetMinutes; // east of UTC
    };
    const Row rows[] = {
        {"UTC0", 0}, {"<+0530>-5:30", 330}, // changed while the program runs
    };
    const char* previous = std::getenv("TZ");
    const std::string kept = previous ? previous : "";
    for (const Row& row : rows) {
        ::setenv("TZ", row.zone, 1);
        const std::time_t before = std::time(nullptr);
        const LocalDateTime read = readLocalClock();
        const std::time_t after = std::time(nullptr);
        const int hhmm = read.hour * 100 + read.minute;
        // A minute may turn between the reads.
        EXPECT_TRUE(hhmm == hhmmAt(before, row.offsetMinutes) ||
                    hhmm == hhmmAt(after, row.offsetMinutes))
            << row.zone << ": " << hhmm;
    }
    if (previous) {
        ::setenv("TZ", kept.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

} // namespace
} // namespace kestrane::signal
