// How an append waits before trying again what another program holds for a moment (the append
// lock, a lease being broken, a pipe being read): by the steady clock, or by a test's own.
#pragma once

#include <chrono>

namespace kestrane::signal {

class RetryClock {
public:
    virtual ~RetryClock() = default;
    virtual std::chrono::steady_clock::time_point now() = 0;
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

// The steady clock, with the thread really pausing.
RetryClock& steadyRetryClock();

} // namespace kestrane::signal
