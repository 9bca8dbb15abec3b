// The Win32 window against the design table, its keyboard navigation, and sends through it.
#include "support/designed_pixels.h"
#include "support/form_design_lookup.h"
#include "support/temp_dir.h"
#include "utf16/utf16.h"
#include "window/form_design.h"
#include "window/win32/form1_window.h"
#include "window/win32/window_text.h"

#include <algorithm>
#include <array>
#include <commctrl.h>
#include <functional>
#include <gtest/gtest.h>
#include <oleacc.h>
#include <vector>

namespace kestrane::window::win32 {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::utf8;

const signal::LocalClock fixedClock = [] {
    return signal::LocalDateTime{2007, 1, 18, 16, 52};
};

std::string textOf(HWND window) {
    return utf16::toUtf8(windowText(window));
}

std::wstring classOf(HWND window) {
    wchar_t name[64]{};
    ::GetClassNameW(window, name, 64);
    return name;
}

LONG styleOf(HWND window) {
    return ::GetWindowLongW(window, GWL_STYLE);
}

// The name an accessibility client reads for `window`.
std::string accessibleName(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible,
                                            reinterpret_cast<void**>(&object)))) {
        return "(no accessible object)";
    }
    VARIANT self{};
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    BSTR name = nullptr;
    object->get_accName(self, &name);
    object->Release();
    const std::string text = name ? utf16::toUtf8(name) : "";
    ::SysFreeString(name);
    return text;
}

// A rectangle as its four edges (left, top, right, bottom), compared and printed whole.
std::array<LONG, 4> edgesOf(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

HFONT fontOf(HWND window) {
    return reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
}

// The size of `text` in the font `control` draws its text in.
SIZE textExtent(HWND control, std::string_view text) {
    const HDC dc = ::GetDC(control);
    const HGDIOBJ previous = ::SelectObject(dc, fontOf(control));
    const std::wstring wide = utf16::toWide(text);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    return size;
}

// A combo box's parts: its field and its list; null handles for any other control.
COMBOBOXINFO partsOf(HWND control) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    return ::GetComboBoxInfo(control, &info) ? info : COMBOBOXINFO{};
}

// The edit field of a text box or combo box.
HWND editFieldOf(HWND control) {
    const HWND field = partsOf(control).hwndItem;
    return field ? field : control;
}

// The windows that draw a control's texts: a combo box's field and list, or the control.
std::vector<HWND> textWindowsOf(HWND control) {
    const COMBOBOXINFO parts = partsOf(control);
    return parts.hwndItem ? std::vector{parts.hwndItem, parts.hwndList} : std::vector{control};
}

// Puts `text` on the clipboard, `owner` owning it.
void putOnClipboard(HWND owner, const std::wstring& text) {
    ASSERT_TRUE(::OpenClipboard(owner));
    ::EmptyClipboard();
    const HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
    ::SetClipboardData(CF_UNICODETEXT, data);
    ::CloseClipboard();
}

// Puts `text` on the clipboard and pastes it over everything the text box or combo box holds.
void paste(HWND control, const std::wstring& text) {
    const HWND edit = editFieldOf(control);
    putOnClipboard(edit, text);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, WM_PASTE, 0, 0);
}

// Presses Insert in the text box, with Shift held or not.
void pressInsert(HWND edit, bool shift) {
    std::array<BYTE, 256> keys{};
    ::GetKeyboardState(keys.data());
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(keys.data());
    ::SendMessageW(edit, WM_KEYDOWN, VK_INSERT, 1);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys.data());
}

// Types `character` at the end of what the text box or combo box holds.
void typeAtEnd(HWND control, wchar_t character) {
    const HWND edit = editFieldOf(control);
    ::SendMessageW(edit, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    ::SendMessageW(edit, WM_CHAR, character, 1);
}

BOOL CALLBACK countVisibleTip(HWND window, LPARAM count) {
    wchar_t name[64]{};
    ::GetClassNameW(window, name, 64);
    if (_wcsicmp(name, TOOLTIPS_CLASSW) == 0 && ::IsWindowVisible(window)) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

// The tooltips this thread shows: a refusing field's balloon, or its own tooltip where the
// edit control shows no balloon.
int visibleTips() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), countVisibleTip, reinterpret_cast<LPARAM>(&count));
    return count;
}

class Form1WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
    void SetUp() override { form = makeForm(); }

    std::unique_ptr<Form1Window> makeForm(const signal::LocalClock& clock = fixedClock) {
        auto made = Form1Window::create(::GetModuleHandleW(nullptr), clock);
        if (made) {
            made->show(SW_SHOWNORMAL);
            ::SetWindowTextW(made->control(ControlId::Text6), utf16::toWide(utf8(file)).c_str());
        }
        return made;
    }

    RECT placeInForm(HWND control) const {
        RECT rect{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, form->handle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    // The designed place of a control relative to the form, from the pixels written out for
    // 96 DPI: at 144 DPI each length is one and a half times as long, rounded half up. The
    // option buttons are children of the form here, not of their frame.
    static RECT designedPlace(const ControlDesign& design, int dpi) {
        const auto scaled = [dpi](int pixels) {
            return dpi == 96 ? pixels : (pixels * 3 + 1) / 2;
        };
        const testing::DesignedPixels& pixels = testing::designedPixels(design.name);
        int left = scaled(pixels.left);
        int top = scaled(pixels.top);
        if (design.container) {
            const testing::DesignedPixels& frame =
                testing::designedPixels(designOf(*design.container).name);
            left += scaled(frame.left);
            top += scaled(frame.top);
        }
        return {left, top, left + scaled(pixels.width), top + scaled(pixels.height)};
    }

    TempDir dir;
    std::filesystem::path file = dir / "Entries.txt";
    std::unique_ptr<Form1Window> form;
};

TEST_F(Form1WindowTest, ControlsAreTheDesignAt96Dpi) {
    form = Form1Window::create(::GetModuleHandleW(nullptr), fixedClock); // Text6 as designed
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->dpi(), 96u);
    EXPECT_EQ(textOf(form->handle()), formCaption);
    RECT client{};
    ::GetClientRect(form->handle(), &client);
    EXPECT_EQ(client.right, 623);
    EXPECT_EQ(client.bottom, 96);

    for (const ControlDesign& design : form1Controls) {
        SCOPED_TRACE(std::string{design.name});
        const HWND control = form->control(design.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(textOf(control), design.text);
        const RECT place = placeInForm(control);
        const RECT designed = designedPlace(design, 96);
        EXPECT_EQ(edgesOf(place), edgesOf(designed));
        // Its texts are drawn in the form's font; asked, a combo box names that font too.
        const HFONT font = fontOf(form->control(ControlId::Label1));
        for (const HWND drawer : textWindowsOf(control)) {
            EXPECT_EQ(fontOf(drawer), font);
        }
        EXPECT_EQ(fontOf(control), font);

        // What a user can tell of each kind; the tab order has a test of its own.
        const LONG style = styleOf(control);
        const bool checked = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        switch (design.kind) {
        case ControlKind::Label:
            EXPECT_EQ(_wcsicmp(classOf(control).c_str(), L"Static"), 0);
            break;
        case ControlKind::TextBox:
            EXPECT_EQ(_wcsicmp(classOf(control).c_str(), L"Edit"), 0);
            EXPECT_EQ((style & ES_READONLY) != 0, design.readOnly);
            EXPECT_EQ(::SendMessageW(editFieldOf(control), EM_GETLIMITTEXT, 0, 0), 4'096)
                << "the longest text a field holds";
            break;
        case ControlKind::ComboBox: {
            EXPECT_EQ(_wcsicmp(classOf(control).c_str(), L"ComboBox"), 0);
            EXPECT_EQ(style & 3, CBS_DROPDOWN);
            ASSERT_EQ(::SendMessageW(control, CB_GETCOUNT, 0, 0),
                      static_cast<LRESULT>(design.listEntries.size()));
            for (std::size_t i = 0; i < design.listEntries.size(); ++i) {
                wchar_t entry[64]{};
                ::SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
                EXPECT_EQ(utf16::toUtf8(entry), design.listEntries[i]);
            }
            EXPECT_EQ(::SendMessageW(editFieldOf(control), EM_GETLIMITTEXT, 0, 0), 4'096)
                << "the longest text a field holds";
            // Dropped down, its list shows every entry in whole rows, and no more.
            ::SendMessageW(control, CB_SHOWDROPDOWN, TRUE, 0);
            const HWND list = partsOf(control).hwndList;
            RECT rows{};
            ::GetClientRect(list, &rows);
            const LRESULT row = ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
            EXPECT_EQ(rows.bottom, row * static_cast<LRESULT>(design.listEntries.size()));
            EXPECT_EQ(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), 0);
            ::SendMessageW(control, CB_SHOWDROPDOWN, FALSE, 0);
            break;
        }
        case ControlKind::OptionButton:
            EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON);
            EXPECT_EQ(checked, design.initiallySelected);
            break;
        case ControlKind::Frame:
        case ControlKind::PushButton:
            break;
        }
    }

    // Command1 takes the focus as the window shows, with the default button's look.
    form->show(SW_SHOWNORMAL);
    EXPECT_EQ(::GetFocus(), form->control(ControlId::Command1));
    EXPECT_EQ(styleOf(form->control(ControlId::Command1)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(Form1WindowTest, NoTextIsClipped) {
    ASSERT_NE(form, nullptr);
    for (const ControlDesign& design : form1Controls) {
        SCOPED_TRACE(std::string{design.name});
        const HWND control = form->control(design.id);
        RECT box{};
        ::GetClientRect(control, &box);
        const SIZE caption = textExtent(control, design.text);
        if (design.kind == ControlKind::Label) {
            EXPECT_LE(caption.cx, box.right);
            EXPECT_LE(caption.cy, box.bottom);
        }
        if (design.kind == ControlKind::OptionButton) {
            EXPECT_LE(caption.cx + ::GetSystemMetrics(SM_CXMENUCHECK), box.right);
        }
        if (design.kind == ControlKind::ComboBox) {
            // Every entry fits the edit field beside the drop-down button.
            const HWND edit = editFieldOf(control);
            RECT field{};
            ::GetClientRect(edit, &field);
            for (std::string_view entry : design.listEntries) {
                EXPECT_LE(textExtent(edit, entry).cx, field.right) << entry;
            }
        }
    }
}

TEST_F(Form1WindowTest, FocusStartsOnCommand1AndTabFollowsTheDesign) {
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(::GetFocus(), form->control(ControlId::Command1));

    const std::vector<ControlId> order = focusOrder();
    HWND current = form->control(order.front());
    for (std::size_t i = 1; i <= order.size(); ++i) {
        current = ::GetNextDlgTabItem(form->handle(), current, FALSE);
        EXPECT_EQ(current, form->control(order[i % order.size()]))
            << "after " << designOf(order[i - 1]).name;
    }
    // The option group is one stop, at its checked button.
    ::SendMessageW(form->control(ControlId::optNo), BM_CLICK, 0, 0);
    EXPECT_EQ(::GetNextDlgTabItem(form->handle(), form->control(ControlId::cmbProc), FALSE),
              form->control(ControlId::optNo));
    EXPECT_EQ(::IsDlgButtonChecked(form->handle(), static_cast<int>(ControlId::optYes)),
              BST_UNCHECKED);
    // The arrow keys keep to the group.
    EXPECT_EQ(::GetNextDlgGroupItem(form->handle(), form->control(ControlId::optNo), FALSE),
              form->control(ControlId::optYes));
    // Another window active meanwhile: the focus goes back to the field the user left.
    ::SetFocus(form->control(ControlId::txtLmt));
    EXPECT_EQ(styleOf(form->control(ControlId::Command1)) & BS_TYPEMASK, BS_PUSHBUTTON)
        << "the default button's look only while focused";
    const HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0,
                                         100, 100, nullptr, nullptr, nullptr, nullptr);
    ::SetActiveWindow(other);
    EXPECT_EQ(::GetActiveWindow(), other);
    ::SetActiveWindow(form->handle());
    EXPECT_EQ(::GetFocus(), form->control(ControlId::txtLmt));
    ::DestroyWindow(other);
}

TEST_F(Form1WindowTest, ScreenReadersNameEachFieldAfterItsLabel) {
    ASSERT_NE(form, nullptr);
    for (const ControlDesign& label : form1Controls) {
        if (!label.labelFor) {
            continue;
        }
        const ControlDesign& named = designOf(*label.labelFor);
        SCOPED_TRACE(std::string{named.name});
        const HWND field = form->control(named.id);
        // Clients name a field after the static text just before it in the window list; Wine's
        // own client answers so for edit fields, and names combo boxes by their text.
        EXPECT_EQ(::GetWindow(field, GW_HWNDPREV), form->control(label.id));
        if (named.kind == ControlKind::TextBox) {
            EXPECT_EQ(accessibleName(field), label.text);
        }
    }
}

// When the last message box shown went away; each box is dismissed as soon as it is shown.
DWORD messageBoxClosedAt = 0;

LRESULT CALLBACK dismissMessageBoxNotingItsEnd(int code, WPARAM wParam, LPARAM lParam) {
    const auto box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && classOf(box) == L"#32770") {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    if (code == HCBT_DESTROYWND && classOf(box) == L"#32770") {
        messageBoxClosedAt = ::GetTickCount();
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Form1WindowTest, EveryPressOfCommand1SendsOneLineButEnterElsewhereNone) {
    // Each send notes a moment within it, on the clock that stamps messages.
    DWORD duringSend = 0;
    form = makeForm([&] {
        duringSend = ::GetTickCount();
        return fixedClock();
    });
    ASSERT_NE(form, nullptr);
    // A key pressed once at `time` and held for `repeats` auto-repeats (bit 30: the key was
    // down), to the control that has the focus.
    const auto press = [&](ControlId focused, WPARAM key, int repeats, DWORD time = 0) {
        ::SetFocus(form->control(focused));
        const auto send = [&](UINT message, LPARAM flags) {
            processMessage(form->handle(), {::GetFocus(), message, key, flags, time, {}});
        };
        send(WM_KEYDOWN, 1);
        for (int repeat = 0; repeat < repeats; ++repeat) {
            send(WM_KEYDOWN, 0x40000001);
        }
        send(WM_KEYUP, LPARAM(0xC0000001));
    };
    const auto click = [&](std::initializer_list<UINT> messages, DWORD time = 0) {
        for (UINT message : messages) {
            processMessage(form->handle(),
                           {form->control(ControlId::Command1), message, 0, 0x00050005, time, {}});
        }
    };
    // The lines sent since the last call.
    const auto linesSent = [&] {
        const auto lines = std::ranges::count(readBytes(file), '\n');
        std::filesystem::remove(file);
        return lines;
    };
    struct Row {
        const char* name;
        std::function<void()> presses;
        std::ptrdiff_t lines;
    };
    const Row rows[] = {
        {"Space held", [&] { press(ControlId::Command1, VK_SPACE, 3); }, 1},
        {"Enter held", [&] { press(ControlId::Command1, VK_RETURN, 3); }, 1},
        {"Enter again on Command1, then on another field",
         [&] {
             press(ControlId::Command1, VK_RETURN, 0);
             press(ControlId::txtLmt, VK_RETURN, 0);
         },
         1},
        {"double-click",
         [&] {
             click({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
         },
         2},
        // Tab round the window back to Command1, where Wine takes the default style off it.
        {"Enter after Tab round the window",
         [&] {
             ::SetFocus(form->control(ControlId::Command1));
             for (std::size_t stop = 0; stop < focusOrder().size(); ++stop) {
                 processMessage(form->handle(), {::GetFocus(), WM_KEYDOWN, VK_TAB, 1, 0, {}});
             }
             EXPECT_EQ(::GetFocus(), form->control(ControlId::Command1));
             press(ControlId::Command1, VK_RETURN, 0);
         },
         1},
        // Presses stamped within a send were made while it waited: dropped.
        {"presses during a send",
         [&] {
             click({WM_LBUTTONDOWN, WM_LBUTTONUP});
             click({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}, duringSend);
             press(ControlId::Command1, VK_RETURN, 0, duringSend);
             press(ControlId::Command1, VK_SPACE, 0, duringSend);
         },
         1},
        {"a click after the send",
         [&] {
             click({WM_LBUTTONDOWN, WM_LBUTTONUP}, ::GetTickCount() + 1);
         },
         1},
        // A failed send ends before its message box: a click made while the box went away sends.
        {"a click while a failure message went away",
         [&] {
             ::SetWindowTextW(form->control(ControlId::Text6), dir.path().c_str()); // a folder: 75
             const HHOOK hook = ::SetWindowsHookExW(WH_CBT, dismissMessageBoxNotingItsEnd, nullptr,
                                                    ::GetCurrentThreadId());
             click({WM_LBUTTONDOWN, WM_LBUTTONUP});
             ::UnhookWindowsHookEx(hook);
             ::SetWindowTextW(form->control(ControlId::Text6), file.c_str());
             click({WM_LBUTTONDOWN, WM_LBUTTONUP}, messageBoxClosedAt);
         },
         1},
    };
    for (const Row& row : rows) {
        row.presses();
        EXPECT_EQ(linesSent(), row.lines) << row.name;
    }
}

TEST_F(Form1WindowTest, ClickSendsTheFieldsAsTheyStand) {
    struct Row {
        const char* name;
        std::function<void(Form1Window&)> edit;
        std::string line;
        int refusals = 0; // balloons saying why a field refused
    };
    const auto type = [](ControlId id, const wchar_t* text) {
        return [=](Form1Window& window) {
            ::SetWindowTextW(window.control(id), text);
        };
    };
    const Row rows[] = {
        {"designed values", [](Form1Window&) {}, "cxlplace,BUY,1,MKT,0,0,2007011816520,entry"},
        {"No chosen",
         [](Form1Window& window) {
             ::SendMessageW(window.control(ControlId::optNo), BM_CLICK, 0, 0);
         },
         "cxlplace,BUY,1,MKT,0,0,2007011816520"},
        {"typed beside the lists", type(ControlId::cmbSide, L"SELL SHORT"),
         "cxlplace,SELL SHORT,1,MKT,0,0,2007011816520,entry"},
        {"chosen from a list",
         [](Form1Window& window) {
             ::SendMessageW(window.control(ControlId::cmbType), CB_SETCURSEL, 3, 0);
         },
         "cxlplace,BUY,1,LMT,0,0,2007011816520,entry"},
        {"western letters", type(ControlId::txtAux, L"1,5\u20ac"),
         "cxlplace,BUY,1,MKT,0,1,5\x80,2007011816520,entry"},
        // A field holds 4,096 characters; a paste or a key that would make it longer is
        // refused whole, with a balloon saying why, never cut to what fits.
        {"pastes of the longest text a field holds",
         [](Form1Window& window) {
             paste(window.control(ControlId::cmbSide), std::wstring(4'096, L'S'));
             paste(window.control(ControlId::txtAux), std::wstring(4'096, L'7'));
         },
         "cxlplace," + std::string(4'096, 'S') + ",1,MKT,0," + std::string(4'096, '7') +
             ",2007011816520,entry"},
        {"a paste of 4,097 characters is refused",
         [](Form1Window& window) {
             paste(window.control(ControlId::txtAux), L"12");
             paste(window.control(ControlId::txtAux), std::wstring(4'097, L'7'));
         },
         "cxlplace,BUY,1,MKT,0,12,2007011816520,entry", 1},
        {"a paste of 100,000 characters into the path is refused",
         [](Form1Window& window) {
             paste(window.control(ControlId::Text6), std::wstring(100'000, L'x'));
         },
         "cxlplace,BUY,1,MKT,0,0,2007011816520,entry", 1},
        {"a key typed into a full field is refused",
         [](Form1Window& window) {
             paste(window.control(ControlId::cmbProc), std::wstring(4'096, L'7'));
             typeAtEnd(window.control(ControlId::cmbProc), L'8');
         },
         std::string(4'096, '7') + ",BUY,1,MKT,0,0,2007011816520,entry", 1},
        {"a space typed into a full field is refused",
         [](Form1Window& window) {
             paste(window.control(ControlId::txtLmt), std::wstring(4'096, L'7'));
             typeAtEnd(window.control(ControlId::txtLmt), L' ');
         },
         "cxlplace,BUY,1,MKT," + std::string(4'096, '7') + ",0,2007011816520,entry", 1},
        // Insert alone only switches typing over; Shift+Insert pastes (Wine's edit control
        // pastes it without a WM_PASTE otherwise).
        {"Shift+Insert pastes, Insert alone does not",
         [](Form1Window& window) {
             const HWND edit = window.control(ControlId::txtAux);
             putOnClipboard(edit, L"12");
             ::SendMessageW(edit, EM_SETSEL, 0, -1);
             pressInsert(edit, false);
             pressInsert(edit, true);
         },
         "cxlplace,BUY,1,MKT,0,12,2007011816520,entry"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(file);
        form = makeForm();
        ASSERT_NE(form, nullptr);
        row.edit(*form);
        EXPECT_EQ(visibleTips(), row.refusals) << row.name;

        ::SendMessageW(form->control(ControlId::Command1), BM_CLICK, 0, 0);

        EXPECT_EQ(readBytes(file), row.line + "\r\n") << row.name;
        EXPECT_EQ(textOf(form->control(ControlId::txtTimeStamp)), "2007011816520") << row.name;
    }
}

// What a message box showed, read while it is being activated, before its modal loop runs.
struct SeenMessageBox {
    int count = 0;
    HWND box = nullptr;
    HWND closing = nullptr;      // a window whose end is watched for
    bool closedUnderBox = false; // that window ended while the box was up
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool exclamation = false;
    int buttons = 0;
};
SeenMessageBox* seenMessageBox = nullptr;

BOOL CALLBACK noteChild(HWND child, LPARAM) {
    // The box itself is not shown yet, so each child's own style tells.
    if (!(styleOf(child) & WS_VISIBLE)) {
        return TRUE;
    }
    if (_wcsicmp(classOf(child).c_str(), L"Button") == 0) {
        ++seenMessageBox->buttons;
    }
    if (_wcsicmp(classOf(child).c_str(), L"Static") == 0 && (styleOf(child) & SS_ICON)) {
        // The only icon these boxes may show is the exclamation.
        seenMessageBox->exclamation = ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    return TRUE;
}

LRESULT CALLBACK noteAndDismissMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    const auto box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_DESTROYWND && box == seenMessageBox->closing) {
        seenMessageBox->closedUnderBox = ::IsWindow(seenMessageBox->box) != FALSE;
    }
    if (code == HCBT_ACTIVATE && classOf(box) == L"#32770") {
        ++seenMessageBox->count;
        seenMessageBox->box = box;
        seenMessageBox->caption = textOf(box);
        seenMessageBox->text = textOf(::GetDlgItem(box, 0xFFFF));
        seenMessageBox->owner = ::GetWindow(box, GW_OWNER);
        ::EnumChildWindows(box, noteChild, 0);
        // Command1 pressed by another way than the mouse and keys while the message is up (an
        // accessibility client's default action): no second send starts.
        if (seenMessageBox->count == 1) {
            const HWND command1 =
                ::GetDlgItem(seenMessageBox->owner, static_cast<int>(ControlId::Command1));
            ::PostMessageW(seenMessageBox->owner, WM_COMMAND,
                           MAKEWPARAM(static_cast<int>(ControlId::Command1), BN_CLICKED),
                           reinterpret_cast<LPARAM>(command1));
        }
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Form1WindowTest, FailedSendShowsOneMessageBoxOwnedByTheWindow) {
    struct Row {
        const char* name;
        std::wstring path;
        std::string text;
        bool exclamation;
        std::wstring auxPrice = L"0";
        // What asks to close the window while the send waits: the window manager's
        // WM_SYSCOMMAND, or a WM_CLOSE from another program (last rows: the window ends).
        UINT closeDuringSend = 0;
    };
    // Half a surrogate pair, as an edit field holds it after a paste of broken text.
    const std::wstring loneSurrogate(1, wchar_t{0xD800});
    const Row rows[] = {
        {"missing folder", (dir / "missing" / "Entries.txt").wstring(),
         "Make sure the path you specified is correct!", true},
        {"folder", dir.path().wstring(),
         "Error 75 (Path/File access error) in procedure Command1_Click of Form Form1", false},
        {"lone surrogate in the path", (dir / "Entries").wstring() + loneSurrogate + L".txt",
         "Error 52 (Bad file name or number) in procedure Command1_Click of Form Form1", false},
        {"lone surrogate in a field", file.wstring(),
         "Error 5 (The signal file's code page cannot hold the character U+D800) in procedure "
         "Command1_Click of Form Form1",
         false, L"1" + loneSurrogate},
        {"missing folder, closed during the send", (dir / "missing" / "Entries.txt").wstring(),
         "Make sure the path you specified is correct!", true, L"0", WM_SYSCOMMAND},
        {"missing folder, WM_CLOSE during the send", (dir / "missing" / "Entries.txt").wstring(),
         "Make sure the path you specified is correct!", true, L"0", WM_CLOSE},
    };
    for (const Row& row : rows) {
        HWND window = nullptr;
        if (row.closeDuringSend != 0) {
            form = makeForm([&window, &row] {
                ::PostMessageW(window, row.closeDuringSend,
                               row.closeDuringSend == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
                return fixedClock();
            });
        }
        ASSERT_NE(form, nullptr);
        window = form->handle();
        ::SetWindowTextW(form->control(ControlId::Text6), row.path.c_str());
        ::SetWindowTextW(form->control(ControlId::txtAux), row.auxPrice.c_str());
        SeenMessageBox seen;
        seen.closing = window;
        seenMessageBox = &seen;
        const HHOOK hook =
            ::SetWindowsHookExW(WH_CBT, noteAndDismissMessageBox, nullptr, ::GetCurrentThreadId());

        ::SendMessageW(form->control(ControlId::Command1), BM_CLICK, 0, 0);
        EXPECT_EQ(textOf(form->control(ControlId::txtTimeStamp)), "2007011816520") << row.name;
        for (MSG message{}; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            ::DispatchMessageW(&message);
        }

        ::UnhookWindowsHookEx(hook);
        seenMessageBox = nullptr;
        // The close comes after the message, and is not lost.
        EXPECT_FALSE(seen.closedUnderBox) << row.name;
        EXPECT_EQ(::IsWindow(window) == FALSE, row.closeDuringSend != 0) << row.name;
        EXPECT_EQ(seen.count, 1) << row.name;
        EXPECT_EQ(seen.caption, "Kestrane_Simulator") << row.name;
        EXPECT_EQ(seen.text, row.text) << row.name;
        EXPECT_EQ(seen.owner, window) << row.name;
        EXPECT_EQ(seen.exclamation, row.exclamation) << row.name;
        EXPECT_EQ(seen.buttons, 1) << row.name;
    }
    EXPECT_TRUE(dir.entries().empty());
}

// A key going down or up as the keyboard sends it; `time` 0 stamps it now.
void keyInput(WORD key, bool up, DWORD time = 0) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    input.ki.time = time;
    ::SendInput(1, &input, sizeof input);
}

// A click of the left button on the middle of the box's OK button, as the mouse sends it;
// `time` 0 stamps it now.
void clickOk(HWND box, DWORD time = 0) {
    RECT ok{};
    ::GetWindowRect(::GetDlgItem(box, IDOK), &ok);
    ::SetCursorPos((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    for (const DWORD button : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = button;
        input.mi.time = time;
        ::SendInput(1, &input, sizeof input);
    }
}

// Drives a failure message from timer ticks, which come only once the input before them has
// been handled: first the rest of a key held from before the box, or a double-click made
// during the send, then a fresh press.
struct StalePresses {
    WORD key = 0; // 0: the mouse
    bool held = false;
    DWORD sentAt = 0; // a moment during the send
    HWND box = nullptr;
    int tick = 0;
    bool upAfterStalePresses = false;
    bool closedByHand = false;
};
StalePresses* stalePresses = nullptr;

void CALLBACK pressIntoMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    StalePresses& run = *stalePresses;
    if (!::IsWindow(run.box)) {
        return;
    }
    switch (run.tick++) {
    case 0:
        if (run.key == 0) {
            // Delivered only now, as by a display that was busy meanwhile.
            clickOk(run.box, run.sentAt);
            clickOk(run.box, run.sentAt);
        } else if (run.held) {
            // Repeats (posted: Wine forgets a key that SendInput pressed but the X server did
            // not once the box takes the X focus), a release and press of one time (a repeat
            // on X servers without detectable auto-repeat), then the release.
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, run.key, 0x40000001);
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, run.key, 0x40000001);
            const DWORD repeat = ::GetTickCount() - 1;
            keyInput(run.key, true, repeat);
            keyInput(run.key, false, repeat);
            keyInput(run.key, true);
        }
        return;
    case 1:
        run.upAfterStalePresses = ::IsWindowVisible(run.box) != FALSE;
        if (run.key == 0) {
            clickOk(run.box);
            return;
        }
        keyInput(run.key, false);
        keyInput(run.key, true);
        return;
    default:
        run.closedByHand = true;
        ::PostMessageW(run.box, WM_COMMAND, IDOK, 0);
        return;
    }
}

LRESULT CALLBACK startPressingIntoMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && classOf(reinterpret_cast<HWND>(wParam)) == L"#32770") {
        stalePresses->box = reinterpret_cast<HWND>(wParam);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Form1WindowTest, OnlyAPressMadeWhileAFailureMessageIsUpDismissesIt) {
    struct Row {
        const char* name;
        WORD key;
        bool held;
    };
    const Row rows[] = {
        {"Enter pressed again during the send", VK_RETURN, false},
        {"Space pressed again during the send", VK_SPACE, false},
        {"Enter held from the send on", VK_RETURN, true},
        {"Space held from the send on", VK_SPACE, true},
        {"a double-click made during the send", 0, false},
    };
    for (const Row& row : rows) {
        StalePresses run{row.key, row.held};
        // The clock is read during the send: the press goes down (and up) then.
        form = makeForm([&] {
            run.sentAt = ::GetTickCount();
            if (row.key != 0) {
                keyInput(row.key, false);
            }
            if (row.key != 0 && !row.held) {
                keyInput(row.key, true);
            }
            return fixedClock();
        });
        ASSERT_NE(form, nullptr);
        ::SetForegroundWindow(form->handle());
        ::SetWindowTextW(form->control(ControlId::Text6), dir.path().c_str()); // a folder: 75
        stalePresses = &run;
        const HHOOK hook = ::SetWindowsHookExW(WH_CBT, startPressingIntoMessageBox, nullptr,
                                               ::GetCurrentThreadId());
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 0, pressIntoMessageBox);

        ::SendMessageW(form->control(ControlId::Command1), BM_CLICK, 0, 0);

        ::KillTimer(nullptr, timer);
        ::UnhookWindowsHookEx(hook);
        stalePresses = nullptr;
        MSG left{};
        while (::PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        EXPECT_NE(run.box, nullptr) << row.name;
        EXPECT_TRUE(run.upAfterStalePresses) << row.name;
        EXPECT_FALSE(run.closedByHand) << row.name << ": a fresh press did not dismiss it";
    }
}

TEST_F(Form1WindowTest, NewDpiLaysTheWindowOutAgain) {
    ASSERT_NE(form, nullptr);
    const auto lineHeight = [this] {
        LOGFONTW font{};
        ::GetObjectW(fontOf(form->control(ControlId::Label1)), sizeof font, &font);
        return std::abs(font.lfHeight);
    };
    const LONG designedLine = lineHeight();
    // At 144 DPI, at 72 and back at 96. From 72 DPI each combo box is made taller from
    // outside, and grows to at least a line of its own font (the system font, taller than the
    // form's) until its field's height is asked again.
    for (const UINT dpi : {144u, 72u, 96u}) {
        SCOPED_TRACE(dpi);
        RECT suggested{10, 20, 900, 200};
        ::SendMessageW(form->handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));

        // Only the controls and the font: a frame sent a made-up DPI keeps its old borders.
        const HFONT font = fontOf(form->control(ControlId::Label1));
        for (const ControlDesign& design : form1Controls) {
            SCOPED_TRACE(std::string{design.name});
            const HWND control = form->control(design.id);
            if (dpi != 72) { // the designed places are written out for 96 and 144 DPI
                const RECT place = placeInForm(control);
                const RECT designed = designedPlace(design, static_cast<int>(dpi));
                EXPECT_EQ(edgesOf(place), edgesOf(designed));
            }
            for (const HWND drawer : textWindowsOf(control)) {
                EXPECT_EQ(fontOf(drawer), font);
            }
        }
        EXPECT_EQ(lineHeight() > designedLine, dpi > 96);
        EXPECT_EQ(lineHeight() < designedLine, dpi < 96);
    }
}

} // namespace
} // namespace kestrane::window::win32
