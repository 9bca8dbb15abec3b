// The baseline of the Windows program's start: the least Win32 program that shows a window of
// the form's size with the form's 22 controls (same classes, styles, texts, list entries and
// places at 96 DPI), with the system's defaults for everything else. No fonts, no DPI scaling,
// no tab order, no send.
#include "window/form_design.h"

#include <string>
#include <string_view>
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

namespace {

using kestrane::window::ControlDesign;
using kestrane::window::ControlKind;

// The design's texts are ASCII.
std::wstring wide(std::string_view text) {
    return {text.begin(), text.end()};
}

int pixels(int twips) {
    return twips / 15;
}

const wchar_t* classOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return L"STATIC";
    case ControlKind::ComboBox:
        return L"COMBOBOX";
    case ControlKind::TextBox:
        return L"EDIT";
    default:
        return L"BUTTON";
    }
}

DWORD styleOf(const ControlDesign& control) {
    const DWORD style = WS_CHILD | WS_VISIBLE;
    switch (control.kind) {
    case ControlKind::Label:
        return style | SS_LEFT;
    case ControlKind::ComboBox:
        return style | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
    case ControlKind::TextBox:
        return style | ES_LEFT | ES_AUTOHSCROLL | (control.readOnly ? ES_READONLY : 0);
    case ControlKind::Frame:
        return style | BS_GROUPBOX;
    case ControlKind::OptionButton:
        return style | BS_AUTORADIOBUTTON;
    case ControlKind::PushButton:
        return style | BS_PUSHBUTTON;
    }
    return style;
}

// Places are relative to the control's container, which for the option buttons is the frame.
POINT originOf(const ControlDesign& control) {
    if (!control.container) {
        return {0, 0};
    }
    const auto& frame =
        kestrane::window::form1Controls[kestrane::window::indexOf(*control.container)];
    return {pixels(frame.bounds.left), pixels(frame.bounds.top)};
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"SameControls";
    ::RegisterClassW(&windowClass);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT size{0, 0, pixels(kestrane::window::formClientWidthTwips),
              pixels(kestrane::window::formClientHeightTwips)};
    ::AdjustWindowRect(&size, style, FALSE);
    const HWND window = ::CreateWindowExW(
        0, windowClass.lpszClassName, L"Same controls", style, CW_USEDEFAULT, CW_USEDEFAULT,
        size.right - size.left, size.bottom - size.top, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    for (const ControlDesign& design : kestrane::window::form1Controls) {
        const POINT origin = originOf(design);
        const HWND control = ::CreateWindowExW(
            design.kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0, classOf(design.kind),
            wide(design.text).c_str(), styleOf(design), origin.x + pixels(design.bounds.left),
            origin.y + pixels(design.bounds.top), pixels(design.bounds.width),
            pixels(design.bounds.height), window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), instance, nullptr);
        for (std::string_view entry : design.listEntries) {
            ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).c_str()));
        }
    }
    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
