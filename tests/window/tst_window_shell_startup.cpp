// Start-up defaults, the hotkeys the main window registers, the bookkeeping
// when launching has finished, and the addresses it formats (offscreen).
#include "ShellFixture.h"

#include "query/AppConstants.h"

#include <QTest>

class TestWindowShellStartup : public ShellFixture {
    Q_OBJECT
private slots:
    void init() { setUpShell(); }
    void cleanup() { tearDownShell(); }

    void defaultsFirstUseThenEveryStart() {
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        QCOMPARE(d.integerValue(HideWindowCode), 7);
        QCOMPARE(d.integerValue(HideWindowFlags), 0x180000);
        QCOMPARE(d.integerValue(ScreenTransCode), 100);
        QCOMPARE(d.integerValue(WordStrokeFlags), 0);
        QVERIFY(d.boolValue(NotFirstUse));
        // A user's own combination survives the next start; the zoom and
        // mini-search values are put back every time.
        d.setValue(HideWindowCode, 40);
        d.setValue(ScreenTransFlags, 0x100000);
        d.setValue(MVWebViewZoomOutKey, 3);
        d.setValue(MVMiniSearchCodeFlagsKey, 0);
        env->restart();
        FrameWndController::initializeDefaults();
        auto& d2 = UserDefaults::standard();
        QCOMPARE(d2.integerValue(HideWindowCode), 40);
        QCOMPARE(d2.integerValue(ScreenTransFlags), 0x100000);
        QCOMPARE(d2.integerValue(MVWebViewZoomOutKey), 27);
        QCOMPARE(d2.integerValue(MVWebViewZoomInKey), 24);
        QCOMPARE(d2.integerValue(MVMiniSearchCodeFlagsKey), 0x80000);
    }

    void firstStartRegistersOnlyHotkeysWithModifiers() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->registerHotKey();
        QVERIFY(hotkeys.isRegistered(7, 0x180000));
        QVERIFY(hotkeys.isRegistered(6, kOpt));
        QCOMPARE(hotkeys.registered.size(), size_t(2));  // F8 and F7 have no modifier
    }

    void unusableStoredHotkeysRegisterNothing_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("flags");
        QTest::newRow("code 0") << 0 << 0x100000;
        QTest::newRow("code -1") << -1 << 0x100000;
        QTest::newRow("flags 0") << 7 << 0;
    }
    void unusableStoredHotkeysRegisterNothing() {
        QFETCH(int, code);
        QFETCH(int, flags);
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        d.setValue(HideWindowCode, code);
        d.setValue(HideWindowFlags, flags);
        // Stored flags of the fixed hotkeys only decide whether they register.
        d.setValue(MVMiniSearchCodeFlagsKey, 0x20000);
        makeFrame();
        frame->registerHotKey();
        QCOMPARE(hotkeys.registered.size(), size_t(1));
        QVERIFY(hotkeys.isRegistered(6, kOpt));
    }

    // Zoom is a key of the main window: a global grab would take Ctrl+=
    // and Ctrl+- from every other program.
    void zoomIsAWindowKeyNotAGlobalHotkey() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeChrome();
        frame->registerHotKey();
        QVERIFY(!hotkeys.isRegistered(27, kCmd));
        QVERIFY(!hotkeys.isRegistered(24, kCmd));
        frame->window()->show();
        frame->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame->window()));
        QTest::keyClick(field(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(field(), Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(lookup->calls.filter(QStringLiteral("zoom:")),
                 QStringList({QStringLiteral("zoom:0.9"), QStringLiteral("zoom:1.1")}));
    }

    void launchingFinishedBookkeeping() {
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        d.setValue(loginSuccessType, 2);
        d.setValue(autoLogin, false);
        account.autoLogins = 0;
        makeFrame();
        frame->awakeFromNib();
        frame->applicationDidFinishLaunching();
        QVERIFY(!d.boolValue(MVShowWordStrokeAlertKey));  // no version stored yet
        QVERIFY(!d.stringValue(MVAPPVersionKey).isEmpty());
        QTest::qWait(50);
        QCOMPARE(account.autoLogins.load(), 0);
        // Word book synchronisation address: every value is escaped.
        QCOMPARE(wordBook.calls.size(), 1);
        QVERIFY(wordBook.calls.first().startsWith(
            QStringLiteral("configure:wordbook.db:http://") + site->hostPort() +
            QStringLiteral("/wordbook/api?keyfrom=mac.main&id=")));
        frame->applicationDidFinishLaunching();
        QVERIFY(d.boolValue(MVShowWordStrokeAlertKey));  // same version again
        d.setValue(autoLogin, true);
        frame->applicationDidFinishLaunching();
        QTRY_COMPARE(account.autoLogins.load(), 1);
    }

    void formattedUrlsEscapeEachValue() {
        const QString url = FrameWndController::wordBookSyncUrl(
            QStringLiteral("http://h"), QStringLiteral("AA:BB"), QStringLiteral("Think Pad&x=1"),
            QStringLiteral("S/N#1"), QStringLiteral("12 (bookworm)"));
        // The address is escaped as a whole: ":" and "/" stay, as the
        // service compares them; "&" and "=" would split the query.
        QCOMPARE(url, QStringLiteral("http://h/wordbook/api?keyfrom=mac.main&id=AA:BB&model=Think%20Pad%26x%3D1"
                                     "&deviceid=S/N%231&mid=12%20(bookworm)&requestNum=2000"));
        QVERIFY(FrameWndController::surveyUrl(QStringLiteral("1.0"), QStringLiteral("a&b=c"))
                    .endsWith(QStringLiteral("version=1.0&id=a%26b%3Dc&abTest=2")));
    }
};

QTEST_MAIN(TestWindowShellStartup)
#include "tst_window_shell_startup.moc"
