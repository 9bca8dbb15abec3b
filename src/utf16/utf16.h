// UTF-8, the texts of the core, to and from UTF-16, the texts of the Windows API and of Qt.
// The library is built for Windows only; the file backend and the Win32 window both speak to
// the system in UTF-16, so neither owns it. The conversion to UTF-8 stands in this header, so
// that the Qt window uses it without the library.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrane::utf16 {

// Nothing when `utf8` is not valid UTF-8, for callers that must not guess, such as a path.
std::optional<std::wstring> toWideStrict(std::string_view utf8);

// Invalid UTF-8 becomes U+FFFD.
std::wstring toWide(std::string_view utf8);

// Never replaces anything: half a surrogate pair, which an edit field holds after a paste of
// broken text, becomes the three bytes UTF-8 would give its code point. That is not valid
// UTF-8, so a path holding it is refused and a signal text refused by name, where U+FFFD or
// '?' would name another file or send another character.
inline std::string toUtf8(std::u16string_view units) {
    std::string utf8;
    utf8.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        auto c = static_cast<char32_t>(units[i]);
        const bool pairs = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() &&
                           units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (pairs) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(units[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// The same for the Windows API's wide text, whose wchar_t is a UTF-16 unit.
std::string toUtf8(std::wstring_view wide);

} // namespace kestrane::utf16
