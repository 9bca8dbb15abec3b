// A retry clock that really pauses but counts a minute as a second, so that the second an
// append retries the lock lasts a minute. For tests of many writers on a loaded machine, where
// a writer may lose the race for the lock for longer than a second; what they check is that no
// line is lost, merged or reordered, not how long a writer waits.
#pragma once

#include "signal/retry_clock.h"

#include <chrono>
#include <thread>

namespace kestrane::testing {

class PatientRetryClock final : public signal::RetryClock {
public:
    std::chrono::steady_clock::time_point now() override {
        return std::chrono::steady_clock::time_point{
            std::chrono::steady_clock::now().time_since_epoch() / 60};
    }
    void pause(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

} // namespace kestrane::testing
