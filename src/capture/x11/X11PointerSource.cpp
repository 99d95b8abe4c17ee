#include "capture/x11/X11PointerSource.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {
Q_LOGGING_CATEGORY(lcPointer, "mirvok.capture.pointer")
quint64 g_popup = 0;

qreal pixelRatio() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? app->devicePixelRatio() : 1.0;
}

// Our windows that have a native window, and their X ids.
QSet<quint64> ownWindowIds() {
    QSet<quint64> ids;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle()) ids.insert(quint64(w->winId()));
    return ids;
}
}  // namespace

X11PointerSource* X11PointerSource::shared() {
    static X11PointerSource* instance = [] () -> X11PointerSource* {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
        Display* dpy = XOpenDisplay(nullptr);
        if (!dpy) return nullptr;
        int opcode = 0, event = 0, error = 0;
        int major = 2, minor = 2;
        if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)
            || XIQueryVersion(dpy, &major, &minor) != Success || major * 100 + minor < 202) {
            qCWarning(lcPointer) << "XInput 2.2 is missing: desktop capture is off";
            XCloseDisplay(dpy);
            return nullptr;
        }
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask;
        mask.deviceid = XIAllMasterDevices;
        mask.mask_len = sizeof(bits);
        mask.mask = bits;
        XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
        XFlush(dpy);
        return new X11PointerSource(dpy, opcode);
    }();
    return instance;
}

X11PointerSource::X11PointerSource(_XDisplay* display, int opcode)
    : QObject(QCoreApplication::instance()), display_(display), opcode_(opcode) {
    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11PointerSource::readEvents);
}

X11PointerSource::~X11PointerSource() {
    delete notifier_;
    if (display_) XCloseDisplay(display_);
}

bool X11PointerSource::hasCompositor() const {
    const Atom cm = XInternAtom(display_, "_NET_WM_CM_S0", False);
    return XGetSelectionOwner(display_, cm) != None;
}

void X11PointerSource::setPopupWindow(quint64 windowId) { g_popup = windowId; }

QPointF X11PointerSource::pointer(unsigned long* child) const {
    Window root = 0, c = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(display_, DefaultRootWindow(display_), &root, &c, &rx, &ry, &wx, &wy, &mask);
    if (child) *child = c;
    const qreal ratio = pixelRatio();
    return QPointF(rx / ratio, ry / ratio);
}

void X11PointerSource::classify(unsigned long rootChild, bool* own, bool* popup) const {
    *own = false;
    *popup = false;
    if (!rootChild) return;
    const QSet<quint64> ids = ownWindowIds();
    // Under a window manager the root's child is its frame; our window is a
    // few levels below, under the same pointer.
    Window w = rootChild;
    for (int depth = 0; w && depth < 6; ++depth) {
        if (ids.contains(quint64(w))) {
            *own = true;
            *popup = g_popup && quint64(w) == g_popup;
            return;
        }
        Window root = 0, child = 0;
        int rx, ry, wx, wy;
        unsigned int mask;
        if (!XQueryPointer(display_, w, &root, &child, &rx, &ry, &wx, &wy, &mask)) break;
        w = child;
    }
}

quint64 X11PointerSource::topLevelAt(bool* own) const {
    unsigned long child = 0;
    pointer(&child);
    if (own) {
        bool popup = false;
        classify(child, own, &popup);
    }
    return child;
}

void X11PointerSource::readEvents() {
    // A fast mouse makes hundreds of motions a second: one position query
    // for a run of them, taken before the next button event.
    bool motion = false;
    auto flushMotion = [&] {
        if (motion) emit moved(pointer(), leftDown_);
        motion = false;
    };
    while (XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        XGenericEventCookie* cookie = &ev.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != opcode_) continue;
        if (!XGetEventData(display_, cookie)) continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        const int detail = raw->detail;
        const quint32 time = quint32(raw->time);
        const int type = cookie->evtype;
        XFreeEventData(display_, cookie);
        if (type == XI_RawMotion) {
            motion = true;
            continue;
        }
        if (detail != 1) continue;
        flushMotion();
        if (type == XI_RawButtonPress) {
            leftDown_ = true;
            unsigned long child = 0;
            const QPointF p = pointer(&child);
            bool own = false, popup = false;
            classify(child, &own, &popup);
            emit pressed(p, time, own, popup);
        } else if (type == XI_RawButtonRelease) {
            leftDown_ = false;
            emit released(pointer());
        }
    }
    flushMotion();
}
