// A whole-number option of a benchmark program: "--name=N" on its command line.
#pragma once

#include <cstdlib>
#include <cstring>

namespace kestrane::bench {

// The number after the first argument that starts with `name` (such as "--keys="), or
// `fallback` when none does.
inline long countOption(int argc, char** argv, const char* name, long fallback) {
    const std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0) {
            return std::atol(argv[i] + length);
        }
    }
    return fallback;
}

} // namespace kestrane::bench
