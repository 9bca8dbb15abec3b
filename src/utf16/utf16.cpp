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
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return toUtf8(std::u16string_view{reinterpret_cast<const char16_t*>(wide.data()), wide.size()});
}

} // namespace kestrane::utf16
