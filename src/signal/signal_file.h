// Appending one signal line to the signal file.
//
//   appendSignalLine  checks the line, encodes it to the file's 8-bit code page and hands
//                     line + CR LF to the platform backend, which opens the file for appending
//                     (creating it, never its folder), writes once and closes.
//   AppendResult      (append_result.h) success, or a failure code with a description.
//
// The file is never read, truncated or rewritten, and nothing is held open between calls.
#pragma once

#include "append_result.h"

#include <string_view>

namespace kestrane::signal {

// Appends `line` and CR LF to the file at `path` (UTF-8, used exactly as typed).
// Refuses, writing nothing, a line holding CR, LF or NUL (it would reach the reader as
// several signals) and a line the file's code page cannot hold; both are InvalidText.
AppendResult appendSignalLine(std::string_view path, std::string_view line);

} // namespace kestrane::signal
