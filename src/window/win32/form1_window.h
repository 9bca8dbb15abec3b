// The signal entry window on the Win32 API.
//
//   Form1Window      one top-level window built from the design table form1Controls: each row
//                    becomes a standard control (STATIC, EDIT, COMBOBOX, BUTTON) with the ID
//                    controlId(name), so nothing about the layout lives here. Provides
//                    SignalFormView to the send action.
//   layout(dpi)      every place and the font for one DPI, at creation and on WM_DPICHANGED.
//   Command1 click   the only handled event: runs Command1_Click with the window's clock,
//                    once for every press (a double-click is two).
//   runMessageLoop   the program's loop; IsDialogMessageW gives Tab, arrows, Space and Enter,
//                    and a held Enter presses the button once.
#pragma once

#include "signal/send_action.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <windows.h>

namespace kestrane::window::win32 {

// The control ID of the design table's control of that name; 0 for no such control.
int controlId(std::string_view name);

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
    HWND control(std::string_view name) const;
    UINT dpi() const { return dpi_; }

    // Shows the window and puts the focus on Command1.
    void show(int showCommand);
    // From now on, closing the window ends the program's message loop.
    void endProgramOnClose() { endProgramOnClose_ = true; }

    std::string controlText(std::string_view controlName) const override;
    void setTimeStampText(const std::string& text) override;
    bool isTagSelected() const override;
    void showMessage(const std::string& text, signal::MessageIcon icon,
                     const std::string& caption) override;

private:
    explicit Form1Window(signal::LocalClock clock);

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCreate();
    void onCommand(int id, int notification);
    void onActivate(WPARAM wParam);
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void layout(UINT dpi);
    void resizeToDesign(int left, int top);

    class Font {
    public:
        Font() = default;
        explicit Font(HFONT font) : font_{font} {}
        ~Font() { reset(); }
        Font(const Font&) = delete;
        Font& operator=(Font&& other) noexcept {
            reset();
            font_ = other.release();
            return *this;
        }
        HFONT get() const { return font_; }
        HFONT release() { return std::exchange(font_, nullptr); }
        void reset() {
            if (font_) {
                ::DeleteObject(font_);
                font_ = nullptr;
            }
        }

    private:
        HFONT font_ = nullptr;
    };

    signal::LocalClock clock_;
    HWND window_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    Font font_;
    HWND focusWhenInactive_ = nullptr;
    bool endProgramOnClose_ = false;
};

// One message from the thread's queue, as the program's loop handles it: keys of `window`
// through IsDialogMessageW, auto-repeats of Enter in it ignored, the rest dispatched.
void processMessage(HWND window, const MSG& message);

// Runs the thread's message loop until WM_QUIT; returns the exit code that WM_QUIT carries,
// or EXIT_FAILURE when the system cannot deliver messages.
int runMessageLoop(HWND window);

} // namespace kestrane::window::win32
