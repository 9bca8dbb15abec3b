#include "utf16.h"

#include <windows.h>

namespace kestrane::utf16 {
namespace {

std::optional<std::wstring> convertToWide(std::string_view utf8, DWORD flags) {
    if (utf8.empty()) {
        return std::wstring{};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (length == 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, wide.data(), length);
    return wide;
}

} // namespace

std::optional<std::wstring> toWideStrict(std::string_view utf8) {
    return convertToWide(utf8, MB_ERR_INVALID_CHARS);
}

std::wstring toWide(std::string_view utf8) {
    return convertToWide(utf8, 0).value_or(std::wstring{});
}

std::string toUtf8(std::wstring_view wide) {
    std::string utf8;
    utf8.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        auto c = static_cast<char32_t>(wide[i]);
        const bool pairs = c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() &&
                           wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        if (pairs) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
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

} // namespace kestrane::utf16
