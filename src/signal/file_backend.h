// The platform part of appending: one implementation per platform, chosen at build time.
// Internal to the signal library.
#pragma once

#include "signal_file.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace kestrane::signal::backend {

// The line in the signal file's 8-bit code page, or the InvalidText failure naming the first
// character the code page cannot hold. Callers skip it for ASCII, which every code page the
// file may use holds as it is.
std::variant<std::string, AppendResult> encodeForSignalFile(std::string_view utf8Text);

// Length of the UTF-8 sequence that `lead` starts, or 0 when `lead` cannot start one.
std::size_t utf8SequenceLength(unsigned char lead);

// The InvalidText failure for the character that starts at `offset` of `utf8Text`, naming it
// by its code point and as itself, or for the bytes there when they are not valid UTF-8.
AppendResult cannotHoldCharacter(std::string_view utf8Text, std::size_t offset);

// Opens `path` for appending (creating the file, never a folder), hands `bytes` to the system
// in one write, closes, and maps any platform failure onto the shared failure codes.
// The path is non-empty; everything else about it is for the platform to judge.
AppendResult appendBytes(std::string_view path, std::string_view bytes);

} // namespace kestrane::signal::backend
