// The window's texts: UTF-8 in the core and the design table, UTF-16 in the Windows API.
#pragma once

#include "text/windows_text.h"

#include <string>
#include <windows.h>

namespace kestrane::window::win32 {

using text::toUtf8;
using text::toWide;

// The text of a window or control, as GetWindowTextW gives it.
inline std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace kestrane::window::win32
