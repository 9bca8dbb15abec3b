// How long a typed key takes to show in a field that holds the longest text the Windows
// program's window accepts: the window as the program shows it, its path field filled to that
// length but for the keys to come, then each key pressed and released at the end of the text,
// as the keyboard queues it, and timed from its press to the end of the paint that shows it,
// through the program's own message handling. Not a test; scripts/bench --windows runs it
// under Wine and prints its rows.
//
// Prints two rows for scripts/bench (milliseconds, against the 100 ms a key may take), the
// first with the process's CPU time per key, the mean over all keys:
//   row Key to paint, median (Wine) ... 1.0 ms <median> 100 <CPU time> 100
//   row Key to paint, maximum (Wine) ... 1.0 ms <maximum> 100
//
// Usage: key_to_paint_win32 [--keys=N] [--length=N]   (default: 40 keys, the longest text)
#include "../count_option.h"
#include "milliseconds_since.h"
#include "window/form_design.h"
#include "window/win32/form1_window.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using kestrane::bench::millisecondsSince;
using kestrane::window::ControlId;
using kestrane::window::win32::Form1Window;
using kestrane::window::win32::processMessage;

// Handles every message queued, and the paints they leave, until none is left or `limit`
// milliseconds have passed since `start`; false when the time ran out.
bool handleEverything(HWND window, const LARGE_INTEGER& start, double limit) {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        processMessage(window, message);
        if (millisecondsSince(start) > limit) {
            return false;
        }
    }
    return true;
}

// The process's user and system time so far, in milliseconds.
double cpuMilliseconds() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>(
            ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart);
    };
    return (ticks(kernel) + ticks(user)) / 1e4;
}

} // namespace

int main(int argc, char** argv) {
    const long keys = kestrane::bench::countOption(argc, argv, "--keys=", 40);
    const long length =
        kestrane::bench::countOption(argc, argv, "--length=", kestrane::window::longestFieldText);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const auto form = Form1Window::create(::GetModuleHandleW(nullptr));
    if (!form || keys <= 0 || length < keys) {
        std::fputs("key_to_paint_win32: no window, or nothing to type\n", stderr);
        return 2;
    }
    form->show(SW_SHOWNORMAL);
    const HWND path = form->control(ControlId::Text6);
    const std::wstring filled(static_cast<std::size_t>(length - keys), L'x');
    ::SetWindowTextW(path, filled.c_str());
    ::SetFocus(path);
    ::SendMessageW(path, EM_SETSEL, filled.size(), filled.size());
    // Everything the start and the filling left to do, done.
    LARGE_INTEGER settle{};
    ::QueryPerformanceCounter(&settle);
    while (millisecondsSince(settle) < 500) {
        handleEverything(form->handle(), settle, 10'000);
        ::Sleep(10);
    }

    const auto scanCode = static_cast<LPARAM>(::MapVirtualKeyW('7', MAPVK_VK_TO_VSC));
    std::vector<double> milliseconds;
    const double cpuBefore = cpuMilliseconds();
    for (long key = 0; key < keys; ++key) {
        LARGE_INTEGER start{};
        ::QueryPerformanceCounter(&start);
        ::PostMessageW(path, WM_KEYDOWN, '7', 1 | scanCode << 16);
        ::PostMessageW(path, WM_KEYUP, '7', 1 | scanCode << 16 | LPARAM{3} << 30);
        // A field that never finishes ends the run after ten seconds rather than waiting.
        if (!handleEverything(form->handle(), start, 10'000)) {
            std::fputs("key_to_paint_win32: a key did not paint within ten seconds\n", stderr);
            return 3;
        }
        milliseconds.push_back(millisecondsSince(start));
    }
    const double cpuPerKey = (cpuMilliseconds() - cpuBefore) / static_cast<double>(keys);
    if (::GetWindowTextLengthW(path) != length) {
        std::fputs("key_to_paint_win32: the field does not hold every key typed\n", stderr);
        return 4;
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2];
    const double maximum = milliseconds.back();
    const std::string subject =
        "typing into Text6 holding " + std::to_string(length) + " characters";
    std::printf("row\tKey to paint, median (Wine)\t%s\t100 ms\t1.0\tms\t%.2f\t100\t%.2f\t100\n",
                subject.c_str(), median, cpuPerKey);
    std::printf("row\tKey to paint, maximum (Wine)\t%s\t100 ms\t1.0\tms\t%.2f\t100\n",
                subject.c_str(), maximum);
    return 0;
}
