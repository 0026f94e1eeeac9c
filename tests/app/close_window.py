#!/usr/bin/env python3
"""Waits for a top-level X window whose title contains the given text, then asks it to close the
way a window manager's close box does (WM_DELETE_WINDOW). Exit code 0 when the request was sent,
1 when no such window appeared in time. Uses only libX11 through ctypes."""
import ctypes
import ctypes.util
import sys
import time

title = sys.argv[1].encode()
timeout_s = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
settle_hook = sys.argv[3] if len(sys.argv) > 3 else ""

x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
Window = ctypes.c_ulong
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = Window
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                         ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x.XFetchName.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(ctypes.c_char_p)]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XFree.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def find(dpy, window):
    name = ctypes.c_char_p()
    if x.XFetchName(dpy, window, ctypes.byref(name)) and name.value:
        found = title in name.value
        x.XFree(name)
        if found:
            return window
    root, parent = Window(), Window()
    children = ctypes.POINTER(Window)()
    count = ctypes.c_uint()
    if not x.XQueryTree(dpy, window, ctypes.byref(root), ctypes.byref(parent),
                        ctypes.byref(children), ctypes.byref(count)):
        return None
    try:
        for i in range(count.value):
            hit = find(dpy, children[i])
            if hit:
                return hit
    finally:
        if children:
            x.XFree(children)
    return None


dpy = x.XOpenDisplay(None)
if not dpy:
    sys.exit("no X display")
deadline = time.monotonic() + timeout_s
target = None
while target is None and time.monotonic() < deadline:
    target = find(dpy, x.XDefaultRootWindow(dpy))
    if target is None:
        time.sleep(0.1)  # polling for the window to appear; there is no event to wait on
if target is None:
    sys.exit(1)
if settle_hook:
    import subprocess
    subprocess.run(settle_hook, shell=True, check=False)

ev = XEvent()
ev.xclient.type = 33  # ClientMessage
ev.xclient.window = target
ev.xclient.message_type = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
ev.xclient.format = 32
ev.xclient.data[0] = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
ev.xclient.data[1] = 0  # CurrentTime
x.XSendEvent(dpy, target, 0, 0, ctypes.byref(ev))
x.XFlush(dpy)
sys.exit(0)
