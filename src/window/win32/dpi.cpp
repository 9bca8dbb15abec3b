#include "dpi.h"

namespace kestrane::window::win32 {
namespace {

// The DPI functions of user32 that Windows 10 added; null where the system lacks them.
struct DpiFunctions {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    UINT(WINAPI* getDpiForSystem)() = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = nullptr;
};

template <typename Function>
void loadExport(HMODULE module, const char* name, Function& function) {
    // Through void(*)(), the one function pointer type that converts to any other.
    const auto generic = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
    function = reinterpret_cast<Function>(generic);
}

DpiFunctions lookUpDpiFunctions() {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    DpiFunctions found;
    loadExport(user32, "GetDpiForWindow", found.getDpiForWindow);
    loadExport(user32, "GetDpiForSystem", found.getDpiForSystem);
    loadExport(user32, "AdjustWindowRectExForDpi", found.adjustWindowRectExForDpi);
    loadExport(user32, "SystemParametersInfoForDpi", found.systemParametersInfoForDpi);
    loadExport(user32, "GetSystemMetricsForDpi", found.getSystemMetricsForDpi);
    return found;
}

// Looked up once as the program starts, before it has threads: a function's static would bring
// libstdc++'s guard for its first use (2.5 KB of the Windows program).
const DpiFunctions functionsOfUser32 = lookUpDpiFunctions();

const DpiFunctions& dpiFunctions() {
    return functionsOfUser32;
}

UINT systemDpi() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// A length the system gives at its own DPI, at `dpi`.
int fromSystemDpi(int length, UINT dpi) {
    return ::MulDiv(length, static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

} // namespace

UINT windowDpi(HWND window) {
    if (dpiFunctions().getDpiForWindow) {
        return dpiFunctions().getDpiForWindow(window);
    }
    return systemDpi();
}

UINT startDpi() {
    if (dpiFunctions().getDpiForSystem) {
        return dpiFunctions().getDpiForSystem();
    }
    return systemDpi();
}

RECT windowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rect{0, 0, width, height};
    if (dpiFunctions().adjustWindowRectExForDpi) {
        dpiFunctions().adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi);
    } else {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return rect;
}

LOGFONTW messageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (dpiFunctions().systemParametersInfoForDpi &&
        dpiFunctions().systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics,
                                                  0, dpi)) {
        return metrics.lfMessageFont;
    }
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    font.lfHeight = fromSystemDpi(font.lfHeight, dpi);
    return font;
}

int systemMetric(int index, UINT dpi) {
    if (dpiFunctions().getSystemMetricsForDpi) {
        return dpiFunctions().getSystemMetricsForDpi(index, dpi);
    }
    return fromSystemDpi(::GetSystemMetrics(index), dpi);
}

} // namespace kestrane::window::win32
