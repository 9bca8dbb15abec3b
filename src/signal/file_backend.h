// The platform part of appending: one implementation per platform, chosen at build time.
// Internal to the signal library. The core checks and encodes the line character by character
// and reports every refusal; a backend knows only how its code page writes one character and
// how to append bytes to a file.
#pragma once

#include "append_result.h"

#include <string>
#include <string_view>

namespace kestrane::signal::backend {

// Appends to `bytes` what one character (one valid UTF-8 sequence) is in the signal file's
// 8-bit code page; false, appending nothing, when the code page has no character for it and
// would have to drop it or put a look-alike in its place.
bool encodeCharacter(std::string_view utf8Character, std::string& bytes);

// Opens `path` for appending (creating the file, never a folder), hands `bytes` to the system
// in one write, closes, and maps any platform failure onto the shared failure codes.
// The path is non-empty and holds no NUL; everything else about it is for the platform to
// judge.
AppendResult appendBytes(std::string_view path, std::string_view bytes);

} // namespace kestrane::signal::backend
