// Per-monitor DPI on the Win32 API. The DPI functions of Windows 10 are looked up once, as the
// program starts, so that it still starts on older systems, where the system DPI stands in for
// the window's.
#pragma once

#include <windows.h>

namespace kestrane::window::win32 {

// The DPI of the monitor the window is on.
UINT windowDpi(HWND window);

// The DPI a new top-level window is expected to open at: the system's, which is the primary
// monitor's. A window that opens on a monitor of another DPI is told so by windowDpi.
UINT startDpi();

// The window rectangle, from (0, 0), of a window of that style whose client area is
// `width` x `height` pixels at `dpi`.
RECT windowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

// The platform's dialog font: the message font of the non-client metrics, at `dpi`.
LOGFONTW messageFont(UINT dpi);

// GetSystemMetrics(index) at `dpi`.
int systemMetric(int index, UINT dpi);

// A length given in pixels at 96 DPI, at `dpi`.
inline int scaledFrom96Dpi(int pixelsAt96Dpi, UINT dpi) {
    return ::MulDiv(pixelsAt96Dpi, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

} // namespace kestrane::window::win32
