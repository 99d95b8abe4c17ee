// The real application quits by every road while the translation popup
// shows: a window that will not close must never hold the quit back (a
// session ending sends SIGTERM and kills what is still running later).
#include "platform/AccessibilityTrust.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "support/TestEnv.h"
#include "support/capture/TargetProcess.h"

#include "ClipboardPayload.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <csignal>
#include <optional>
#include <sys/inotify.h>
#include <sys/select.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {
// A window of the application may go between two requests about it.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// Viewable top levels of a process, by _NET_WM_PID; `overrideRedirect`
// picks the popup (a tool tip window) or the others.
QList<Window> windowsOf(Display* d, qint64 pid, bool overrideRedirect) {
    QList<Window> out;
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned int n = 0;
    if (pidAtom == 0 || !XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n)) return out;
    for (unsigned int i = 0; i < n; ++i) {
        XWindowAttributes wa;
        if (!XGetWindowAttributes(d, kids[i], &wa) || wa.map_state != IsViewable) continue;
        if (bool(wa.override_redirect) != overrideRedirect) continue;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, rest = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &rest,
                               &data) == Success && data && count == 1
            && qint64(*reinterpret_cast<unsigned long*>(data)) == pid)
            out << kids[i];
        if (data) XFree(data);
    }
    if (kids) XFree(kids);
    return out;
}

// The next event for `w` of `type`, waiting until `deadline` at most.
bool nextEvent(Display* d, Window w, int type, const QDeadlineTimer& deadline, XEvent* ev) {
    for (;;) {
        if (XCheckTypedWindowEvent(d, w, type, ev)) return true;
        const qint64 left = deadline.remainingTime();
        if (left == 0) return false;
        const int fd = ConnectionNumber(d);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 50000};
        select(fd + 1, &set, nullptr, nullptr, &tv);
    }
}

// CLIPBOARD converted to `target` as any other X client reads it, with the
// incremental transfer (ICCCM's INCR) for what one request cannot carry.
std::optional<QByteArray> readClipboard(Display* d, const char* target) {
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const auto destroy = qScopeGuard([&] { XDestroyWindow(d, w); XSync(d, False); });
    XSelectInput(d, w, PropertyChangeMask);
    const Atom property = XInternAtom(d, "MIRVOK_TEST_READ", False);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, target, False), property, w,
                      CurrentTime);
    XFlush(d);
    const QDeadlineTimer deadline(30000);
    XEvent ev;
    if (!nextEvent(d, w, SelectionNotify, deadline, &ev) || ev.xselection.property == None) return std::nullopt;
    auto take = [&](Atom* type) -> std::optional<QByteArray> {
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, property, 0, LONG_MAX / 4, True, AnyPropertyType, type, &format, &items, &after,
                               &data) != Success)
            return std::nullopt;
        QByteArray bytes(reinterpret_cast<const char*>(data), format == 8 ? qsizetype(items) : 0);
        if (data) XFree(data);
        return bytes;
    };
    // The owner's own setting of the property came before its answer.
    while (XCheckTypedWindowEvent(d, w, PropertyNotify, &ev)) {}
    Atom type = None;
    std::optional<QByteArray> got = take(&type);
    if (!got || type != XInternAtom(d, "INCR", False)) return got;
    QByteArray all;
    for (;;) {  // deleting what came asks for the next part; an empty one ends it
        do {
            if (!nextEvent(d, w, PropertyNotify, deadline, &ev)) return std::nullopt;
        } while (ev.xproperty.atom != property || ev.xproperty.state != PropertyNewValue);
        const std::optional<QByteArray> part = take(&type);
        if (!part) return std::nullopt;
        if (part->isEmpty()) return all;
        all += *part;
    }
}
}  // namespace

class CaptureQuitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { XSetErrorHandler(ignoreErrors); }

    void everyRoadEndsTheAppWhileThePopupShows_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("Ctrl+Q") << 0;
    }
    void everyRoadEndsTheAppWhileThePopupShows() {
        QFETCH(int, signal);
        TestEnv env;
        // No service: the shipped dictionary answers the popup.
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:9"));
        UserDefaults::standard().setValue(WordStroke, true);
        UserDefaults::standard().sync();
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(app.waitForStarted());
        Display* d = XOpenDisplay(nullptr);
        QVERIFY(d);
        auto cleanup = qScopeGuard([&] {
            XCloseDisplay(d);
            if (app.state() != QProcess::NotRunning) {
                app.kill();
                app.waitForFinished(5000);
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(d, app.processId(), false).isEmpty(), 60000);
        // A word from the browser, as the bridge passes it on.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QDBusMessage m = QDBusMessage::createSignal(QStringLiteral("/"), QStringLiteral("com.mirvok.Dict"),
                                                            QStringLiteral("BROWSER_GOT_WORD_MSG"));
                m << QStringLiteral("1|0|apple");
                QDBusConnection::sessionBus().send(m);
                return guitestPopupUp(d, app.processId());
            }(),
            60000);

        QElapsedTimer t;
        t.start();
        if (signal) {
            ::kill(pid_t(app.processId()), signal);
        } else {
            const Window main = windowsOf(d, app.processId(), false).value(0);
            XSetInputFocus(d, main, RevertToParent, CurrentTime);
            XSync(d, False);
            QTest::qWait(200);
            const KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L), q = XKeysymToKeycode(d, XK_q);
            XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
            XTestFakeKeyEvent(d, q, True, CurrentTime);
            XTestFakeKeyEvent(d, q, False, CurrentTime);
            XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
            XFlush(d);
        }
        QVERIFY2(app.waitForFinished(10000), "still running with the popup up");
        qInfo("ended %lld ms after the quit", t.elapsed());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }

    // No clipboard manager runs: the user's clipboard, put back by Mirvok
    // after a capture through the copy, is still there once it has quit.
    void theClipboardOutlivesTheApp() {
        TestEnv env;
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:9"));
        UserDefaults::standard().setValue(WordStroke, true);
        UserDefaults::standard().sync();
        QVERIFY(accessibility::setEnabled(true));
        Display* d = XOpenDisplay(nullptr);
        QVERIFY(d);
        const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
        QCOMPARE(XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD_MANAGER", False)), Window(0));
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        auto cleanup = qScopeGuard([&] {
            XCloseDisplay(d);
            if (app.state() != QProcess::NotRunning) {
                app.kill();
                app.waitForFinished(5000);
            }
        });
        app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(d, app.processId(), false).isEmpty(), 60000);

        auto owner = std::make_unique<TargetProcess>(QStringLiteral(CAPTURE_TARGET),
                                                     QStringList{QStringLiteral("--clipboard-owner")});
        QVERIFY(owner->waitFor(QStringLiteral("ready")));
        const Window userOwner = XGetSelectionOwner(d, clipboard);
        TargetProcess pad(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--pad"), QStringLiteral("edit")});
        QVERIFY(pad.waitFor(QStringLiteral("ready")));
        pad.send(QStringLiteral("focus"));
        QVERIFY(pad.waitFor(QStringLiteral("focused")));
        const QPoint at = pad.word(QStringLiteral("pad"));
        XTestFakeMotionEvent(d, -1, at.x(), at.y(), CurrentTime);
        // On a busy machine the accessibility answer that allows the copy
        // can come too late for one gesture (no evidence, no key): the user
        // would simply double-click again.
        for (int attempt = 0; attempt < 5 && pad.copyKeys() == 0; ++attempt) {
            for (int i = 0; i < 2; ++i) {
                XTestFakeButtonEvent(d, 1, True, CurrentTime);
                XTestFakeButtonEvent(d, 1, False, CurrentTime);
            }
            XFlush(d);
            QTest::qWaitFor([&] { return pad.copyKeys() > 0; }, 4000);
        }
        QVERIFY(pad.copyKeys() >= 1);
        // Put back by Mirvok: owned by neither the user's program nor the pad.
        QTRY_VERIFY_WITH_TIMEOUT(XGetSelectionOwner(d, clipboard) != userOwner
                                     && printClipboard().contains(QStringLiteral("text saved clipboard text")),
                                 10000);
        owner.reset();

        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));
        const QStringList clip = printClipboard();
        QVERIFY2(clip.contains(QStringLiteral("text saved clipboard text")), qPrintable(clip.join(u'|')));
        bool png = false;
        for (const QString& l : clip) png = png || (l.startsWith(QLatin1String("format image/png ")) && !l.endsWith(QLatin1String(" 0")));
        QVERIFY2(png, qPrintable(clip.join(u'|')));
        // The keeper steps aside for the next owner, and is gone.
        QCOMPARE(keepers(), 1);
        TargetProcess next(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--clipboard-owner")});
        QVERIFY(next.waitFor(QStringLiteral("ready")));
        QTRY_COMPARE(keepers(), 0);
    }

    // A copy larger than one X request (20 MB of text, 17 MB of image):
    // kept whole past the quit, read by another client byte for byte, and
    // never written to a file on the way.
    void aLargeClipboardIsKeptWholeAndNeverOnDisk() {
        constexpr qint64 kText = 20 * 1024 * 1024, kImage = 17 * 1024 * 1024;
        QTemporaryDir tmp, runtime;
        QVERIFY(tmp.isValid() && runtime.isValid());
        Display* d = XOpenDisplay(nullptr);
        QVERIFY(d);
        auto cleanup = qScopeGuard([&] { XCloseDisplay(d); });
        QCOMPARE(XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD_MANAGER", False)), Window(0));
        // Any file made there on the way counts, even one gone by the end.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0 && inotify_add_watch(watch, QFile::encodeName(tmp.path()).constData(), IN_CREATE) >= 0);
        const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
        QProcess quitting;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        quitting.setProcessEnvironment(env);
        quitting.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        quitting.start(QStringLiteral(CLIPBOARD_HANDOVER),
                       {QStringLiteral(MIRVOK_EXECUTABLE), QString::number(kText), QString::number(kImage)});
        QElapsedTimer handOver;
        handOver.start();
        QVERIFY(quitting.waitForFinished(60000));
        qInfo("copied, handed over and quit in %lld ms", handOver.elapsed());
        QCOMPARE(quitting.readAllStandardOutput(), QByteArray("owner\n"));
        QCOMPARE(quitting.exitCode(), 0);
        char event[4096];
        QCOMPARE(::read(watch, event, sizeof event), ssize_t(-1));

        const std::optional<QByteArray> text = readClipboard(d, "UTF8_STRING");
        QVERIFY(text);
        const QByteArray expected = clipboardpayload::text(kText);
        QCOMPARE(text->size(), expected.size());
        QVERIFY(*text == expected);
        const std::optional<QByteArray> image = readClipboard(d, "image/png");
        QVERIFY(image);
        QCOMPARE(image->size(), kImage);
        QVERIFY(*image == clipboardpayload::image(kImage));
        // The keeper holds the data about once, not once per text target.
        qint64 rss = 0;
        for (const QString& pid : keeperPids()) {
            QFile status(QStringLiteral("/proc/%1/status").arg(pid));
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray& l : status.readAll().split('\n'))
                    if (l.startsWith("VmHWM:")) rss = l.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
        qInfo("keeper peak %lld MB for %lld MB of data", rss >> 20, (kText + kImage) >> 20);
        // The executable alone takes about 55 MB; every further copy would be
        // 20 MB. The address sanitizer keeps freed blocks in quarantine, so
        // there the peak says nothing about our copies.
        QVERIFY(rss > 0);
        if (!MIRVOK_SANITIZED)
            QVERIFY2(rss < kText + kImage + 80 * 1024 * 1024, qPrintable(QString::number(rss)));

        TargetProcess next(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--clipboard-owner")});
        QVERIFY(next.waitFor(QStringLiteral("ready")));
        QTRY_COMPARE(keepers(), 0);
    }

private:
    // Keepers of this test's X server only: another test run on the machine
    // has a server and keepers of its own.
    static QStringList keeperPids() {
        QStringList found;
        const QByteArray display = "DISPLAY=" + qgetenv("DISPLAY");
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmd.open(QIODevice::ReadOnly) || !cmd.readAll().split('\0').contains("--keep-clipboard")) continue;
            QFile env(QStringLiteral("/proc/%1/environ").arg(pid));
            if (env.open(QIODevice::ReadOnly) && env.readAll().split('\0').contains(display)) found << pid;
        }
        return found;
    }
    static int keepers() { return int(keeperPids().size()); }

    static QStringList printClipboard() {
        QProcess p;
        p.start(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--print-clipboard")});
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    static bool guitestPopupUp(Display* d, qint64 pid) {
        QTest::qWait(300);
        return !windowsOf(d, pid, true).isEmpty();
    }
};

QTEST_GUILESS_MAIN(CaptureQuitTest)
#include "tst_capture_quit.moc"
