// The platform part of appending: one implementation per platform, chosen at build time.
// Internal to the signal library. The core refuses the lines and paths that no platform takes,
// opens the file through the backend, runs the append policy on it and closes it. A backend
// knows how its code page writes one character, which further paths it refuses, how to open a
// file for appending, and the primitives the policy runs on, with their errors' mapping onto
// the shared failure codes.
#pragma once

#include "append_policy.h"
#include "append_result.h"
#include "retry_clock.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace kestrane::signal::backend {

// Appends to `bytes` what `character` is in the signal file's 8-bit code page; false, appending
// nothing, when the code page has no character for it and would have to drop it or put a
// look-alike in its place.
bool encodeCharacter(char32_t character, std::string& bytes);

// Opens `path` for appending, creating the file, never a folder: the open file, or the refusal
// of the path or of the open. The path is non-empty and holds no NUL; everything else about it
// is for the platform to judge. What another program holds for a moment is tried again by
// `clock`.
std::variant<std::unique_ptr<policy::OpenFile>, AppendResult>
openForAppending(std::string_view path, RetryClock& clock);

#ifdef _WIN32
// ERROR_DISK_QUOTA_EXCEEDED, which MinGW-w64's winerror.h lacks.
inline constexpr unsigned long errorDiskQuotaExceeded = 1295;

// The shared failure for a Windows system error code (a GetLastError value).
AppendResult failureFromSystemError(unsigned long error);
#endif

} // namespace kestrane::signal::backend
