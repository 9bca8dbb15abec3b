// The platform part of appending: one implementation per platform, chosen at build time.
// Internal to the signal library. The core checks and decodes the line and the path's
// platform-free rules and reports every refusal; a backend knows only how its code page writes
// one character, its own path rules, and the primitives the append policy runs on.
#pragma once

#include "append_result.h"
#include "retry_clock.h"

#include <string>
#include <string_view>

namespace kestrane::signal::backend {

// Appends to `bytes` what `character` is in the signal file's 8-bit code page; false, appending
// nothing, when the code page has no character for it and would have to drop it or put a
// look-alike in its place.
bool encodeCharacter(char32_t character, std::string& bytes);

// Opens `path` for appending (creating the file, never a folder), appends `bytes` through the
// append policy, closes, and maps any platform failure onto the shared failure codes. The path
// is non-empty and holds no NUL; everything else about it is for the platform to judge.
AppendResult appendBytes(std::string_view path, std::string_view bytes, RetryClock& clock);

} // namespace kestrane::signal::backend
