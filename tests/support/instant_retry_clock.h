// A retry clock on which every pause passes at once: a refusal that lasts the whole second of
// retries costs a test no time.
#pragma once

#include "signal/retry_clock.h"

namespace kestrane::testing {

class InstantRetryClock final : public signal::RetryClock {
public:
    std::chrono::steady_clock::time_point now() override { return now_; }
    void pause(std::chrono::milliseconds duration) override { now_ += duration; }

    // The time all pauses together took.
    std::chrono::milliseconds paused() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start);
    }

private:
    static constexpr std::chrono::steady_clock::time_point start{};
    std::chrono::steady_clock::time_point now_ = start;
};

} // namespace kestrane::testing
