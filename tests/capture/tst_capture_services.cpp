#include "capture/CaptureShell.h"
#include "platform/hotkeys/HotkeyCenter.h"
#include "platform/SingleInstance.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "support/TestEnv.h"
#include "window/FrameWndController.h"
#include "window/ShellServices.h"
#include "../window/ShellFakes.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>

// The desktop's Query command end to end: a call from another bus
// connection, the single-instance object, the capture shell's provider and
// the main window controller (with page doubles).
class CaptureServicesTest : public QObject {
    Q_OBJECT

    QDBusMessage call(const QString& text, const QString& userData) {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
        QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"),
                                                        QStringLiteral("com.mirvok.Dict"), QStringLiteral("Query"));
        m << text << userData;
        return other.call(m, QDBus::BlockWithGui, 3000);
    }

private slots:
    void queryLooksUpInTheMainWindowAndLeavesTheClipboardAlone() {
        TestEnv env;
        FakeHotkeyCenter hotkeys;
        HotkeyCenter::setShared(&hotkeys);
        FakeWordBook wordBook;
        ShellServices::setWordBook(&wordBook);
        auto* lookup = new FakeLookupPage;
        auto* fanyi = new FakeTranslationPage;
        CaptureShell shell;
        SingleInstance instance;
        QVERIFY(instance.claim());
        connect(&instance, &SingleInstance::queryRequested, this,
                [&shell](const QString& t, const QString& u) { shell.serviceQuery(t, u); });
        {
            FrameWndController frame([=](FrameWndController*) { return FrameWndController::Pages{lookup, fanyi}; });
            DictUtils::setAppDelegate(&frame);
            frame.awakeFromNib();
            QGuiApplication::clipboard()->setText(QStringLiteral("the user's own"));

            // Before the start-up registers the provider, nothing happens.
            QCOMPARE(call(QStringLiteral("early"), QStringLiteral("q")).type(), QDBusMessage::ReplyMessage);
            QVERIFY(!frame.window()->isVisible());
            shell.registerServiceProvider();

            QCOMPARE(call(QStringLiteral("banana"), QStringLiteral("d")).type(), QDBusMessage::ReplyMessage);
            QVERIFY(!lookup->calls.join(u',').contains(QStringLiteral("banana")));
            QVERIFY(!UserDefaults::standard().contains(query_word));
            QVERIFY(!frame.window()->isVisible());

            QCOMPARE(call(QStringLiteral("apple"), QStringLiteral("q")).type(), QDBusMessage::ReplyMessage);
            QTRY_VERIFY(frame.window()->isVisible());
            QVERIFY(lookup->calls.contains(QStringLiteral("doQuery:apple:NO")));
            QCOMPARE(UserDefaults::standard().stringValue(query_word), QStringLiteral("apple"));
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("the user's own"));

            // A hundred kilobytes: one lookup's worth is looked up and kept.
            QString big = QStringLiteral("pear ").repeated(20 * 1024);
            QCOMPARE(call(big, QStringLiteral("q")).type(), QDBusMessage::ReplyMessage);
            const QString kept = QStringLiteral("pear ").repeated(10).left(49).trimmed();
            QTRY_VERIFY(lookup->calls.contains(QStringLiteral("doQuery:%1:NO").arg(kept)));
            QCOMPARE(UserDefaults::standard().stringValue(query_word), kept);
            DictUtils::setAppDelegate(nullptr);
        }
        delete lookup;
        delete fanyi;
        ShellServices::setWordBook(nullptr);
        HotkeyCenter::setShared(nullptr);
    }
};

QTEST_MAIN(CaptureServicesTest)
#include "tst_capture_services.moc"
