// Linked into the start-up programs: closes the first top-level window once it and its
// controls are painted, after setting the runner's event, so the runner times the start to
// the window shown. Installed before wWinMain runs, for the program's one thread. It also
// counts the window messages the thread handles until then (each sent message once handled,
// each posted one as it leaves the queue), a figure the machine's load does not change, and
// leaves the count where the runner reads it.
#include <windows.h>

namespace {

const UINT shownMessage = ::RegisterWindowMessageW(L"KestraneBenchWindowShown");
HWND shownWindow = nullptr;
bool counting = true;
LONG messagesHandled = 0;

// Writes the count into the runner's shared memory, if the runner made it.
void reportMessageCount() {
    const HANDLE mapping =
        ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"Local\\KestraneBenchMessageCount");
    if (!mapping) {
        return;
    }
    if (void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof messagesHandled)) {
        *static_cast<LONG*>(view) = messagesHandled;
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
}

// Sees each message sent to a window once handled: the first top-level window shown gets a
// message posted, which comes out of the queue when the program runs its message loop.
LRESULT CALLBACK afterSent(int code, WPARAM sender, LPARAM data) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(data);
    if (code == HC_ACTION && counting) {
        ++messagesHandled;
    }
    if (code == HC_ACTION && !shownWindow && message->message == WM_WINDOWPOSCHANGED &&
        (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_SHOWWINDOW) &&
        !(::GetWindowLongW(message->hwnd, GWL_STYLE) & WS_CHILD)) {
        shownWindow = message->hwnd;
        ::PostMessageW(shownWindow, shownMessage, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, sender, data);
}

// Sees each message the thread takes from its queue: at the posted one every paint still
// pending is made, then the runner is told and the window closed.
LRESULT CALLBACK onQueued(int code, WPARAM removal, LPARAM data) {
    const auto* message = reinterpret_cast<const MSG*>(data);
    if (code != HC_ACTION || removal != PM_REMOVE) {
        return ::CallNextHookEx(nullptr, code, removal, data);
    }
    if (counting) {
        ++messagesHandled;
    }
    if (message->message == shownMessage && message->hwnd == shownWindow) {
        // The paints that RedrawWindow sends are counted too.
        ::RedrawWindow(shownWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        counting = false;
        reportMessageCount();
        if (const HANDLE shown =
                ::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\KestraneBenchWindowShown")) {
            ::SetEvent(shown);
            ::CloseHandle(shown);
        }
        ::PostMessageW(shownWindow, WM_CLOSE, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, removal, data);
}

[[maybe_unused]] const HHOOK sentHook =
    ::SetWindowsHookExW(WH_CALLWNDPROCRET, afterSent, nullptr, ::GetCurrentThreadId());
[[maybe_unused]] const HHOOK queuedHook =
    ::SetWindowsHookExW(WH_GETMESSAGE, onQueued, nullptr, ::GetCurrentThreadId());

} // namespace
