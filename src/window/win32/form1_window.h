// The signal entry window on the Win32 API, built from the design table, and its message loop.
#pragma once

#include "form_font.h"
#include "signal/send_action.h"
#include "window/form_design.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <windows.h>

namespace kestrane::window::win32 {

class Form1Window final : public signal::SignalFormView {
public:
    // The window with its designed values, not yet shown; nullptr when the system refuses.
    // `clock` is where each send reads the local date and time; tests pass a fixed one.
    static std::unique_ptr<Form1Window> create(HINSTANCE instance,
                                               signal::LocalClock clock = signal::readLocalClock);
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    HWND handle() const { return window_; }
    HWND control(ControlId id) const;
    UINT dpi() const { return layout_.dpi; }

    // Shows the window and puts the focus on Command1.
    void show(int showCommand);
    // From now on, closing the window ends the program's message loop.
    void endProgramOnClose() { endProgramOnClose_ = true; }

    // True for a press of Command1 (mouse button, Space or Enter) whose time, as
    // GetMessageTime gives it, lies within the last send up to the return of its append: the
    // user made it while the send waited, and the button drops it as if it had been disabled
    // meanwhile. A failure message shows only after that, and takes only presses made while
    // it is up.
    bool pressedDuringSend(const MSG& message) const;

    std::string controlText(std::string_view name) const override;
    void setTimeStampText(const std::string& text) override;
    bool isTagSelected() const override;
    void showMessage(const std::string& text, signal::MessageIcon icon,
                     const std::string& caption) override;

private:
    // The form at one DPI, worked out before anything is created or moved: its font, each
    // control's place in the client area (for a combo box, its closed field) and the size of
    // the window around that client area.
    struct Layout {
        UINT dpi = USER_DEFAULT_SCREEN_DPI;
        Font font;
        std::array<RECT, controlCount> places{};
        SIZE frame{};
    };

    explicit Form1Window(signal::LocalClock clock);

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCreate();
    void onCommand(int id, int notification);
    void onCommand1(int notification);
    void onActivate(WPARAM wParam);
    void onDpiChanged(UINT dpi, const RECT& suggested);
    static Layout layout(UINT dpi);
    // Gives every control its place and font in `next`, and the window its size with its
    // top-left corner at (left, top); the old font is deleted once no control uses it.
    void applyLayout(Layout next, int left, int top);
    // Notes the end of the current send's append, once.
    void endSend();

    signal::LocalClock clock_;
    HWND window_ = nullptr;
    Layout layout_;
    HWND focusWhenInactive_ = nullptr;
    bool endProgramOnClose_ = false;
    // A close asked for while a send was under way, to be done at its end.
    bool closeWhenSent_ = false;
    // The last send's start and the return of its append, on the clock that stamps messages
    // (GetTickCount).
    bool sending_ = false;
    bool sendEnded_ = false;
    bool sent_ = false;
    DWORD lastSendStart_ = 0;
    DWORD lastSendEnd_ = 0;
};

// One message from the thread's queue, as the program's loop handles it: presses of Command1
// made during a send dropped, Enter on Command1 pressing it and its auto-repeats ignored, other
// keys of `window` through IsDialogMessageW, the rest dispatched.
void processMessage(HWND window, const MSG& message);

// Runs the thread's message loop until WM_QUIT; returns the exit code that WM_QUIT carries,
// or EXIT_FAILURE when the system cannot deliver messages.
int runMessageLoop(HWND window);

} // namespace kestrane::window::win32
