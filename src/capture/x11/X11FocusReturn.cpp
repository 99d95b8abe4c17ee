#include "capture/x11/X11FocusReturn.h"

#include <QGuiApplication>
#include <QWindow>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

Display* display() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// The window manager's active window, or nothing when no manager keeps it.
Window netActiveWindow(Display* dpy, bool* supported) {
    *supported = false;
    const Atom prop = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", True);
    if (prop == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window w = 0;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), prop, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &after, &data) == Success
        && type == XA_WINDOW && format == 32 && count == 1 && data) {
        *supported = true;
        w = Window(*reinterpret_cast<unsigned long*>(data));
    }
    if (data) XFree(data);
    return w;
}

bool windowExists(Display* dpy, Window w) {
    XWindowAttributes attrs;
    return XGetWindowAttributes(dpy, w, &attrs) != 0 && attrs.map_state == IsViewable;
}

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// A window that went away in between must not end the process (Xlib's
// default handler exits). Installed for good, as the capture thread does:
// the handler is process-wide, and restoring an older one could undo theirs.
void quietErrors() {
    static const bool installed = [] {
        XSetErrorHandler(ignoreErrors);
        return true;
    }();
    (void)installed;
}

}  // namespace

namespace x11focus {

quint64 focusedWindow() {
    Display* dpy = display();
    if (!dpy) return 0;
    bool managed = false;
    const Window active = netActiveWindow(dpy, &managed);
    if (managed && active) return active;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    // The root holds the focus when nobody does (a focused window went away).
    if (focus == PointerRoot || focus == None || focus == DefaultRootWindow(dpy)) return 0;
    return focus;
}

bool isOwnWindow(quint64 window) {
    Display* dpy = display();
    if (!dpy || !window) return false;
    QList<quint64> own;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle()) own << quint64(w->winId());
    quietErrors();
    Window w = Window(window);
    bool found = false;
    // Up to the root: focus may sit on a child of a top-level, and a
    // managed window sits inside its frame.
    for (int depth = 0; w && depth < 64 && !found; ++depth) {
        if (own.contains(quint64(w))) found = true;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) break;
        if (children) XFree(children);
        if (parent == root) break;
        w = parent;
    }
    XSync(dpy, False);
    return found;
}

void focusWindow(quint64 window) {
    Display* dpy = display();
    if (!dpy || !window) return;
    quietErrors();
    if (windowExists(dpy, Window(window))) {
        bool managed = false;
        netActiveWindow(dpy, &managed);
        if (managed) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = Window(window);
            e.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = 2;  // from a pager-like tool: honoured at once
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        } else {
            XSetInputFocus(dpy, Window(window), RevertToParent, CurrentTime);
        }
    }
    XSync(dpy, False);
}

void focusShownWindow(quint64 window) {
    Display* dpy = display();
    if (!dpy || !window) return;
    bool managed = false;
    netActiveWindow(dpy, &managed);
    if (managed) return;
    quietErrors();
    XSync(dpy, False);
    if (windowExists(dpy, Window(window))) XSetInputFocus(dpy, Window(window), RevertToParent, CurrentTime);
    XFlush(dpy);
}

}  // namespace x11focus
