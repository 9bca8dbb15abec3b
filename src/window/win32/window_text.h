// The text of a window or control, in the UTF-16 of the Windows API.
#pragma once

#include <string>
#include <windows.h>

namespace kestrane::window::win32 {

// The text of a window or control, as GetWindowTextW gives it.
inline std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace kestrane::window::win32
