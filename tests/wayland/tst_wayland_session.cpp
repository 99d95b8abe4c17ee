// The real mirvok under a real headless compositor (see with-sway.sh):
// selections reach the popup's lookup without any pointer or keystroke,
// and the desktop portal's shortcut opens the mini window. The test itself
// stands in for the portal on the private session bus.
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// org.freedesktop.portal.Desktop with GlobalShortcuts only: answers each
// request through its Request object's Response, records what was bound.
class StandInPortal : public QDBusVirtualObject {
public:
    QString session;
    QStringList bound;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.interface() != kShortcuts) return false;
        QString sender = m.service().mid(1).replace(u'.', u'_');
        QVariantMap results;
        QVariantMap options;
        if (m.member() == QLatin1String("CreateSession")) {
            options = qdbus_cast<QVariantMap>(m.arguments().value(0));
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                          .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
            results[QStringLiteral("session_handle")] = session;
        } else if (m.member() == QLatin1String("BindShortcuts")) {
            options = qdbus_cast<QVariantMap>(m.arguments().value(3));
            const QDBusArgument list = m.arguments().value(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap props;
                list.beginStructure();
                list >> id >> props;
                list.endStructure();
                bound << id;
            }
            list.endArray();
        } else {
            return false;
        }
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        bus.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                           QStringLiteral("Response"));
        response << 0u << results;
        bus.send(response);
        return true;
    }
};
// org.kde.StatusNotifierWatcher with a host: records the items that
// register. Qt reads the property through introspection.
class StandInTrayWatcher : public QDBusVirtualObject {
public:
    QStringList items;

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"org.kde.StatusNotifierWatcher\">"
                              "<method name=\"RegisterStatusNotifierItem\"><arg type=\"s\" direction=\"in\"/></method>"
                              "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
                              "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
                              "</interface>");
    }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.member() == QLatin1String("RegisterStatusNotifierItem")) {
            items << m.arguments().value(0).toString();
            bus.send(m.createReply());
        } else if (m.member() == QLatin1String("Get")) {
            const bool host = m.arguments().value(1).toString() == QLatin1String("IsStatusNotifierHostRegistered");
            bus.send(m.createReply(QVariant::fromValue(QDBusVariant(host ? QVariant(true) : QVariant(0)))));
        } else {
            return false;
        }
        return true;
    }
};
}  // namespace

class TestWaylandSession : public QObject {
    Q_OBJECT
    TestEnv env_;
    FakeHttpService service_;
    StandInPortal portal_;
    StandInTrayWatcher tray_;
    QProcess mirvok_;
    QByteArray log_;

    bool looked(const QString& word) const {
        for (const RecordedRequest& r : service_.requestsTo(QStringLiteral("/fsearch")))
            if (r.queryValue(QStringLiteral("q")) == word) return true;
        return false;
    }
    int lookups(const QString& word) const {
        int n = 0;
        for (const RecordedRequest& r : service_.requestsTo(QStringLiteral("/fsearch")))
            n += r.queryValue(QStringLiteral("q")) == word;
        return n;
    }
    QString run(const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The compositor's own view: the mini window is a second window of
    // ours with the application's name, beside the main window.
    bool miniWindowShown() {
        const QString tree = run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")});
        return tree.count(QStringLiteral("\"name\": \"米沃词典\"")) >= 2;
    }
    // The compositor's tree names each top-level by its title; the popup's
    // is the word it shows. Its rectangle, or an empty one when not shown.
    QRect windowNamed(const QString& name) {
        const QByteArray tree = run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8();
        QList<QJsonObject> nodes{QJsonDocument::fromJson(tree).object()};
        while (!nodes.isEmpty()) {
            const QJsonObject n = nodes.takeLast();
            if (n.value(QStringLiteral("name")).toString() == name && n.value(QStringLiteral("visible")).toBool()) {
                const QJsonObject r = n.value(QStringLiteral("rect")).toObject();
                return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
                             r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
            }
            for (const char* key : {"nodes", "floating_nodes"})
                for (const QJsonValue& c : n.value(QLatin1String(key)).toArray()) nodes << c.toObject();
        }
        return {};
    }
    // The popup for `word` is on screen, sized by its page: the compositor
    // shows it and Qt was told it is exposed.
    bool popupShows(const QString& word) {
        const QRect r = windowNamed(word);
        return log_.contains("popup exposed: " + word.toUtf8()) && r.height() > 30 && drawn(r.adjusted(2, 2, -32, -2));
    }
    // The compositor's output has text (dark or coloured pixels on the
    // popup's white) within `r`: the page has painted its result.
    bool drawn(const QRect& r) {
        const QString file = env_.root() + QStringLiteral("/output.png");
        run(QStringLiteral("grim"), {file});
        const QImage shot = QImage(file).copy(r);
        int ink = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                ink += c.red() + c.green() + c.blue() < 450;
            }
        return ink > 50;
    }
    // Screenshots of the compositor's output, kept with the test's files
    // (MIRVOK_SCREENSHOTS names a folder to keep them in).
    void grab(const QString& name) {
        const QString dir = qEnvironmentVariable("MIRVOK_SCREENSHOTS");
        if (dir.isEmpty()) return;
        run(QStringLiteral("grim"), {dir + QLatin1Char('/') + name + QStringLiteral(".png")});
    }
    void startMirvok() {
        log_.clear();
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the session decides
        pe.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("mirvok.*=true"));
        mirvok_.setProcessEnvironment(pe);
        mirvok_.setProcessChannelMode(QProcess::MergedChannels);
        mirvok_.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(mirvok_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("watching accessibility selections"), 90000);
    }
    void stopMirvok() {
        mirvok_.terminate();
        if (!mirvok_.waitForFinished(10000)) mirvok_.kill();
    }
    // A Qt text program of our own on the given platform, ready for commands.
    void startTarget(QProcess& target, const char* platform) {
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
        pe.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        target.setProcessEnvironment(pe);
        target.start(QStringLiteral(CAPTURE_TARGET), {});
        QVERIFY(target.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(target.peek(1 << 16).contains("ready\n"), 60000);
    }

private slots:
    void initTestCase() {
        QVERIFY(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
        QDir().mkpath(env_.configHome() + QStringLiteral("/mirvok"));
        QFile conf(env_.configHome() + QStringLiteral("/mirvok/mirvok.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[General]\nWordStroke=true\nMVServiceHost=%1\n").arg(service_.hostPort()).toUtf8());
        conf.close();
        // Each word answered under its own title, which the popup shows.
        service_.on(QStringLiteral("GET"), QStringLiteral("/fsearch"), [](const RecordedRequest& r) {
            return ScriptedResponse{200,
                                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><mirvodict><return-phrase>"
                                        + r.queryValue(QStringLiteral("q")).toUtf8()
                                        + "</return-phrase><custom-translation><translation><content>n. a test"
                                          "</content></translation></custom-translation></mirvodict>",
                                    "text/xml"};
        });
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject(kPortalPath, &portal_));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        connect(&mirvok_, &QProcess::readyRead, this, [this] { log_ += mirvok_.readAll(); });
        startMirvok();
        QVERIFY2(log_.contains("capture road: wayland"), log_.constData());
    }

    void cleanupTestCase() { stopMirvok(); }

    // Another client's primary selection is looked up once it rests, and
    // made again it is not looked up again.
    void primarySelectionIsLookedUp() {
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("serendipity")});
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("serendipity")), 30000);
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("serendipity")});
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("quixotic")});
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("quixotic")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("primary selection: quixotic"), 5000);
        QCOMPARE(lookups(QStringLiteral("serendipity")), 1);
        QTRY_VERIFY_WITH_TIMEOUT(popupShows(QStringLiteral("quixotic")), 30000);
        grab(QStringLiteral("popup-primary"));
    }

    // The popup goes on the next selection change, and on Escape (it has
    // the keyboard: the compositor focuses a new window).
    void popupHides() {
        QVERIFY(!windowNamed(QStringLiteral("quixotic")).isEmpty());
        // The same selection made again is no change: only the blank one
        // after it hides the popup.
        const qsizetype from = log_.size();
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("quixotic")});
        QTRY_VERIFY_WITH_TIMEOUT(log_.indexOf("primary selection: quixotic", from) > 0, 30000);
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral(" ")});
        QTRY_VERIFY_WITH_TIMEOUT(windowNamed(QStringLiteral("quixotic")).isEmpty(), 30000);
        QTRY_VERIFY(log_.indexOf("primary selection:  \n", from) > 0);
        QVERIFY(!log_.mid(from, log_.indexOf("primary selection:  \n", from) - from).contains("popup hidden"));

        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("zephyr")});
        QTRY_VERIFY_WITH_TIMEOUT(popupShows(QStringLiteral("zephyr")), 30000);
        // The headless seat has no keyboard: one stays while this waits, so
        // the popup has bound it before a key comes; pressed again only
        // while the popup still shows.
        QProcess keyboard;
        keyboard.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("300000")});
        QVERIFY(keyboard.waitForStarted());
        auto escape = [this] {
            run(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Escape")});
            return windowNamed(QStringLiteral("zephyr")).isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(escape(), 30000);
        keyboard.kill();
        keyboard.waitForFinished();
    }

    // A selection in a Wayland-native Qt program, told by the accessibility
    // bus only (Qt sets no primary selection without a user's input), and
    // no key reaches that program.
    void accessibilitySelectionIsLookedUp() {
        QProcess target;
        startTarget(target, "wayland");
        target.write("select 12 17\n");  // "apple"
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("apple")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("accessibility selection: apple"), 5000);
        QVERIFY(!log_.contains("primary selection: apple"));
        QTRY_VERIFY_WITH_TIMEOUT(popupShows(QStringLiteral("apple")), 30000);
        grab(QStringLiteral("popup-accessibility"));
        QVERIFY(!target.readAllStandardOutput().contains("\nkey "));
        target.kill();
        QVERIFY(target.waitForFinished());
    }

    // An X client's selection, through Xwayland.
    void xwaylandSelectionIsLookedUp() {
        QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
        QProcess target;
        startTarget(target, "xcb");
        target.write("primary lighthouse\n");
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("lighthouse")), 30000);
        QVERIFY(!target.readAllStandardOutput().contains("\nkey "));
        target.kill();
        QVERIFY(target.waitForFinished());
    }

    // The shortcut the desktop bound through the portal opens the mini
    // window (its activation token, unknown to the compositor, changes
    // nothing there).
    void portalShortcutOpensTheMiniWindow() {
        // The mini window's stored combination: key code 6 with the option flag.
        QTRY_VERIFY_WITH_TIMEOUT(portal_.bound.contains(QStringLiteral("mirvok-6-524288")), 30000);
        QVERIFY(!miniWindowShown());
        QDBusMessage activated = QDBusMessage::createSignal(kPortalPath, kShortcuts, QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(portal_.session)) << QStringLiteral("mirvok-6-524288")
                  << quint64(0) << QVariantMap{{QStringLiteral("activation_token"), QStringLiteral("stand-in")}};
        QVERIFY(QDBusConnection::sessionBus().send(activated));
        QTRY_VERIFY2_WITH_TIMEOUT(log_.contains("shortcut activated: mirvok-6-524288"), log_.constData(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(miniWindowShown(),
                                 30000);
        grab(QStringLiteral("mini-window"));
    }

    // Without a portal the desktop's own shortcut runs the D-Bus call the
    // preferences show: it closes the mini window the portal test opened,
    // and opens it again.
    void dbusCallTogglesTheMiniWindow() {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"),
                                                           QStringLiteral("com.mirvok.Dict"), QStringLiteral("MiniWindow"));
        QVERIFY(miniWindowShown());
        QCOMPARE(QDBusConnection::sessionBus().call(call).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(!miniWindowShown(), 30000);
        QCOMPARE(QDBusConnection::sessionBus().call(call).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(miniWindowShown(), 30000);
    }

    // The tests above ran without a tray; started where a StatusNotifierItem
    // watcher runs, the icon registers with it.
    void trayIconRegistersWithAWatcher() {
        stopMirvok();
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &tray_));
        QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        startMirvok();
        QTRY_VERIFY_WITH_TIMEOUT(!tray_.items.isEmpty(), 30000);
        QCOMPARE(qint64(bus.interface()->servicePid(tray_.items.first()).value()), mirvok_.processId());
    }
};

QTEST_GUILESS_MAIN(TestWaylandSession)
#include "tst_wayland_session.moc"
