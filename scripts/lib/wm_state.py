"""Keeps the ICCCM's WM_STATE property of the top-level windows on an X server, the one duty
of a window manager that Wine waits on: Wine shows or hides a window of its own and then waits
up to two seconds for the window manager to say, in WM_STATE, that it is shown or hidden. On a
private X server without a window manager, each show and hide of a window cost the full two
seconds. This sets the property as the window is mapped and removes it as it is unmapped;
windows are neither moved, decorated nor given the focus.

    python3 wm_state.py DISPLAY        prints "ready" once it watches the server
"""

import ctypes
import sys

MAP_NOTIFY, UNMAP_NOTIFY = 19, 18
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
NORMAL_STATE = 1


class MapEvent(ctypes.Structure):
    # XMapEvent; XUnmapEvent has its window at the same place.
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong),
                ("window", ctypes.c_ulong), ("override_redirect", ctypes.c_int)]


class Event(ctypes.Union):
    _fields_ = [("xmap", MapEvent), ("pad", ctypes.c_long * 24)]


def main(display_name):
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_void_p,
                                    ctypes.c_int]
    x11.XDeleteProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    # A window destroyed before its property is set is no fault; X errors are ignored.
    handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
    ignore = handler_type(lambda display, error: 0)
    x11.XSetErrorHandler.argtypes = [handler_type]
    x11.XSetErrorHandler(ignore)

    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        sys.exit(f"wm_state: cannot open the display {display_name}")
    x11.XSelectInput(display, x11.XDefaultRootWindow(display), SUBSTRUCTURE_NOTIFY_MASK)
    wm_state = x11.XInternAtom(display, b"WM_STATE", False)
    x11.XSync(display, False)
    print("ready", flush=True)

    event = Event()
    normal = (ctypes.c_long * 2)(NORMAL_STATE, 0)  # the state, and no icon window
    while True:
        x11.XNextEvent(display, ctypes.byref(event))
        if event.xmap.type == MAP_NOTIFY and not event.xmap.override_redirect:
            x11.XChangeProperty(display, event.xmap.window, wm_state, wm_state, 32, 0, normal, 2)
        elif event.xmap.type == UNMAP_NOTIFY:
            x11.XDeleteProperty(display, event.xmap.window, wm_state)
        x11.XFlush(display)


if __name__ == "__main__":
    main(sys.argv[1])
