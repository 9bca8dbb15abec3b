// How GoogleTest shows an AppendResult in a failed expectation: its code and description,
// rather than the bytes of the object.
#pragma once

#include "signal/append_result.h"

#include <ostream>

namespace kestrane::signal {

inline void PrintTo(const AppendResult& result, std::ostream* out) {
    *out << "{" << result.code() << ", \"" << result.description() << "\"}";
}

} // namespace kestrane::signal
