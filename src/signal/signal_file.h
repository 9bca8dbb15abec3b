// Appending one signal line to the signal file, which is never read, truncated or rewritten.
#pragma once

#include "append_result.h"

#include <string_view>

namespace kestrane::signal {

// Appends `line` and CR LF to the file at `path` (UTF-8, used exactly as typed), opening and
// closing the file within the call.
// Refuses, writing nothing, a line holding CR, LF or NUL (it would reach the reader as
// several signals) and a line the file's code page cannot hold; both are InvalidText.
AppendResult appendSignalLine(std::string_view path, std::string_view line);

} // namespace kestrane::signal
