// The Windows benchmarks' clock: the performance counter, in milliseconds.
#pragma once

#include <windows.h>

namespace kestrane::bench {

// Milliseconds from `start`, a QueryPerformanceCounter reading, to now.
inline double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

} // namespace kestrane::bench
