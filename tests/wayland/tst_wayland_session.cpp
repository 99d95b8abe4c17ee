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
#include <csignal>

namespace {
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// The shortcuts of a{sv}'s "shortcuts" or BindShortcuts' list: ids, and the
// triggers asked for.
void readShortcuts(const QDBusArgument& list, QStringList* ids, QStringList* triggers) {
    list.beginArray();
    while (!list.atEnd()) {
        QString id;
        QVariantMap props;
        list.beginStructure();
        list >> id >> props;
        list.endStructure();
        *ids << id;
        *triggers << props.value(QStringLiteral("preferred_trigger")).toString();
    }
    list.endArray();
}

// org.freedesktop.portal.Desktop with GlobalShortcuts only: answers each
// request through its Request object's Response, records what was bound and
// every trigger it was asked for, and counts sessions and binds.
class StandInPortal : public QDBusVirtualObject {
public:
    QString session;
    QStringList bound;
    QStringList asked;
    int sessions = 0;
    int binds = 0;

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
            ++sessions;
            // Passed by, as a portal that binds only through BindShortcuts
            // does; what it asks for still counts.
            QStringList ignored;
            if (options.contains(QStringLiteral("shortcuts")))
                readShortcuts(options.value(QStringLiteral("shortcuts")).value<QDBusArgument>(), &ignored, &asked);
        } else if (m.member() == QLatin1String("BindShortcuts")) {
            options = qdbus_cast<QVariantMap>(m.arguments().value(3));
            readShortcuts(m.arguments().value(1).value<QDBusArgument>(), &bound, &asked);
            ++binds;
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
    // What the compositor says: the pid of the window with the keyboard
    // focus, and the id of a visible window of `pid` named `name`.
    QList<QJsonObject> windows() {
        const QByteArray tree = run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8();
        QList<QJsonObject> nodes{QJsonDocument::fromJson(tree).object()}, out;
        while (!nodes.isEmpty()) {
            const QJsonObject n = nodes.takeLast();
            if (n.contains(QStringLiteral("pid"))) out << n;
            for (const char* key : {"nodes", "floating_nodes"})
                for (const QJsonValue& c : n.value(QLatin1String(key)).toArray()) nodes << c.toObject();
        }
        return out;
    }
    qint64 focusedPid() {
        for (const QJsonObject& w : windows())
            if (w.value(QStringLiteral("focused")).toBool()) return w.value(QStringLiteral("pid")).toInteger();
        return 0;
    }
    bool focus(qint64 pid) {
        for (const QJsonObject& w : windows())
            if (w.value(QStringLiteral("pid")).toInteger() == pid && w.value(QStringLiteral("visible")).toBool()) {
                run(QStringLiteral("swaymsg"), {QStringLiteral("[con_id=%1] focus").arg(w.value(QStringLiteral("id")).toInteger())});
                return focusedPid() == pid;
            }
        return false;
    }
    // Mirvok's own selection watch: its wl-paste child, 0 when none runs.
    qint64 watchChild() {
        const QString out = run(QStringLiteral("pgrep"), {QStringLiteral("-P"), QString::number(mirvok_.processId()),
                                                          QStringLiteral("-x"), QStringLiteral("wl-paste")});
        return out.split(u'\n', Qt::SkipEmptyParts).value(0).toLongLong();
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
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("primary selection: quixotic"), 30000);
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
        QTRY_VERIFY_WITH_TIMEOUT(log_.indexOf("primary selection:  \n", from) > 0, 30000);
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

    // The word its popup showed, selected again after Escape closed that
    // popup, is a new selection; reported again while it shows, it was not.
    void sameWordAgainAfterEscapeIsLookedUp() {
        QCOMPARE(lookups(QStringLiteral("zephyr")), 1);
        QVERIFY(windowNamed(QStringLiteral("zephyr")).isEmpty());
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("zephyr")});
        QTRY_COMPARE_WITH_TIMEOUT(lookups(QStringLiteral("zephyr")), 2, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(popupShows(QStringLiteral("zephyr")), 30000);
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral(" ")});
        QTRY_VERIFY_WITH_TIMEOUT(windowNamed(QStringLiteral("zephyr")).isEmpty(), 30000);
    }

    // A selection in a Wayland-native Qt program, told by the accessibility
    // bus only (Qt sets no primary selection without a user's input), and
    // no key reaches that program.
    void accessibilitySelectionIsLookedUp() {
        QProcess target;
        startTarget(target, "wayland");
        target.write("select 12 17\n");  // "apple"
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("apple")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("accessibility selection: apple"), 30000);
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

    // Only the shortcuts the preferences define are global: the main
    // window's zoom keys are never asked of the portal.
    void onlyThePreferencesShortcutsAreAskedFor() {
        QTRY_VERIFY_WITH_TIMEOUT(portal_.bound.contains(QStringLiteral("mirvok-6-524288")), 30000);
        QStringList triggers = portal_.asked;
        triggers.removeDuplicates();
        triggers.sort();
        QCOMPARE(triggers, QStringList({QStringLiteral("ALT+z"), QStringLiteral("CTRL+ALT+x")}));
    }

    // Focus going back and forth between Mirvok and another program binds
    // nothing again; a portal that starts again gets a new session, bound
    // once.
    void shortcutsAreBoundOncePerSession() {
        QTRY_COMPARE_WITH_TIMEOUT(portal_.binds, 1, 30000);
        QProcess target;
        startTarget(target, "wayland");
        QTRY_VERIFY_WITH_TIMEOUT(focusedPid() == target.processId(), 30000);
        for (int i = 0; i < 3; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(focus(mirvok_.processId()), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(focus(target.processId()), 30000);
        }
        target.kill();
        QVERIFY(target.waitForFinished());
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QTRY_COMPARE_WITH_TIMEOUT(portal_.sessions, 2, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(portal_.binds, 2, 30000);
        QVERIFY(log_.contains("shortcuts bound:"));
        QCOMPARE(portal_.binds, 2);
    }

    // The selection watch that ends (here: its child killed) comes back.
    void selectionWatchComesBack() {
        qint64 child = 0;
        QTRY_VERIFY_WITH_TIMEOUT((child = watchChild()) > 0, 30000);
        const qsizetype from = log_.size();
        QCOMPARE(::kill(pid_t(child), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(log_.indexOf("primary selection watch ended", from) > 0, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(watchChild() > 0 && watchChild() != child, 30000);
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("afterlife")});
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("afterlife")), 30000);
    }

    // A selection that was there before Mirvok started is not looked up;
    // the first one made after is.
    void selectionMadeBeforeStartIsNotLookedUp() {
        stopMirvok();
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("beforehand")});
        startMirvok();
        QTRY_VERIFY_WITH_TIMEOUT(log_.contains("primary selection watch: first report"), 30000);
        run(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("afterwards")});
        QTRY_VERIFY_WITH_TIMEOUT(looked(QStringLiteral("afterwards")), 30000);
        // Offered as a selection it would have been said so at once, long
        // before the next one was looked up.
        QVERIFY(!log_.contains("primary selection: beforehand"));
        QVERIFY(!looked(QStringLiteral("beforehand")));
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
