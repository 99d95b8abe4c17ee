// mirvok --query on a private session bus: started by the bus from its
// activation file, or by the command itself without one; the window it
// opens carries the launcher's class and the logo.
#include "support/TestEnv.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <csignal>

namespace {
const QString kName = QStringLiteral("com.mirvok.Dict");

// A session bus of the test's own that searches only `services` for
// activation files, so an installed Mirvok is never the one started.
class PrivateBus {
public:
    explicit PrivateBus(const QString& folder) : services_(folder + "/services")
    {
        QDir().mkpath(services_);
        const QString config = folder + "/bus.conf";
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                               "<busconfig><type>session</type><listen>unix:tmpdir=%1</listen>"
                               "<servicedir>%2</servicedir><policy context=\"default\">"
                               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                               "<allow own=\"*\"/></policy></busconfig>\n")
                    .arg(folder, services_)
                    .toUtf8());
        f.close();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("test")));
    }
    ~PrivateBus()
    {
        bus_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    bool isUp() const { return bus_ && bus_->isConnected(); }
    QDBusConnection& bus() { return *bus_; }
    const QString& address() const { return address_; }
    void addActivationFile(const QString& program)
    {
        QFile f(services_ + "/com.mirvok.Dict.service");
        if (f.open(QIODevice::WriteOnly))
            f.write(QStringLiteral("[D-BUS Service]\nName=com.mirvok.Dict\nExec=%1\n").arg(program).toUtf8());
    }
    qint64 ownerPid()
    {
        if (!bus_->interface()->isServiceRegistered(kName))
            return 0;
        return bus_->interface()->servicePid(kName).value();
    }

private:
    QString services_;
    QProcess daemon_;
    QString address_;
    std::unique_ptr<QDBusConnection> bus_;
};

// The environment a desktop session gives both the command and the bus.
QProcessEnvironment sessionEnvironment(const QString& busAddress)
{
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return pe;
}

int runQuery(const QProcessEnvironment& pe, const QString& text, QString* err)
{
    QProcess p;
    p.setProcessEnvironment(pe);
    p.start(QStringLiteral(MIRVOK_EXECUTABLE), {QStringLiteral("--query"), text});
    if (!p.waitForFinished(90000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString storedQueryWord(const TestEnv& env)
{
    QSettings conf(env.configHome() + QStringLiteral("/mirvok/mirvok.conf"), QSettings::IniFormat);
    return conf.value(QStringLiteral("query_word")).toString();
}

struct TopLevel {
    QString instance;
    QString wmClass;
    bool hasIcon = false;
};

// The mapped top-level window of that process, as a window manager sees it.
std::optional<TopLevel> windowOf(qint64 pid)
{
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return std::nullopt;
    std::optional<TopLevel> found;
    const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    const Atom iconAtom = XInternAtom(dpy, "_NET_WM_ICON", False);
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned int n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n);
    for (unsigned int i = 0; i < n && !found; ++i) {
        XWindowAttributes wa;
        if (!XGetWindowAttributes(dpy, kids[i], &wa) || wa.map_state != IsViewable)
            continue;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, rest = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &rest,
                               &data) != Success || !data || count != 1 ||
            qint64(*reinterpret_cast<unsigned long*>(data)) != pid) {
            if (data)
                XFree(data);
            continue;
        }
        XFree(data);
        TopLevel t;
        XClassHint hint{};
        if (XGetClassHint(dpy, kids[i], &hint)) {
            t.instance = QString::fromLocal8Bit(hint.res_name);
            t.wmClass = QString::fromLocal8Bit(hint.res_class);
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        data = nullptr;
        if (XGetWindowProperty(dpy, kids[i], iconAtom, 0, 4, False, XA_CARDINAL, &type, &format, &count, &rest,
                               &data) == Success && data && count >= 2)
            t.hasIcon = true;
        if (data)
            XFree(data);
        found = t;
    }
    if (kids)
        XFree(kids);
    XCloseDisplay(dpy);
    return found;
}

bool processEnded(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) == 'Z';
}

// Ends a copy the bus or the command started (not a child of ours).
void endCopy(PrivateBus& bus, qint64 pid)
{
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!bus.bus().interface()->isServiceRegistered(kName), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(pid), 20000);
}
}  // namespace

class TestAppDesktop : public QObject {
    Q_OBJECT
private slots:
    void queryStartsMirvokThroughItsActivationFile()
    {
        TestEnv env;
        QTemporaryDir dir;
        PrivateBus bus(dir.path());
        QVERIFY(bus.isUp());
        bus.addActivationFile(QStringLiteral(MIRVOK_EXECUTABLE));
        QString err;
        QCOMPARE(runQuery(sessionEnvironment(bus.address()), QStringLiteral("activated"), &err), 0);
        const qint64 pid = bus.ownerPid();
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(storedQueryWord(env), QStringLiteral("activated"), 20000);
        std::optional<TopLevel> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = windowOf(pid)).has_value(), 30000);
        // StartupWMClass of the launcher entry names this class.
        QCOMPARE(window->wmClass, QStringLiteral("Mirvok"));
        QVERIFY(window->hasIcon);
        endCopy(bus, pid);
    }

    // A build tree or a prefix the bus does not search: the command starts
    // the program itself and hands the text over once it is up.
    void queryStartsMirvokItselfWithoutActivationFile()
    {
        TestEnv env;
        QTemporaryDir dir;
        PrivateBus bus(dir.path());
        QVERIFY(bus.isUp());
        QString err;
        QCOMPARE(runQuery(sessionEnvironment(bus.address()), QStringLiteral("started"), &err), 0);
        const qint64 pid = bus.ownerPid();
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(storedQueryWord(env), QStringLiteral("started"), 20000);

        // A second query goes to the copy now running, which stays the one.
        QCOMPARE(runQuery(sessionEnvironment(bus.address()), QStringLiteral("again"), &err), 0);
        QTRY_COMPARE_WITH_TIMEOUT(storedQueryWord(env), QStringLiteral("again"), 20000);
        QCOMPARE(bus.ownerPid(), pid);
        endCopy(bus, pid);
    }

    // No display for the copy it starts: said at once, not after the wait.
    void queryThatCannotStartMirvokSaysSo()
    {
        TestEnv env;
        QTemporaryDir dir;
        PrivateBus bus(dir.path());
        QVERIFY(bus.isUp());
        QProcessEnvironment pe = sessionEnvironment(bus.address());
        pe.remove(QStringLiteral("DISPLAY"));
        QElapsedTimer t;
        t.start();
        QString err;
        QCOMPARE(runQuery(pe, QStringLiteral("x"), &err), 1);
        QVERIFY2(err.contains(QStringLiteral("退出")), qPrintable(err));
        QVERIFY2(t.elapsed() < 30000, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestAppDesktop)
#include "tst_app_desktop.moc"
