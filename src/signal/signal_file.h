// Appending one signal line to the signal file, which is never read, truncated or rewritten.
#pragma once

#include "append_result.h"
#include "retry_clock.h"

#include <string_view>

namespace kestrane::signal {

// Appends `line` and CR LF to the file at `path` (UTF-8, used exactly as typed), opening and
// closing the file within the call.
// Refuses, writing nothing, a line holding a control character other than TAB (a line break of
// any common reader would reach it as several signals; the others are invisible) and a line
// the file's code page cannot hold; both are InvalidText.
// What another program holds for a moment (the append lock, a lease, a full pipe) is tried
// again for about a second by `clock`, the steady clock unless a test gives its own.
AppendResult appendSignalLine(std::string_view path, std::string_view line);
AppendResult appendSignalLine(std::string_view path, std::string_view line, RetryClock& clock);

} // namespace kestrane::signal
