#include "capture/x11/X11SelectionReader.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <poll.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace {
Q_LOGGING_CATEGORY(lcSel, "mirvok.capture.selection", QtInfoMsg)

// Ignores errors of this connection (a window that vanished between two
// requests): the reader answers "nothing" instead of the process exiting.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

bool later(quint32 a, quint32 b) { return qint32(a - b) > 0; }
}  // namespace

X11SelectionReader::X11SelectionReader() {
    XSetErrorHandler(ignoreErrors);
    display_ = XOpenDisplay(nullptr);
    if (!display_) return;
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, 0);
    int error = 0;
    if (XFixesQueryExtension(display_, &fixesEvent_, &error)) {
        const unsigned long mask = XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask
                                   | XFixesSelectionClientCloseNotifyMask;
        XFixesSelectSelectionInput(display_, window_, XA_PRIMARY, mask);
        XFixesSelectSelectionInput(display_, window_, atom("CLIPBOARD"), mask);
    } else {
        fixesEvent_ = -1;
    }
    XFlush(display_);
}

X11SelectionReader::~X11SelectionReader() {
    if (!display_) return;
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

unsigned long X11SelectionReader::atom(const char* name) const { return XInternAtom(display_, name, False); }

unsigned long X11SelectionReader::selectionAtom(Selection s) const {
    return s == Primary ? XA_PRIMARY : atom("CLIPBOARD");
}

bool X11SelectionReader::hasOwner(Selection s) const {
    return display_ && XGetSelectionOwner(display_, selectionAtom(s)) != None;
}

// Takes in owner-change notices that arrived meanwhile.
void X11SelectionReader::drain() {
    while (XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        if (fixesEvent_ >= 0 && ev.type == fixesEvent_ + XFixesSelectionNotify) {
            const auto* n = reinterpret_cast<XFixesSelectionNotifyEvent*>(&ev);
            const int i = n->selection == XA_PRIMARY ? 0 : 1;
            ownerTime_[i] = quint32(n->selection_timestamp);
            ++changes_[i];
        }
    }
}

bool X11SelectionReader::waitEvent(int timeoutMs, int wantedType, void* out) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        while (XPending(display_)) {
            XEvent ev;
            XNextEvent(display_, &ev);
            if (fixesEvent_ >= 0 && ev.type == fixesEvent_ + XFixesSelectionNotify) {
                const auto* n = reinterpret_cast<XFixesSelectionNotifyEvent*>(&ev);
                const int i = n->selection == XA_PRIMARY ? 0 : 1;
                ownerTime_[i] = quint32(n->selection_timestamp);
                ++changes_[i];
            }
            if (ev.type == wantedType) {
                *static_cast<XEvent*>(out) = ev;
                return true;
            }
        }
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0) return false;
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, int(left));
    }
}

bool X11SelectionReader::convert(unsigned long selection, unsigned long target, QByteArray* out,
                                 unsigned long* type, int timeoutMs) {
    if (!display_ || XGetSelectionOwner(display_, selection) == None) return false;
    const Atom property = atom("MIRVOK_CAPTURE");
    XDeleteProperty(display_, window_, property);
    XConvertSelection(display_, selection, target, property, window_, CurrentTime);
    XFlush(display_);
    QElapsedTimer t;
    t.start();
    for (;;) {
        XEvent ev;
        const int left = int(timeoutMs - t.elapsed());
        if (left <= 0 || !waitEvent(left, SelectionNotify, &ev)) {
            qCDebug(lcSel) << "selection owner did not answer in time";
            return false;
        }
        if (ev.xselection.selection != selection || ev.xselection.target != target) continue;
        if (ev.xselection.property == None) return false;
        break;
    }
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    // Selections are read whole in one request; 16 MB covers anything worth
    // keeping, and bigger ones are sent incrementally anyway.
    if (XGetWindowProperty(display_, window_, property, 0, 4 * 1024 * 1024, True, AnyPropertyType, &actualType,
                           &format, &items, &after, &data) != Success) {
        return false;
    }
    bool ok = actualType != atom("INCR") && after == 0;
    if (ok && out) {
        const int unit = format == 32 ? int(sizeof(long)) : format / 8;
        *out = QByteArray(reinterpret_cast<const char*>(data), int(items) * qMax(unit, 1));
        if (format == 32) {
            // Xlib hands 32-bit items as longs; keep the wire's 32-bit form.
            QByteArray packed;
            for (unsigned long i = 0; i < items; ++i) {
                const quint32 v = quint32(reinterpret_cast<const unsigned long*>(data)[i]);
                packed.append(reinterpret_cast<const char*>(&v), 4);
            }
            *out = packed;
        }
    }
    if (type) *type = actualType;
    if (data) XFree(data);
    return ok;
}

quint32 X11SelectionReader::ownedSince(Selection s, int timeoutMs) {
    if (!display_) return 0;
    drain();
    quint32 best = ownerTime_[s];
    QByteArray bytes;
    if (convert(selectionAtom(s), atom("TIMESTAMP"), &bytes, nullptr, timeoutMs) && bytes.size() >= 4) {
        quint32 stamp = 0;
        memcpy(&stamp, bytes.constData(), 4);
        if (later(stamp, best)) best = stamp;
    }
    return best;
}

QString X11SelectionReader::readText(Selection s, int timeoutMs) {
    QByteArray bytes;
    QElapsedTimer t;
    t.start();
    if (convert(selectionAtom(s), atom("UTF8_STRING"), &bytes, nullptr, timeoutMs))
        return QString::fromUtf8(bytes);
    // An owner that did not answer at all will not answer the second form.
    const int left = int(timeoutMs - t.elapsed());
    if (left > 0 && convert(selectionAtom(s), XA_STRING, &bytes, nullptr, left)) return QString::fromLatin1(bytes);
    return QString();
}

bool X11SelectionReader::saveClipboard(QList<QPair<QString, QByteArray>>* formats, int timeoutMs,
                                       qint64 maxBytes) {
    formats->clear();
    const Atom clip = atom("CLIPBOARD");
    if (XGetSelectionOwner(display_, clip) == None) return true;
    QByteArray list;
    if (!convert(clip, atom("TARGETS"), &list, nullptr, timeoutMs)) return false;
    static const char* const kMeta[] = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE",
                                        "INSERT_SELECTION", "INSERT_PROPERTY", "_QT_SELECTION",
                                        "CLIPBOARD_MANAGER"};
    qint64 total = 0;
    for (int i = 0; i + 4 <= list.size(); i += 4) {
        quint32 a = 0;
        memcpy(&a, list.constData() + i, 4);
        char* name = XGetAtomName(display_, a);
        if (!name) continue;
        const QString n = QString::fromLatin1(name);
        XFree(name);
        bool meta = false;
        for (const char* m : kMeta) meta = meta || n == QLatin1String(m);
        if (meta) continue;
        QByteArray bytes;
        if (!convert(clip, a, &bytes, nullptr, timeoutMs)) return false;
        total += bytes.size();
        if (total > maxBytes) return false;
        formats->append({n, bytes});
    }
    return true;
}

quint64 X11SelectionReader::ownerChanges(Selection s) {
    if (display_) drain();
    return changes_[s];
}

bool X11SelectionReader::waitForOwnerChange(Selection s, quint64 since, int timeoutMs) {
    if (!display_ || fixesEvent_ < 0) return false;
    QElapsedTimer t;
    t.start();
    for (;;) {
        drain();
        if (changes_[s] > since) return true;
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0) return false;
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, int(qMin<qint64>(left, 50)));
    }
}

unsigned long X11SelectionReader::pointerTopLevel(int* x, int* y, unsigned int* mask) const {
    if (!display_) return 0;
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int m = 0;
    XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rx, &ry, &wx, &wy, &m);
    if (x) *x = rx;
    if (y) *y = ry;
    if (mask) *mask = m;
    return child;
}

unsigned long X11SelectionReader::focusTopLevel() const {
    if (!display_) return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    const Window rootWindow = DefaultRootWindow(display_);
    if (focus == None || focus == PointerRoot || focus == rootWindow) return 0;
    // Walk up to the root's child.
    for (int depth = 0; depth < 32; ++depth) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display_, focus, &root, &parent, &children, &n)) return 0;
        if (children) XFree(children);
        if (parent == rootWindow || parent == None) return focus;
        focus = parent;
    }
    return 0;
}

// The window carrying WM_STATE (the client) inside a frame; the frame itself
// when none does (no window manager).
unsigned long X11SelectionReader::client(unsigned long topLevel) const {
    if (!display_ || !topLevel) return 0;
    const Atom wmState = atom("WM_STATE");
    QList<Window> level{Window(topLevel)};
    for (int depth = 0; depth < 4 && !level.isEmpty(); ++depth) {
        QList<Window> next;
        for (Window w : level) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, w, wmState, 0, 0, False, AnyPropertyType, &type, &format, &items,
                                   &after, &data) == Success) {
                if (data) XFree(data);
                if (type != None) return w;
            }
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned int n = 0;
            if (XQueryTree(display_, w, &root, &parent, &children, &n)) {
                for (unsigned int i = 0; i < n; ++i) next.append(children[i]);
                if (children) XFree(children);
            }
        }
        level = next;
    }
    return topLevel;
}

QPair<QString, QString> X11SelectionReader::wmClass(unsigned long topLevel) const {
    const Window w = client(topLevel);
    if (!w) return {};
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(display_, w, &hint)) return {};
    QPair<QString, QString> r{QString::fromLocal8Bit(hint.res_name), QString::fromLocal8Bit(hint.res_class)};
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return r;
}

qint64 X11SelectionReader::pid(unsigned long topLevel) const {
    const Window w = client(topLevel);
    if (!w) return 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    qint64 pid = 0;
    if (XGetWindowProperty(display_, w, atom("_NET_WM_PID"), 0, 1, False, XA_CARDINAL, &type, &format, &items,
                           &after, &data) == Success && data && items == 1 && format == 32) {
        pid = qint64(*reinterpret_cast<unsigned long*>(data));
    }
    if (data) XFree(data);
    return pid;
}

bool X11SelectionReader::hasModifier(unsigned int mask) {
    return mask & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask | Mod5Mask);
}
