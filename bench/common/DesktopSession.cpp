#include "DesktopSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <X11/Xlib.h>

#include <map>
#include <poll.h>

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
    process.start(program, args);
    double shown = -1;
    while (shown < 0 && t.elapsed() < timeoutMs) {
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(x) && !e.xmap.override_redirect) {
                shown = double(t.nsecsElapsed()) / 1e6;
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
