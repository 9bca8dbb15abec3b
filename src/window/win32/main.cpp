// The Windows program: shows Form1 and runs the message loop until the window is closed.
#include "form1_window.h"
#include "resource.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Held, never owned, until the process ends, however it ends: the installer and the
    // uninstaller find a running copy by it and replace or remove nothing meanwhile. Copies
    // may run side by side; each holds the same mutex.
    ::CreateMutexW(nullptr, FALSE, KESTRANE_RUNNING_MUTEX);

    // COM, in this thread's apartment, for the path field's suggestions.
    ::OleInitialize(nullptr);

    // Registers the common controls 6 classes that the manifest asks for.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    const auto form = kestrane::window::win32::Form1Window::create(instance);
    if (!form) {
        return 1;
    }
    form->endProgramOnClose();
    form->show(showCommand);
    return kestrane::window::win32::runMessageLoop(form->handle());
}
