#include "DesktopSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <poll.h>

namespace {
qint64 monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

DesktopSession::DesktopSession() {
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_))) ++display_;
    xvfb_.start(QStringLiteral("Xvfb"), {display(), QStringLiteral("-screen"), QStringLiteral("0"),
                                         QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                         QStringLiteral("tcp")});
    if (!xvfb_.waitForStarted()) return;
    for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_)); ++i)
        QThread::msleep(50);
    bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address")});
    if (!bus_.waitForStarted() || !bus_.waitForReadyRead(5000)) return;
    busAddress_ = QString::fromUtf8(bus_.readLine().trimmed());
    ready_ = !busAddress_.isEmpty();
}

DesktopSession::~DesktopSession() {
    if (x_) XCloseDisplay(static_cast<Display*>(x_));
    stop(bus_);
    stop(xvfb_);
}

QProcessEnvironment DesktopSession::environment(const QTemporaryDir& home) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    env.insert(QStringLiteral("HOME"), home.path());
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(v);
        QDir().mkpath(dir);
        env.insert(QString::fromLatin1(v), dir);
    }
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    return env;
}

double DesktopSession::startAndWaitForWindow(QProcess& process, const QString& program,
                                             const QStringList& args, int timeoutMs) {
    // Watching the root window for maps sees the window the moment the
    // server maps it, without polling.
    Display* x = XOpenDisplay(display().toLatin1().constData());
    if (!x) return -1;
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);
    QElapsedTimer t;
    t.start();
    lastStartNs_ = monotonicNs();
    process.start(program, args);
    double shown = -1;
    while (shown < 0 && t.elapsed() < timeoutMs) {
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(x) && !e.xmap.override_redirect) {
                shown = double(t.nsecsElapsed()) / 1e6;
                lastWindow_ = e.xmap.window;
                break;
            }
        }
        if (shown >= 0) break;
        pollfd p{ConnectionNumber(x), POLLIN, 0};
        ::poll(&p, 1, 50);
    }
    XCloseDisplay(x);
    return shown;
}

void* DesktopSession::x() {
    if (!x_) x_ = XOpenDisplay(display().toLatin1().constData());
    return x_;
}

QByteArray DesktopSession::capture(unsigned long window, int x0, int y0, int width, int height) {
    auto* d = static_cast<Display*>(x());
    if (!d) return {};
    // A window that went away in between is an X error, not a crash.
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(d, window, x0, y0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    XSetErrorHandler(old);
    if (!image) return {};
    QByteArray pixels(image->data, image->bytes_per_line * image->height);
    XDestroyImage(image);
    return pixels;
}

double DesktopSession::waitForSettledWindow(int quietMs, int timeoutMs, int* frames, const QString& framesDir) {
    auto* d = static_cast<Display*>(x());
    XWindowAttributes a;
    if (!d || !lastWindow_ || !XGetWindowAttributes(d, lastWindow_, &a)) return -1;
    const auto sinceStart = [this] { return double(monotonicNs() - lastStartNs_) / 1e6; };
    QByteArray last = capture(lastWindow_, 0, 0, a.width, a.height);
    double lastChange = sinceStart();
    const auto save = [&](const QByteArray& pixels, double ms) {
        if (framesDir.isEmpty() || pixels.size() < qsizetype(a.width) * a.height * 4) return;
        QImage(reinterpret_cast<const uchar*>(pixels.constData()), a.width, a.height, QImage::Format_RGB32)
            .save(QStringLiteral("%1/%2.png").arg(framesDir).arg(int(ms)));
    };
    save(last, lastChange);
    int changes = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && sinceStart() - lastChange < quietMs) {
        QByteArray now = capture(lastWindow_, 0, 0, a.width, a.height);
        // A caret's blink is no change of content.
        if (differingPixels(now, last) > 200) {
            lastChange = sinceStart();
            ++changes;
            save(now, lastChange);
            last = std::move(now);
        }
    }
    if (frames) *frames = changes;
    return lastChange;
}

int DesktopSession::differingPixels(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return int(std::max(a.size(), b.size()) / 4);
    int n = 0;
    const auto* p = reinterpret_cast<const quint32*>(a.constData());
    const auto* q = reinterpret_cast<const quint32*>(b.constData());
    for (qsizetype i = 0; i < a.size() / 4; ++i) n += (p[i] & 0xffffff) != (q[i] & 0xffffff);
    return n;
}

void DesktopSession::focus(unsigned long window) {
    auto* d = static_cast<Display*>(x());
    if (!d) return;
    XWindowAttributes a;
    if (XGetWindowAttributes(d, window, &a)) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(d, window, DefaultRootWindow(d), a.width / 2, 20, &rx, &ry, &child);
        XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
    }
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
}

void DesktopSession::pressKey(const char* keysym) {
    auto* d = static_cast<Display*>(x());
    if (!d) return;
    const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keysym));
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    XFlush(d);
}

void DesktopSession::pressChord(std::initializer_list<const char*> keysyms) {
    auto* d = static_cast<Display*>(x());
    if (!d) return;
    std::vector<KeyCode> codes;
    for (const char* k : keysyms) codes.push_back(XKeysymToKeycode(d, XStringToKeysym(k)));
    for (KeyCode c : codes) XTestFakeKeyEvent(d, c, True, CurrentTime);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it) XTestFakeKeyEvent(d, *it, False, CurrentTime);
    XFlush(d);
}

void DesktopSession::typeText(const QString& text) {
    for (const QChar c : text) {
        const QByteArray name(1, char(c.toLatin1()));
        pressKey(name.constData());
        QThread::msleep(30);
    }
}

void DesktopSession::stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(2000);
}

std::vector<qint64> processTree(qint64 root) {
    std::multimap<qint64, qint64> children;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        if (!ok) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // The name in parentheses may hold spaces; the fields after it do not.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1) children.emplace(fields[1].toLongLong(), pid);
    }
    std::vector<qint64> out{root};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto [from, to] = children.equal_range(out[i]);
        for (auto it = from; it != to; ++it) out.push_back(it->second);
    }
    return out;
}

qint64 processPssKb(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray name(field);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(name)) return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 treePssKb(qint64 root) {
    qint64 total = 0;
    for (qint64 pid : processTree(root)) total += processPssKb(pid);
    return total;
}
