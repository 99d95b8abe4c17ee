// The desktop's colour scheme from a stand-in desktop portal on the test's
// own session bus: read at start, followed live, into the palette and into a
// real page's <html> class. Nothing in this process uses the bus's variant
// type before the scheme subscribes, as in the application.
#include "support/TestEnv.h"

#include "platform/ColorScheme.h"
#include "window/MVAlertWndController.h"
#include "window/SuggestWndController.h"
#include "window/pages/WebPageHost.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

namespace {
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// The stand-in portal, another process on the test's session bus.
class Portal {
public:
    explicit Portal(uint scheme)
    {
        process_.start(QStringLiteral(STAND_IN_PORTAL), {QString::number(scheme)});
        ready_ = process_.waitForReadyRead(10000) && process_.readLine().trimmed() == "ready";
    }
    ~Portal()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    bool isReady() const { return ready_; }
    void change(uint scheme, const QString& key = kKey)
    {
        process_.write(QStringLiteral("%1 %2\n").arg(key).arg(scheme).toLatin1());
        process_.waitForBytesWritten(5000);
    }

private:
    QProcess process_;
    bool ready_ = false;
};

// Hears the portal's signals on the connection the scheme listens on.
class SettingCounter : public QObject {
    Q_OBJECT
public:
    int seen = 0;
public Q_SLOTS:
    void count(const QString&, const QString&, const QDBusVariant&) { ++seen; }
};

bool pageIsDark(WebPageHost& host)
{
    bool done = false, dark = false;
    host.runScript(QStringLiteral("document.documentElement.classList.contains('dark')"), [&](const QVariant& v) {
        dark = v.toBool();
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 10000);
    return dark;
}

// How light the widget draws a few pixels in from its top-left corner.
int lightnessNearCorner(QWidget* w)
{
    return w->grab().toImage().pixelColor(6, 6).lightness();
}
}  // namespace

class TestColorScheme : public QObject {
    Q_OBJECT
private slots:
    void followsThePortalLive()
    {
        TestEnv env;
        const QColor platformWindow = QApplication::palette().color(QPalette::Window);
        QVERIFY2(platformWindow.lightness() >= 128, "the test platform's palette is light");
        Portal portal(1);
        QVERIFY(portal.isReady());

        WebPageHost host;
        host.view()->resize(400, 300);
        host.loadResourcePage(QStringLiteral("result.html"));
        QSignalSpy changes(&ColorScheme::shared(), &ColorScheme::changed);
        ColorScheme::shared().start();
        QTRY_VERIFY_WITH_TIMEOUT(ColorScheme::shared().isDark(), 10000);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(QApplication::palette().color(QPalette::Window), ColorScheme::darkPalette().color(QPalette::Window));
        QTRY_VERIFY_WITH_TIMEOUT(pageIsDark(host), 15000);

        // The user switches the desktop to light: everything follows at once.
        portal.change(2);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 2, 10000);
        QVERIFY(!ColorScheme::shared().isDark());
        QCOMPARE(QApplication::palette().color(QPalette::Window), platformWindow);
        QTRY_VERIFY_WITH_TIMEOUT(!pageIsDark(host), 15000);
        // A page loaded now starts light, and in the dark again once switched.
        portal.change(1);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 3, 10000);
        host.loadResourcePage(QStringLiteral("firstpage.html"));
        QTRY_VERIFY_WITH_TIMEOUT(pageIsDark(host), 15000);

        // No preference: the platform's palette decides (light here).
        portal.change(0);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 4, 10000);
        QVERIFY(!ColorScheme::shared().isDark());
        // Another setting of the portal changes nothing: the change sent
        // after it on the same connection is the only one heard.
        SettingCounter heard;
        QVERIFY(QDBusConnection::sessionBus().connect(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"), &heard,
            SLOT(count(QString,QString,QDBusVariant))));
        portal.change(1, QStringLiteral("accent-color"));
        portal.change(2);
        portal.change(1);
        QTRY_COMPARE_WITH_TIMEOUT(heard.seen, 3, 10000);
        QVERIFY(ColorScheme::shared().isDark());
        QCOMPARE(changes.size(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(pageIsDark(host), 15000);
    }

    // Windows that draw fixed colours of their own switch with the scheme too.
    void fixedColourWindowsFollow()
    {
        TestEnv env;
        Portal portal(2);
        QVERIFY(portal.isReady());
        ColorScheme::shared().start();
        portal.change(2);
        QTRY_VERIFY_WITH_TIMEOUT(!ColorScheme::shared().isDark(), 10000);
        MVAlertWndController alert(QStringLiteral("删除这个分组？"), QString(), false, {}, false, {});
        QWidget* suggestions = SuggestWndController::sharedInstance().noLayeredView();
        suggestions->resize(200, 60);
        QVERIFY(lightnessNearCorner(alert.leftButton()) > 200);
        QVERIFY(lightnessNearCorner(suggestions) > 200);

        portal.change(1);
        QTRY_VERIFY_WITH_TIMEOUT(ColorScheme::shared().isDark(), 10000);
        QVERIFY(lightnessNearCorner(alert.window()) < 80);
        QVERIFY(lightnessNearCorner(alert.leftButton()) < 80);
        QVERIFY(lightnessNearCorner(suggestions) < 80);
    }

    void portalValuesReadAsPreferences()
    {
        QCOMPARE(ColorScheme::preferenceOf(QVariant(1u)), 1);
        QCOMPARE(ColorScheme::preferenceOf(QVariant(2u)), 2);
        // Read() of the first interface version answers the value wrapped twice.
        QCOMPARE(ColorScheme::preferenceOf(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u))))), 1);
        QCOMPARE(ColorScheme::preferenceOf(QVariant(0u)), 0);
        QCOMPARE(ColorScheme::preferenceOf(QVariant(7u)), 0);
        QCOMPARE(ColorScheme::preferenceOf(QVariant(QStringLiteral("dark"))), 0);
    }
};

QTEST_MAIN(TestColorScheme)
#include "tst_color_scheme.moc"
