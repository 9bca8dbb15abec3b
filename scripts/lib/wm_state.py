"""A private X server for Wine's windows, with the one duty of a window manager that Wine waits
on: keeping the ICCCM's WM_STATE property of the top-level windows. Wine shows or hides a window
of its own and then waits up to two seconds for the window manager to say, in WM_STATE, that it
is shown or hidden. On a private X server without a window manager, each show and hide of a
window cost the full two seconds. This sets the property as the window is mapped and removes it
as it is unmapped; windows are neither moved, decorated nor given the focus.

    python3 wm_state.py        starts Xvfb; prints its display (":N") once it watches it
"""

import ctypes
import os
import subprocess
import sys

MAP_NOTIFY, UNMAP_NOTIFY = 19, 18
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
NORMAL_STATE = 1
# The libX11 calls made here and by the package checks, each with its result's and arguments'
# types: a display is a pointer, and an id or atom a long.
POINTER, XID, INT = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
CALLS = (("XOpenDisplay", POINTER, ctypes.c_char_p), ("XDefaultRootWindow", XID, POINTER),
         ("XSelectInput", INT, POINTER, XID, ctypes.c_long), ("XNextEvent", INT, POINTER, POINTER),
         ("XInternAtom", XID, POINTER, ctypes.c_char_p, INT), ("XSync", INT, POINTER, INT),
         ("XChangeProperty", INT, POINTER, XID, XID, XID, INT, INT, POINTER, INT),
         ("XDeleteProperty", INT, POINTER, XID, XID), ("XFlush", INT, POINTER),
         ("XSendEvent", INT, POINTER, XID, INT, ctypes.c_long, POINTER),
         ("XCloseDisplay", INT, POINTER))


def xlib():
    x11 = ctypes.CDLL("libX11.so.6")
    for name, result, *arguments in CALLS:
        function = getattr(x11, name)
        function.restype, function.argtypes = result, arguments
    return x11


class MapEvent(ctypes.Structure):
    # XMapEvent, padded to the size of an XEvent; XUnmapEvent has its window at the same place.
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong),
                ("window", ctypes.c_ulong), ("override_redirect", ctypes.c_int),
                ("pad", ctypes.c_long * 17)]


def main():
    # Xvfb writes its display's number and then a newline once it takes clients, and dies
    # should the pipe be closed between the two: it is read to its newline. With -terminate it
    # ends once its last client has gone, this process the first to come and the last to go.
    read_end, write_end = os.pipe()
    subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                      "-nolisten", "tcp", "-terminate"], pass_fds=(write_end,),
                     stdin=subprocess.DEVNULL, stdout=sys.stderr)
    os.close(write_end)
    with os.fdopen(read_end) as named:
        display_name = ":" + named.readline().strip()
    x11 = xlib()
    # A window destroyed before its property is set is no fault; X errors are ignored.
    ignore = ctypes.CFUNCTYPE(INT, POINTER, POINTER)(lambda display, error: 0)
    x11.XSetErrorHandler(ignore)

    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        sys.exit(f"wm_state: cannot open the display {display_name}")
    x11.XSelectInput(display, x11.XDefaultRootWindow(display), SUBSTRUCTURE_NOTIFY_MASK)
    wm_state = x11.XInternAtom(display, b"WM_STATE", False)
    x11.XSync(display, False)
    print(display_name, flush=True)

    event = MapEvent()
    normal = (ctypes.c_long * 2)(NORMAL_STATE, 0)  # the state, and no icon window
    while True:
        x11.XNextEvent(display, ctypes.byref(event))
        if event.type == MAP_NOTIFY and not event.override_redirect:
            x11.XChangeProperty(display, event.window, wm_state, wm_state, 32, 0, normal, 2)
        elif event.type == UNMAP_NOTIFY:
            x11.XDeleteProperty(display, event.window, wm_state)
        x11.XFlush(display)


if __name__ == "__main__":
    main()
