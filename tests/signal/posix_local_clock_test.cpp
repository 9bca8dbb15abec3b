// The local clock on POSIX systems: each read is in the zone in force at that moment.
#include "signal/clock.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace kestrane::signal {
namespace {

// Sets TZ while in scope and puts back what it was.
class ZoneSetting {
public:
    ZoneSetting() {
        if (const char* zone = std::getenv("TZ")) {
            previous_ = zone;
        }
    }
    ~ZoneSetting() {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ZoneSetting(const ZoneSetting&) = delete;
    ZoneSetting& operator=(const ZoneSetting&) = delete;

    void set(const char* zone) { ::setenv("TZ", zone, 1); }

private:
    std::optional<std::string> previous_;
};

// The date and time `offsetMinutes` east of UTC at `utc`.
LocalDateTime shifted(std::time_t utc, int offsetMinutes) {
    const std::time_t local = utc + std::time_t{offsetMinutes} * 60;
    std::tm fields{};
    ::gmtime_r(&local, &fields);
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
            fields.tm_min};
}

bool operator==(const LocalDateTime& a, const LocalDateTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute;
}

TEST(PosixLocalClock, EachReadFollowsTheZoneInForce) {
    struct Row {
        const char* zone;
        int offsetMinutes; // east of UTC
    };
    const Row rows[] = {
        {"UTC0", 0},
        // Changed while the program runs: the next read is in the new zone.
        {"<+0530>-5:30", 330},
    };
    ZoneSetting setting;
    for (const Row& row : rows) {
        setting.set(row.zone);
        const std::time_t before = std::time(nullptr);
        const LocalDateTime read = readLocalClock();
        const std::time_t after = std::time(nullptr);
        // A minute may turn between the reads.
        EXPECT_TRUE(read == shifted(before, row.offsetMinutes) ||
                    read == shifted(after, row.offsetMinutes))
            << row.zone << ": " << read.hour << ":" << read.minute;
    }
}

} // namespace
} // namespace kestrane::signal
