#include "capture/x11/ClipboardKeeper.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <csignal>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace clipboardkeeper {
namespace {
Q_LOGGING_CATEGORY(lcKeeper, "mirvok.capture.clipboard")

constexpr int kTakeOverMs = 1000;

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// A server time of our own, as selection owners must claim with one.
Time freshTime(Display* d, Window w) {
    XSelectInput(d, w, PropertyChangeMask);
    XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    XWindowEvent(d, w, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

void answer(Display* d, const XSelectionRequestEvent& r, const Formats& formats, const QList<Atom>& atoms,
            Time owned, long maxBytes) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = d;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = None;
    // Clients of the old convention name no property: the target stands in.
    const Atom property = r.property == None ? r.target : r.property;
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom timestamp = XInternAtom(d, "TIMESTAMP", False);
    if (r.time == CurrentTime || r.time >= owned) {
        if (r.target == targets) {
            std::vector<long> list{long(targets), long(timestamp)};
            for (Atom a : atoms) list.push_back(long(a));
            XChangeProperty(d, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(list.data()), int(list.size()));
            reply.property = property;
        } else if (r.target == timestamp) {
            const long t = long(owned);
            XChangeProperty(d, r.requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&t), 1);
            reply.property = property;
        } else {
            const qsizetype i = atoms.indexOf(r.target);
            // Too big for one request would need the incremental transfer;
            // such a clipboard is refused rather than sent cut.
            if (i >= 0 && formats[i].second.size() <= maxBytes) {
                const QByteArray& bytes = formats[i].second;
                XChangeProperty(d, r.requestor, property, r.target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
                reply.property = property;
            }
        }
    }
    XSendEvent(d, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(d);
}

}  // namespace

Formats formatsOf(const QMimeData& data) {
    Formats out;
    if (data.hasText()) {
        const QString text = data.text();
        const QByteArray utf8 = text.toUtf8();
        out.append({QStringLiteral("UTF8_STRING"), utf8});
        out.append({QStringLiteral("text/plain;charset=utf-8"), utf8});
        out.append({QStringLiteral("text/plain"), utf8});
        bool latin = true;
        for (QChar c : text) latin = latin && c.unicode() < 0x100;
        if (latin) out.append({QStringLiteral("STRING"), text.toLatin1()});
    }
    for (const QString& f : data.formats()) {
        // Text went above; Qt's own formats mean nothing to other programs.
        if (f.startsWith(QLatin1String("text/plain")) || f.startsWith(QLatin1String("application/x-qt"))) continue;
        out.append({f, data.data(f)});
    }
    return out;
}

bool handOverAtExit() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
    QClipboard* cb = QGuiApplication::clipboard();
    const QMimeData* data = cb && cb->ownsClipboard() ? cb->mimeData(QClipboard::Clipboard) : nullptr;
    if (!data) return true;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const auto closeDisplay = qScopeGuard([d] { XCloseDisplay(d); });
    // A clipboard manager takes it from Qt as the application object goes.
    if (XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD_MANAGER", False)) != None) return true;
    const Formats formats = formatsOf(*data);
    if (formats.isEmpty()) return true;
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Window ours = XGetSelectionOwner(d, clipboard);

    // Our own temporary file (0600), open in the keeper before it is gone.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/mirvok-clipboard-XXXXXX"));
    if (!file.open() || file.write(write(formats)) < 0 || !file.flush()) {
        qCWarning(lcKeeper) << "clipboard not kept: cannot write" << file.fileName();
        return false;
    }
    QProcess keeper;
    keeper.setProgram(QCoreApplication::applicationFilePath());
    keeper.setArguments({QString::fromLatin1(kArgument)});
    keeper.setStandardInputFile(file.fileName());
    keeper.setStandardOutputFile(QProcess::nullDevice());
    if (!keeper.startDetached()) {
        qCWarning(lcKeeper) << "clipboard not kept: the keeper did not start";
        return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kTakeOverMs) {
        if (XGetSelectionOwner(d, clipboard) != ours) return true;
        QThread::msleep(5);
    }
    qCWarning(lcKeeper) << "clipboard not kept: the keeper did not take it in time";
    return false;
}

int serveFromStdin() {
    // Detached from whatever started Mirvok: only the display ending (or
    // another owner) ends it.
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    QByteArray bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buf, n);
        if (bytes.size() > kMaxInput) return 2;
    }
    const std::optional<Formats> formats = read(bytes);
    if (!formats || formats->isEmpty()) return 2;
    XSetErrorHandler(ignoreErrors);
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 3;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    QList<Atom> atoms;
    for (const auto& f : *formats) atoms.append(XInternAtom(d, f.first.toLatin1().constData(), False));
    const long maxBytes = (XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d) : XMaxRequestSize(d)) * 4 - 1024;
    const Time owned = freshTime(d, w);
    XSetSelectionOwner(d, clipboard, w, owned);
    if (XGetSelectionOwner(d, clipboard) != w) return 4;
    for (;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == SelectionClear && ev.xselectionclear.selection == clipboard) break;
        if (ev.type == SelectionRequest) answer(d, ev.xselectionrequest, *formats, atoms, owned, maxBytes);
    }
    XCloseDisplay(d);
    return 0;
}

}  // namespace clipboardkeeper
