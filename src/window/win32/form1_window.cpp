#include "form1_window.h"

#include "dpi.h"
#include "resource.h"
#include "system/unique_handle.h"
#include "utf16/utf16.h"
#include "window_text.h"

#include <algorithm>
#include <array>
#include <commctrl.h>
#include <cwchar>
#include <shlwapi.h>
#include <utility>
#include <vector>

namespace kestrane::window::win32 {
namespace {

constexpr wchar_t windowClassName[] = L"KestraneSignalSimulatorForm1";
using enum ControlKind;
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD windowExStyle = 0;

const wchar_t* windowClassOf(ControlKind kind) {
    switch (kind) {
    case Label:
        return L"STATIC";
    case ComboBox:
        return L"COMBOBOX";
    case TextBox:
        return L"EDIT";
    case Frame:
    case OptionButton:
    case PushButton:
        return L"BUTTON";
    }
    return L"STATIC";
}

DWORD styleOf(const ControlDesign& control) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (takesFocus(control.kind)) {
        style |= WS_TABSTOP;
    }
    // The arrow keys move within a group, and Tab stops at its checked button.
    if (startsGroup(control.id)) {
        style |= WS_GROUP;
    }
    switch (control.kind) {
    case Label:
        return style | SS_LEFT;
    case ComboBox:
        // No WS_VSCROLL: a dropped list shows up to 30 entries, more than any holds, so it
        // would never show its scroll bar; without one the list is not laid out again for it
        // when made and when its entries come.
        static_assert(std::ranges::all_of(
            form1Controls, [](const ControlDesign& box) { return box.listEntries.size() <= 30; }));
        return style | CBS_DROPDOWN | CBS_AUTOHSCROLL;
    case TextBox:
        return style | ES_LEFT | ES_AUTOHSCROLL | (control.readOnly ? ES_READONLY : 0);
    case Frame:
        return style | BS_GROUPBOX;
    case OptionButton:
        // Only the checked button of a group is a tab stop; the button control moves the stop
        // when the check moves.
        return (control.initiallySelected ? style : style & ~WS_TABSTOP) | BS_AUTORADIOBUTTON;
    case PushButton:
        // BS_NOTIFY: focus notifications, so that the button is the default while focused.
        // It takes the focus as the window shows, so it is made with that look.
        return style | BS_DEFPUSHBUTTON | BS_NOTIFY;
    }
    return style;
}

// Shows a push button as the default button, the one that Enter presses, or as a plain one;
// nothing is sent where it shows so already.
void showAsDefault(HWND button, bool isDefault) {
    const LONG type = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) != type) {
        ::SendMessageW(button, BM_SETSTYLE, static_cast<WPARAM>(type | BS_NOTIFY), TRUE);
    }
}

// The control's place in pixels within the form's client area.
RECT placeOf(const ControlDesign& control, int dpi) {
    TwipsRect twips = control.bounds;
    if (control.container) {
        twips.left += designOf(*control.container).bounds.left;
        twips.top += designOf(*control.container).bounds.top;
    }
    const int left = twipsToPixels(twips.left, dpi);
    const int top = twipsToPixels(twips.top, dpi);
    return {left, top, left + twipsToPixels(twips.width, dpi),
            top + twipsToPixels(twips.height, dpi)};
}

// The controls in the order of the window list: by tab index, which is the order Tab walks,
// with each label directly before the field it names, since accessibility clients name a
// field after the static text just before it. Labels never take the focus, so where they
// stand leaves the tab order as it is.
std::vector<const ControlDesign*> windowListOrder() {
    std::vector<const ControlDesign*> order;
    for (const ControlId id : tabIndexOrder()) {
        if (designOf(id).labelFor) {
            continue;
        }
        for (const ControlDesign& label : form1Controls) {
            if (label.labelFor == id) {
                order.push_back(&label);
            }
        }
        order.push_back(&designOf(id));
    }
    return order;
}

// The closed height of a drop-down combo box follows its own font (the system font here, since
// setFontOf gives the form's font to its field and list only): this sets it to `height` with a
// CB_SETITEMHEIGHT(-1) request for the edit field, to which the box adds `frame` pixels of
// borders and margins. What it adds differs (Wine adds two pixels to the request, and reports
// the sum back), so `frame` starts as a guess, is measured after each request and the request
// corrected once; the next combo box starts from what was measured. Nothing is sent where the
// height is right already.
void setComboFieldHeight(HWND combo, int height, int& frame) {
    int request = 0;
    for (int attempt = 0;; ++attempt) {
        RECT rect{};
        ::GetWindowRect(combo, &rect);
        const int current = rect.bottom - rect.top;
        if (current == height || attempt == 2) {
            return;
        }
        if (request > 0) {
            frame = current - request;
        }
        request = height - frame;
        if (request <= 0) {
            return;
        }
        ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), request);
    }
}

// The first guess of what a combo box adds to the height asked for its edit field: what Wine
// adds at 96 DPI.
int comboFrameGuess(UINT dpi) {
    return scaledFrom96Dpi(6, dpi);
}

// Refuses, whole, a paste or a typed character that would make a field longer than
// longestFieldText, with a beep and a balloon under the field saying why: the edit control
// itself would take as much of a paste as fits and drop the rest unseen.
bool wouldPassLongestText(HWND edit, std::size_t inserted) {
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    const auto held = static_cast<std::size_t>(::GetWindowTextLengthW(edit));
    return held - (end - start) + inserted > static_cast<std::size_t>(longestFieldText);
}

// The length of the text on the clipboard, all of it: Wine pastes into a one-line field only
// up to the first line break, so a paste refused for its length may be one Wine would cut there.
std::size_t clipboardTextLength(HWND owner) {
    if (!::OpenClipboard(owner)) {
        return 0;
    }
    std::size_t length = 0;
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
            length = ::wcsnlen(text, ::GlobalSize(data) / sizeof(wchar_t));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return length;
}

LRESULT CALLBACK keepWithinLongestText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR tip);

// The timer that takes the field's own tooltip away again.
constexpr UINT_PTR hideTipTimer = 0x4B53;

void hideTip(HWND edit, DWORD_PTR tip) {
    if (tip != 0) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = edit;
        tool.uId = reinterpret_cast<UINT_PTR>(edit);
        ::SendMessageW(reinterpret_cast<HWND>(tip), TTM_TRACKACTIVATE, FALSE,
                       reinterpret_cast<LPARAM>(&tool));
        ::KillTimer(edit, hideTipTimer);
    }
}

// A beep, and under the field the balloon of the edit control saying why. Where the edit
// control shows none (Wine's answers EM_SHOWBALLOONTIP with FALSE), a tooltip of the field's
// own says it, made on the first refusal (`tip`, the subclass's data), until the next key or
// click in the field or for five seconds.
void refuseTooLong(HWND edit, UINT_PTR id, DWORD_PTR tip) {
    ::MessageBeep(MB_OK);
    std::wstring text = utf16::toWide(fieldFullText);
    EDITBALLOONTIP balloon{sizeof balloon, L"", text.c_str(), TTI_NONE};
    if (::SendMessageW(edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon))) {
        return;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = edit;
    tool.uId = reinterpret_cast<UINT_PTR>(edit);
    tool.lpszText = text.data();
    if (tip == 0) {
        const HWND made = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                            WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                            edit, nullptr, nullptr, nullptr);
        if (!made) {
            return;
        }
        ::SendMessageW(made, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        tip = reinterpret_cast<DWORD_PTR>(made);
        ::SetWindowSubclass(edit, keepWithinLongestText, id, tip);
    }
    RECT field{};
    ::GetWindowRect(edit, &field);
    ::SendMessageW(reinterpret_cast<HWND>(tip), TTM_TRACKPOSITION, 0,
                   MAKELPARAM(field.left, field.bottom));
    ::SendMessageW(reinterpret_cast<HWND>(tip), TTM_TRACKACTIVATE, TRUE,
                   reinterpret_cast<LPARAM>(&tool));
    ::SetTimer(edit, hideTipTimer, 5000, nullptr);
}

LRESULT CALLBACK keepWithinLongestText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR tip) {
    switch (message) {
    case WM_PASTE:
        if (wouldPassLongestText(edit, clipboardTextLength(edit))) {
            refuseTooLong(edit, id, tip);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam >= L' ' && wParam != 0x7F && wouldPassLongestText(edit, 1)) {
            refuseTooLong(edit, id, tip);
            return 0;
        }
        break;
    case WM_KEYDOWN:
        hideTip(edit, tip);
        // Wine's edit control pastes on Shift+Insert without a WM_PASTE; this makes it one.
        if (wParam == VK_INSERT && ::GetKeyState(VK_SHIFT) < 0 && ::GetKeyState(VK_CONTROL) >= 0) {
            ::SendMessageW(edit, WM_PASTE, 0, 0);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_KILLFOCUS:
        hideTip(edit, tip);
        break;
    case WM_TIMER:
        if (wParam == hideTipTimer) {
            hideTip(edit, tip);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        if (tip != 0 && ::IsWindow(reinterpret_cast<HWND>(tip))) {
            ::DestroyWindow(reinterpret_cast<HWND>(tip));
        }
        ::RemoveWindowSubclass(edit, keepWithinLongestText, id);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

// The edit field of a text box or drop-down combo box: the combo box's one child window (its
// list is a child of the desktop), found without a message to the box.
HWND editFieldOf(HWND control, ControlKind kind) {
    return kind == ComboBox ? ::GetWindow(control, GW_CHILD) : control;
}

// A combo box given no font of its own (setFontOf) answers WM_GETFONT with the font of its
// field, which draws its text: what a client asking the box for its font means to learn.
LRESULT CALLBACK answerWithFieldFont(HWND combo, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR) {
    switch (message) {
    case WM_GETFONT:
        return ::SendMessageW(editFieldOf(combo, ComboBox), WM_GETFONT, 0, 0);
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(combo, answerWithFieldFont, id);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(combo, message, wParam, lParam);
}

// Gives `control` the form's font. A drop-down combo box draws no text of its own: its edit
// field shows the text and its list the entries, each in its own font, and the box's closed
// height is set for the designed field anyway (setComboFieldHeight). So the font goes to the
// field and the list only. Given to the box, it would pass the font on to both and then lay
// itself, its field and its list out again for the font's height, only for the field's
// designed height to lay them out once more: nine window messages a box under Wine before the
// window shows. The box keeps the system font, which sizes one thing only: resized from
// outside, the box stays at least a line of it high (plus borders) until its field's height
// is asked again, as applyLayout does right after.
void setFontOf(HWND control, ControlKind kind, HFONT font) {
    const auto wParam = reinterpret_cast<WPARAM>(font);
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    if (kind != ComboBox || !::GetComboBoxInfo(control, &parts)) {
        ::SendMessageW(control, WM_SETFONT, wParam, FALSE);
        return;
    }
    ::SendMessageW(parts.hwndItem, WM_SETFONT, wParam, FALSE);
    ::SendMessageW(parts.hwndList, WM_SETFONT, wParam, FALSE);
    ::SetWindowSubclass(control, answerWithFieldFont, 0, 0);
}

// Gives the edit field of a text box or combo box its limit: longestFieldText, never a cut.
void limitFieldLength(HWND edit) {
    ::SendMessageW(edit, EM_SETLIMITTEXT, longestFieldText, 0);
    ::SetWindowSubclass(edit, keepWithinLongestText, 0, 0);
}

struct HookTraits {
    using Type = HHOOK;
    static HHOOK invalid() { return nullptr; }
    static void close(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};

bool isButtonPress(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_NCXBUTTONDOWN:
    case WM_NCXBUTTONDBLCLK:
        return true;
    default:
        return false;
    }
}

// While it lives, a message box's modal loop sees only presses that began after it opened:
// presses queued during the send are thrown away, and a key already down (its auto-repeats,
// its release, and the release and press pairs of the same time that X servers without
// detectable auto-repeat send for them) reaches the loop as WM_NULL, as do presses stamped
// before the box opened that the display delivers late.
class FreshPressesOnly {
public:
    FreshPressesOnly() {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
               ::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
               ::PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
        }
        opened_ = ::GetTickCount();
        // The keys down once the queue is empty, as the thread has seen them.
        std::array<BYTE, 256> state{};
        ::GetKeyboardState(state.data());
        for (std::size_t key = 0; key < state.size(); ++key) {
            keys_[key].held = (state[key] & 0x80) != 0;
        }
        previous_ = std::exchange(active_, this);
        hook_ = Hook{::SetWindowsHookExW(WH_GETMESSAGE, filter, nullptr, ::GetCurrentThreadId())};
    }
    ~FreshPressesOnly() {
        hook_.reset();
        active_ = previous_;
    }
    FreshPressesOnly(const FreshPressesOnly&) = delete;
    FreshPressesOnly& operator=(const FreshPressesOnly&) = delete;

private:
    using Hook = UniqueHandle<HookTraits>;
    struct Key {
        bool held = false;     // down since before the box opened
        bool released = false; // and let go at releasedAt, perhaps to repeat
        DWORD releasedAt = 0;
    };

    static LRESULT CALLBACK filter(int code, WPARAM removal, LPARAM lParam) {
        auto& message = *reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && removal == PM_REMOVE && active_ && active_->isStale(message)) {
            message.message = WM_NULL;
        }
        return ::CallNextHookEx(nullptr, code, removal, lParam);
    }

    bool isStale(const MSG& message) {
        // Unsigned differences, so that the tick count's wrap changes nothing.
        const bool before = static_cast<LONG>(message.time - opened_) < 0;
        if (isButtonPress(message.message)) {
            return before;
        }
        const bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
        const bool up = message.message == WM_KEYUP || message.message == WM_SYSKEYUP;
        if (!down && !up) {
            return false;
        }
        Key& key = keys_[message.wParam & 0xFF];
        if (up) {
            if (!key.held) {
                return false;
            }
            key.released = true;
            key.releasedAt = message.time;
            return true;
        }
        if (before) {
            key = {true, false, 0};
            return true;
        }
        // Bit 30: the key was down before this message, so an auto-repeat.
        if ((message.lParam & (LPARAM{1} << 30)) != 0) {
            return true;
        }
        if (key.held && key.released && message.time == key.releasedAt) {
            key.released = false;
            return true;
        }
        key = {};
        return false;
    }

    static thread_local FreshPressesOnly* active_;
    FreshPressesOnly* previous_ = nullptr;
    DWORD opened_ = 0;
    std::array<Key, 256> keys_{};
    Hook hook_;
};

thread_local FreshPressesOnly* FreshPressesOnly::active_ = nullptr;

} // namespace

Form1Window::Form1Window(signal::LocalClock clock) : clock_{std::move(clock)} {}

std::unique_ptr<Form1Window> Form1Window::create(HINSTANCE instance, signal::LocalClock clock) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExW(instance, windowClassName, &windowClass)) {
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon =
            static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(KESTRANE_ICON_ID),
                                            IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
        windowClass.hIconSm = static_cast<HICON>(::LoadImageW(
            instance, MAKEINTRESOURCEW(KESTRANE_ICON_ID), IMAGE_ICON,
            ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = windowClassName;
        if (!::RegisterClassExW(&windowClass)) {
            return nullptr;
        }
    }
    std::unique_ptr<Form1Window> form{new Form1Window{std::move(clock)}};
    // The font and every place are worked out first, so that the window and each control are
    // made at their final size with their font: nothing is moved, resized or drawn again
    // before the window is first shown.
    form->layout_ = layout(startDpi());
    const std::wstring caption = utf16::toWide(formCaption);
    ::CreateWindowExW(windowExStyle, windowClassName, caption.c_str(), windowStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, form->layout_.frame.cx, form->layout_.frame.cy, nullptr,
                      nullptr, instance, form.get());
    if (!form->window_) {
        return nullptr;
    }
    return form;
}

Form1Window::~Form1Window() {
    if (window_) {
        ::DestroyWindow(window_);
    }
}

HWND Form1Window::control(ControlId id) const {
    return ::GetDlgItem(window_, static_cast<int>(id));
}

void Form1Window::show(int showCommand) {
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
    ::SetFocus(control(ControlId::Command1));
}

std::string Form1Window::controlText(std::string_view name) const {
    // A drop-down combo box's text is the text of its edit field.
    return utf16::toUtf8(windowText(control(textFieldNamed(name))));
}

void Form1Window::setTimeStampText(const std::string& text) {
    ::SetWindowTextW(control(ControlId::txtTimeStamp), utf16::toWide(text).c_str());
}

bool Form1Window::isTagSelected() const {
    return ::IsDlgButtonChecked(window_, static_cast<int>(ControlId::optYes)) == BST_CHECKED;
}

void Form1Window::showMessage(const std::string& text, signal::MessageIcon icon,
                              const std::string& caption) {
    // The append has returned: a press from now on is no longer one made during the send.
    endSend();
    const UINT type = MB_OK | (icon == signal::MessageIcon::Exclamation ? MB_ICONEXCLAMATION : 0);
    // A close asked for during the send still waits in the queues. The box disables the window,
    // which then ignores it (Wine drops a window manager's close for a disabled window, and
    // the system command of a disabled window does nothing): fetch it now, while the window is
    // enabled, and keep it for the send's end.
    MSG pending{};
    ::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE);
    while (::PeekMessageW(&pending, window_, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) {
        if ((pending.wParam & 0xFFF0) == SC_CLOSE) {
            closeWhenSent_ = true;
        } else {
            ::DispatchMessageW(&pending);
        }
    }
    const FreshPressesOnly freshPressesOnly;
    ::MessageBoxW(window_, utf16::toWide(text).c_str(), utf16::toWide(caption).c_str(), type);
}

LRESULT CALLBACK Form1Window::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form =
            static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->window_ = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return form->handleMessage(message, wParam, lParam);
}

LRESULT Form1Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate() ? 0 : -1;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        onActivate(wParam);
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        // Asked for during a send: done once the send and its message are.
        if (sending_) {
            closeWhenSent_ = true;
            return 0;
        }
        return ::DefWindowProcW(window_, message, wParam, lParam);
    case WM_DESTROY:
        if (endProgramOnClose_) {
            ::PostQuitMessage(0);
        }
        return 0;
    default:
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool Form1Window::onCreate() {
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    int comboFrame = comboFrameGuess(layout_.dpi);
    for (const ControlDesign* design : windowListOrder()) {
        // As a dialog's controls: the window has no use for their WM_PARENTNOTIFY.
        const DWORD exStyle =
            WS_EX_NOPARENTNOTIFY | (design->kind == TextBox ? WS_EX_CLIENTEDGE : 0);
        // A combo box is made at its closed height too: its list, dropped down, holds all its
        // entries however tall the box was made (common controls 6 show up to 30 rows, and
        // Wine the same), and a list made with room to spare fits itself to whole rows again
        // at every font and field height the box is given.
        const RECT& place = layout_.places[indexOf(design->id)];
        const HWND control = ::CreateWindowExW(
            exStyle, windowClassOf(design->kind), utf16::toWide(design->text).c_str(),
            styleOf(*design), place.left, place.top, place.right - place.left,
            place.bottom - place.top, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(design->id)), instance, nullptr);
        if (!control) {
            return false;
        }
        setFontOf(control, design->kind, layout_.font.get());
        if (design->kind == ComboBox) {
            setComboFieldHeight(control, place.bottom - place.top, comboFrame);
        }
        for (std::string_view entry : design->listEntries) {
            ::SendMessageW(control, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(utf16::toWide(entry).c_str()));
        }
        if (design->kind == TextBox || design->kind == ComboBox) {
            const HWND edit = editFieldOf(control, design->kind);
            // A combo box's text is its field's, given to the field itself, where a WM_SETTEXT
            // to the box would put it. A text box was made with its text.
            if (design->kind == ComboBox) {
                ::SetWindowTextW(edit, utf16::toWide(design->text).c_str());
            }
            limitFieldLength(edit);
        }
        if (design->initiallySelected) {
            ::SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    // The path is typed at every start: the shell suggests the folders and files under what is
    // typed, in a drop-down, and never adds text to the field by itself. Needs COM on this
    // thread (the program's main), and does nothing without it.
    ::SHAutoComplete(control(ControlId::Text6),
                     SHACF_FILESYS_ONLY | SHACF_AUTOSUGGEST_FORCE_ON | SHACF_AUTOAPPEND_FORCE_OFF);
    // A window that opened on a monitor of another DPI than the system's is laid out anew.
    if (const UINT dpi = windowDpi(window_); dpi != layout_.dpi) {
        RECT place{};
        ::GetWindowRect(window_, &place);
        applyLayout(layout(dpi), place.left, place.top);
    }
    return true;
}

void Form1Window::onCommand(int id, int notification) {
    switch (static_cast<ControlId>(id)) {
    case ControlId::Command1:
        onCommand1(notification);
        return;
    default:
        return;
    }
}

void Form1Window::onCommand1(int notification) {
    switch (notification) {
    case BN_CLICKED:
    // With BS_NOTIFY the second click of a double-click arrives as this instead of BN_CLICKED.
    case BN_DBLCLK:
        if (sending_) {
            return;
        }
        // Still set while a failure message is up, so that no press starts a second send.
        sending_ = true;
        lastSendStart_ = ::GetTickCount();
        sendEnded_ = false;
        signal::Command1_Click(*this, clock_);
        endSend();
        sending_ = false;
        if (std::exchange(closeWhenSent_, false)) {
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        return;
    // While focused, the button shows as the default button, the one that Enter presses.
    case BN_SETFOCUS:
        showAsDefault(control(ControlId::Command1), true);
        return;
    case BN_KILLFOCUS:
        showAsDefault(control(ControlId::Command1), false);
        return;
    default:
        return;
    }
}

// Keeps the focus where the user left it when another window, a message box among them, has
// been active meanwhile.
void Form1Window::onActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(window_, focus)) {
            focusWhenInactive_ = focus;
        }
        return;
    }
    if (HIWORD(wParam)) { // minimised
        return;
    }
    const bool remembered = focusWhenInactive_ && ::IsChild(window_, focusWhenInactive_);
    ::SetFocus(remembered ? focusWhenInactive_ : control(ControlId::Command1));
}

void Form1Window::onDpiChanged(UINT dpi, const RECT& suggested) {
    applyLayout(layout(dpi), suggested.left, suggested.top);
}

Form1Window::Layout Form1Window::layout(UINT dpi) {
    Layout layout;
    layout.dpi = dpi;
    layout.font = createFormFont(dpi);
    for (const ControlDesign& design : form1Controls) {
        layout.places[indexOf(design.id)] = placeOf(design, static_cast<int>(dpi));
    }
    const RECT frame =
        windowRectForClient(twipsToPixels(formClientWidthTwips, static_cast<int>(dpi)),
                            twipsToPixels(formClientHeightTwips, static_cast<int>(dpi)),
                            windowStyle, windowExStyle, dpi);
    layout.frame = {frame.right - frame.left, frame.bottom - frame.top};
    return layout;
}

void Form1Window::applyLayout(Layout next, int left, int top) {
    int comboFrame = comboFrameGuess(next.dpi);
    for (const ControlDesign& design : form1Controls) {
        const HWND child = control(design.id);
        setFontOf(child, design.kind, next.font.get());
        const RECT& place = next.places[indexOf(design.id)];
        ::MoveWindow(child, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, FALSE);
        if (design.kind == ComboBox) {
            setComboFieldHeight(child, place.bottom - place.top, comboFrame);
        }
    }
    layout_ = std::move(next);
    ::SetWindowPos(window_, nullptr, left, top, layout_.frame.cx, layout_.frame.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Form1Window::endSend() {
    if (!sending_ || sendEnded_) {
        return;
    }
    lastSendEnd_ = ::GetTickCount();
    sendEnded_ = true;
    sent_ = true;
}

bool Form1Window::pressedDuringSend(const MSG& message) const {
    const HWND command1 = control(ControlId::Command1);
    const bool press = message.message == WM_LBUTTONDOWN || message.message == WM_LBUTTONDBLCLK ||
                       (message.message == WM_KEYDOWN &&
                        (message.wParam == VK_SPACE || message.wParam == VK_RETURN));
    if (!sent_ || !press || message.hwnd != command1) {
        return false;
    }
    // Unsigned differences, so that the tick count's wrap after 49.7 days changes nothing.
    return message.time - lastSendStart_ <= lastSendEnd_ - lastSendStart_;
}

void processMessage(HWND window, const MSG& message) {
    const auto* form =
        reinterpret_cast<const Form1Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form && form->pressedDuringSend(message)) {
        return;
    }
    // Enter on Command1 presses it once per press: held down, it repeats WM_KEYDOWN with bit 30
    // (the key was down before) set. IsDialogMessageW would press only a button styled as the
    // default, and Wine takes that style off again when Tab brings the focus back.
    const HWND command1 = ::GetDlgItem(window, static_cast<int>(ControlId::Command1));
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && message.hwnd == command1) {
        if ((message.lParam & (LPARAM{1} << 30)) == 0) {
            ::SendMessageW(window, WM_COMMAND,
                           MAKEWPARAM(static_cast<int>(ControlId::Command1), BN_CLICKED),
                           reinterpret_cast<LPARAM>(command1));
        }
        return;
    }
    MSG copy = message;
    if (::IsDialogMessageW(window, &copy)) {
        return;
    }
    ::TranslateMessage(&copy);
    ::DispatchMessageW(&copy);
}

int runMessageLoop(HWND window) {
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == -1) {
            return EXIT_FAILURE;
        }
        processMessage(window, message);
    }
}

} // namespace kestrane::window::win32
