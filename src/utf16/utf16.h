// UTF-8, the texts of the core, to and from UTF-16, the texts of the Windows API.
// Built for Windows only; the file backend and the Win32 window both speak to the system in
// UTF-16, so neither owns it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrane::utf16 {

// Nothing when `utf8` is not valid UTF-8, for callers that must not guess, such as a path.
std::optional<std::wstring> toWideStrict(std::string_view utf8);

// Invalid UTF-8 becomes U+FFFD.
std::wstring toWide(std::string_view utf8);

// Never replaces anything: half a surrogate pair, which an edit control holds after a paste of
// broken text, becomes the three bytes UTF-8 would give its code point. That is not valid
// UTF-8, so a path holding it is refused (toWideStrict) and a signal text refused by name,
// where U+FFFD would name another file or send another character.
std::string toUtf8(std::wstring_view wide);

} // namespace kestrane::utf16
