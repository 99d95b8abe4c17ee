// Global hotkeys on a real X server (fired with XTest, contested by a second
// client) and the single-instance service on a private session bus.
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"

#include "platform/hotkeys/x11/GlobalHotkeyCenter.h"
#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr quint64 kCmd = KeyCodeTable::kCommandFlag;  // Ctrl on X11
constexpr quint64 kOpt = KeyCodeTable::kOptionFlag;   // Alt on X11
// Limits on waiting for a condition, generous for a loaded machine; a test
// that passes never waits them out.
constexpr int kEventMs = 30000;
constexpr int kProcessMs = 90000;

int g_lastError = 0;
int recordError(Display*, XErrorEvent* e) {
    g_lastError = e->error_code;
    return 0;
}

// A second X client, as another application holding keys would be.
struct OtherClient {
    Display* dpy = XOpenDisplay(nullptr);
    ~OtherClient() {
        if (dpy) XCloseDisplay(dpy);
    }
    bool grab(KeySym sym, unsigned int mods) {
        g_lastError = 0;
        auto old = XSetErrorHandler(recordError);
        XGrabKey(dpy, XKeysymToKeycode(dpy, sym), mods, DefaultRootWindow(dpy), True, GrabModeAsync,
                 GrabModeAsync);
        XSync(dpy, False);
        XSetErrorHandler(old);
        return g_lastError == 0;
    }
    void ungrab(KeySym sym, unsigned int mods) {
        XUngrabKey(dpy, XKeysymToKeycode(dpy, sym), mods, DefaultRootWindow(dpy));
        XSync(dpy, False);
    }
    void press(const QList<KeySym>& chord) {
        for (KeySym s : chord) XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, s), True, CurrentTime);
        for (auto it = chord.rbegin(); it != chord.rend(); ++it)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, *it), False, CurrentTime);
        XFlush(dpy);
    }
    // A top-level window of that process is on the screen.
    bool showsWindowOf(qint64 pid) {
        const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", True);
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned int n = 0;
        if (pidAtom == None || !XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n)) return false;
        bool found = false;
        for (unsigned int i = 0; i < n && !found; ++i) {
            XWindowAttributes wa;
            if (!XGetWindowAttributes(dpy, kids[i], &wa) || wa.map_state != IsViewable) continue;
            Atom type = None;
            int format = 0;
            unsigned long count = 0, rest = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &rest,
                                   &data) == Success && data && count == 1)
                found = static_cast<qint64>(*reinterpret_cast<unsigned long*>(data)) == pid;
            if (data) XFree(data);
        }
        if (kids) XFree(kids);
        return found;
    }
};

QProcessEnvironment xcbEnvironment() {
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return pe;
}

// A web engine process of that parent is running.
bool runsWebEngine(qint64 parent) {
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (comm) state ppid ...": the command name may hold spaces.
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(QtWebEngineProc") && rest.size() > 1 && rest[1].toLongLong() == parent) return true;
    }
    return false;
}

// mirvok started in that environment puts its window on the screen and is
// still running once its pages have started the web engine.
void startsAndShowsItsWindow(const QProcessEnvironment& pe) {
    QProcess app;
    app.setProcessEnvironment(pe);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
    QVERIFY(app.waitForStarted());
    OtherClient x;
    // Each condition counts once seen: QTRY_VERIFY evaluates its expression
    // again after the wait, and the window is made anew in between.
    const auto shown = [&] { return x.showsWindowOf(app.processId()) || app.state() == QProcess::NotRunning; };
    QVERIFY(guitest::spinUntil(shown, kProcessMs));
    QVERIFY2(app.state() == QProcess::Running, qPrintable(QStringLiteral("exit %1").arg(app.exitCode())));
    QVERIFY(guitest::spinUntil([&] { return runsWebEngine(app.processId()) || app.state() == QProcess::NotRunning; },
                               kProcessMs));
    QVERIFY2(app.state() == QProcess::Running, qPrintable(QStringLiteral("exit %1").arg(app.exitCode())));
    // The window is made anew when the pages attach (another kind of
    // surface): it must be back, not there at every instant.
    QVERIFY(guitest::spinUntil(shown, kProcessMs));
    QVERIFY2(app.state() == QProcess::Running, qPrintable(QStringLiteral("exit %1").arg(app.exitCode())));
    app.terminate();
    if (!app.waitForFinished(kProcessMs)) app.kill();
}
}  // namespace

class TestWindowX11 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(OtherClient().dpy, "no X display"); }

    void grabbedHotkeyFiresOnKeyPress() {
        GlobalHotkeyCenter center;
        int fired = 0, marks = 0;
        QVERIFY(center.registerHotKey(7, kCmd | kOpt, [&] { ++fired; }));  // Ctrl+Alt+X
        // A second hotkey marks how far the server's events have arrived:
        // once its press is in, every press sent before it is in too.
        QVERIFY(center.registerHotKey(8, kCmd | kOpt, [&] { ++marks; }));  // Ctrl+Alt+C
        OtherClient xtest;
        auto allDelivered = [&] {
            const int want = marks + 1;
            xtest.press({XK_Control_L, XK_Alt_L, XK_c});
            QTRY_COMPARE_WITH_TIMEOUT(marks, want, kEventMs);
        };
        xtest.press({XK_Control_L, XK_Alt_L, XK_x});
        QTRY_COMPARE_WITH_TIMEOUT(fired, 1, kEventMs);
        // Other modifiers are a different combination.
        xtest.press({XK_Control_L, XK_x});
        allDelivered();
        QCOMPARE(fired, 1);
        // NumLock does not stop it.
        xtest.press({XK_Num_Lock});
        xtest.press({XK_Control_L, XK_Alt_L, XK_x});
        QTRY_COMPARE_WITH_TIMEOUT(fired, 2, kEventMs);
        xtest.press({XK_Num_Lock});
        center.unregisterHotKey(7, kCmd | kOpt);
        xtest.press({XK_Control_L, XK_Alt_L, XK_x});
        allDelivered();
        QCOMPARE(fired, 2);
    }

    void secondGrabOfOneCombinationFails() {
        GlobalHotkeyCenter center;
        QVERIFY(center.registerHotKey(6, kOpt, [] {}));  // Alt+Z
        QVERIFY(!center.registerHotKey(6, kOpt, [] {}));
        OtherClient other;
        QVERIFY(!other.grab(XK_z, Mod1Mask));  // ours now
        center.unregisterHotKey(6, kOpt);
        QVERIFY(other.grab(XK_z, Mod1Mask));   // released for everyone
        // Held by another client: refused, and nothing of it stays with us.
        QVERIFY(!center.registerHotKey(6, kOpt, [] {}));
        QVERIFY(!center.isRegistered(6, kOpt));
        other.ungrab(XK_z, Mod1Mask);
        QVERIFY(center.registerHotKey(6, kOpt, [] {}));
        QVERIFY(!center.registerHotKey(-1, kOpt, [] {}));  // no such key
    }

    void showReachesTheRunningCopy() {
        SingleInstance first;
        QVERIFY(first.claim());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        // A later copy talks to it over its own connection.
        QDBusConnection second = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
        QVERIFY(second.isConnected());
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"),
                                                           QStringLiteral("com.mirvok.Dict"), QStringLiteral("Show"));
        QDBusPendingCallWatcher watcher(second.asyncCall(call));
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, kEventMs);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.isFinished(), kEventMs);
        QVERIFY(!watcher.isError());
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    }

    // Containers and build machines run as root, where the web engine will
    // not start its sandbox.
    void startsAsRootWithoutSandboxSetting() {
        if (::geteuid() != 0) QSKIP("needs root");
        TestEnv env;
        QProcessEnvironment pe = xcbEnvironment();
        pe.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        pe.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu --disable-dev-shm-usage"));
        startsAndShowsItsWindow(pe);
    }

    // Preferences that stopped the start: a stored image value read before
    // the application object existed aborted it; Qt's decoder of the
    // LastSync line looped allocating for ever; random bytes were read as
    // keys and written back (now moved aside).
    void startsWithDamagedPreferences_data() {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<bool>("movedAside");
        QTest::newRow("image value") << QByteArray("[General]\nk=@Variant(\\0\\0\\0I\\0)\n") << false;
        QTest::newRow("endless decode")
            << QByteArray("LastSync=@DateTime(\\0\\0\\0\\@Variant(\\0\\0\\0%|\\xd7\\x3\\x9f\\xbc\\0\\x1)\n") << false;
        QTest::newRow("random bytes") << QByteArray("\xd1\x07\x00\x9c=\xff\xfe\n\x13[", 10) << true;
    }
    void startsWithDamagedPreferences() {
        QFETCH(QByteArray, conf);
        QFETCH(bool, movedAside);
        TestEnv env;
        const QString folder = env.configHome() + QStringLiteral("/mirvok");
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/mirvok.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(conf);
        file.close();
        startsAndShowsItsWindow(xcbEnvironment());
        QCOMPARE(QDir(folder).entryList({QStringLiteral("mirvok.conf.damaged-*")}).size(), movedAside ? 1 : 0);
    }

    // Everything mirvok writes for the user (preferences with the session
    // token, the word book, the crash kit's defaults with the
    // user's name and e-mail, reports, logs) is the user's alone under the
    // usual umask 022: folders it makes 0700, files 0600.
    void filesItWritesAreTheUsersAlone() {
        TestEnv env;
        const QString data = env.dataHome(), cache = env.cacheHome();
        const QStringList wanted = {env.configHome() + QStringLiteral("/mirvok/mirvok.conf"),
                                    data + QStringLiteral("/com.mirvok.dict/wordbook.db"),
                                    data + QStringLiteral("/com.crashkit/CRKUserDefaults.plist"),
                                    cache + QStringLiteral("/com.crashkit.data/com.mirvok.dict/v3/active")};
        QProcess app;
        app.setProcessEnvironment(xcbEnvironment());
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        const mode_t umaskBefore = ::umask(022);
        app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        ::umask(umaskBefore);
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(wanted.begin(), wanted.end(), [](const QString& f) { return QFileInfo::exists(f); }),
                                 kProcessMs);
        app.terminate();
        QVERIFY(app.waitForFinished(kProcessMs));
        QStringList wrong;
        auto check = [&wrong](const QString& path) {
            struct stat st {};
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISLNK(st.st_mode)) return;
            const mode_t want = S_ISDIR(st.st_mode) ? 0700 : 0600;
            if ((st.st_mode & 07777) != want) wrong << QStringLiteral("%1 %2").arg(st.st_mode & 07777, 0, 8).arg(path);
        };
        for (const QString& root : {env.configHome() + QStringLiteral("/mirvok"), data + QStringLiteral("/com.mirvok.dict"),
                                    data + QStringLiteral("/com.crashkit"), cache + QStringLiteral("/com.crashkit.data"),
                                    cache + QStringLiteral("/io.kithost.sdk.mac.data")}) {
            check(root);
            QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) check(it.next());
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    }

    // Started from a terminal with no service named, mirvok says once that
    // the offline dictionary answers, and nothing meant for its developers:
    // no page loads, no service registration, no web engine set-up, no line
    // per failed request.
    void quietTerminalWithoutService() {
        TestEnv env;
        QTemporaryDir runtime;  // a session has one; without it Qt says so
        QProcessEnvironment pe = xcbEnvironment();
        for (const char* name : {"QT_LOGGING_RULES", "QT_MESSAGE_PATTERN", "QTWEBENGINE_CHROMIUM_FLAGS",
                                 "QTWEBENGINE_DISABLE_SANDBOX"})
            pe.remove(QString::fromLatin1(name));
        pe.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        // A sanitizer build's leak report at exit is not what a user reads.
        pe.insert(QStringLiteral("ASAN_OPTIONS"), pe.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        const QStringList launchEnded = {env.dataHome() + QStringLiteral("/com.mirvok.dict/wordbook.db"),
                                         env.dataHome() + QStringLiteral("/com.crashkit/CRKUserDefaults.plist")};
        QProcess app;
        app.setProcessEnvironment(pe);
        app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(app.waitForStarted());
        QByteArray err;
        const auto running = [&] {
            err += app.readAllStandardError();
            return app.state() == QProcess::Running;
        };
        // The launch has ended (home page loaded, its usage events sent, the
        // kits and the word book started) and the notice is out.
        QTRY_VERIFY_WITH_TIMEOUT(!running() || (err.contains("offline dictionary answers") &&
                                                std::all_of(launchEnded.begin(), launchEnded.end(),
                                                            [](const QString& f) { return QFileInfo::exists(f); })),
                                 kProcessMs);
        QVERIFY2(running(), err.constData());
        app.terminate();
        QVERIFY(app.waitForFinished(kProcessMs));
        err += app.readAllStandardError();

        // What a user may meet besides the notice: running as root (the web
        // engine then runs without its sandbox and says so), or another copy
        // on the machine holding the browser bridge's port.
        static const char* const expected[] = {"mirvok: running as root", "Sandboxing disabled by user.",
                                               "bind: Address already in use"};
        int notices = 0;
        QStringList unexpected;
        for (const QByteArray& line : err.split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            if (line.contains("offline dictionary answers")) {
                ++notices;
                QVERIFY2(line.contains("MVServiceHost"), line.constData());  // how to name a service
                continue;
            }
            if (std::none_of(std::begin(expected), std::end(expected), [&](const char* e) { return line.startsWith(e); }))
                unexpected << QString::fromUtf8(line);
        }
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char('\n'))));
        QCOMPARE(notices, 1);
    }

    void secondLaunchShowsFirstAndExits() {
        TestEnv env;
        QProcessEnvironment pe = xcbEnvironment();
        QProcess first;
        first.setProcessEnvironment(pe);
        first.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(first.waitForStarted());
        // The first copy owns the name once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QStringLiteral("com.mirvok.Dict")),
                                 kProcessMs);
        QProcess second;
        second.setProcessEnvironment(pe);
        second.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(second.waitForFinished(kProcessMs));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        if (!first.waitForFinished(kProcessMs)) first.kill();
    }
};

QTEST_MAIN(TestWindowX11)
#include "tst_window_x11.moc"
