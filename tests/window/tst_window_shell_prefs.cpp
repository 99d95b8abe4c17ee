// The preferences window: the shortcut recorder, stored choices, the update
// button and pane switches that stay on the screen (offscreen).
#include "ShellFixture.h"

#include "query/AppConstants.h"
#include "query/StartAppControl.h"
#include "window/PreferencePanelController.h"
#include "window/ShortcutRecorder.h"
#include "window/UpdateCheck.h"

#include <QAbstractAnimation>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>
#include <QTest>

class TestWindowShellPrefs : public ShellFixture {
    Q_OBJECT
private slots:
    void init() { setUpShell(); }
    void cleanup() { tearDownShell(); }

    void recorderRefusesUngrabbableCombination() {
        FrameWndController::initializeDefaults();
        auto& d = UserDefaults::standard();
        makeFrame();
        frame->registerHotKey();
        auto& prefs = frame->preferencePanelController();
        hotkeys.refused[{8, kCmd | KeyCodeTable::kShiftFlag}] = true;
        prefs.keyComboDidChange(0, 8, kCmd | KeyCodeTable::kShiftFlag);
        QCOMPARE(d.integerValue(HideWindowCode), 7);
        QCOMPARE(d.integerValue(HideWindowFlags), 0x180000);
        QVERIFY(hotkeys.isRegistered(7, 0x180000));  // the old one is back
        QCOMPARE(prefs.minimizingRecorder()->keyCode(), 7);

        prefs.keyComboDidChange(0, 9, kCmd);
        QCOMPARE(d.integerValue(HideWindowCode), 9);
        QVERIFY(hotkeys.isRegistered(9, kCmd));
        QVERIFY(!hotkeys.isRegistered(7, 0x180000));
        // The new hotkey runs the show-window action.
        frame->window()->hide();
        hotkeys.fire(9, kCmd);
        QTRY_VERIFY(frame->window()->isVisible());

        // A capture hotkey recorded with a modifier registers and toggles capture.
        prefs.keyComboDidChange(1, 100, kOpt);
        QVERIFY(hotkeys.isRegistered(100, kOpt));
        const bool before = d.boolValue(ScreenTrans);
        hotkeys.fire(100, kOpt);
        QTRY_COMPARE(d.boolValue(ScreenTrans), !before);
    }

    void recorderTurnsKeysIntoStoredCodes() {
        ShortcutRecorder rec;
        QSignalSpy spy(&rec, &ShortcutRecorder::keyComboDidChange);
        rec.startRecording();
        rec.recordKey(Qt::Key_Control, Qt::ControlModifier);  // modifiers alone wait
        QCOMPARE(spy.size(), 0);
        rec.recordKey(Qt::Key_X, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 7);
        QCOMPARE(spy.at(0).at(1).toULongLong(), quint64(0x180000));
        rec.startRecording();
        rec.recordKey(Qt::Key_Escape, Qt::NoModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(rec.keyCode(), 7);
        QCOMPARE(KeyCodeTable::codeForQtKey(Qt::Key_F8), 100);
        QCOMPARE(KeyCodeTable::codeForQtKey(Qt::Key_Minus), 27);
        QCOMPARE(KeyCodeTable::x11ModifiersForFlags(0x180000), 0x4u | 0x8u);  // Ctrl + Alt
    }

    void preferencesStoreModifierAndAskForUpdate() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        prefs.modifierMatrix()->button(3)->click();
        QCOMPARE(UserDefaults::standard().integerValue(ScreenTransModifier), 3);
        prefs.changeModifier(7);  // never stored
        QCOMPARE(UserDefaults::standard().integerValue(ScreenTransModifier), 3);
        prefs.autoMinimizeBox()->setChecked(true);
        QVERIFY(UserDefaults::standard().boolValue(MinimizedAfterStart));
        // Launch at login: the default and the session's autostart entry together.
        prefs.autoLaunchBox()->setChecked(true);
        QVERIFY(UserDefaults::standard().boolValue(MVPreferenceAutoLaunch));
        QVERIFY(QFile::exists(StartAppControl::autostartFile()));
        prefs.autoLaunchBox()->setChecked(false);
        QVERIFY(!UserDefaults::standard().boolValue(MVPreferenceAutoLaunch));
        QVERIFY(!StartAppControl::willStartAtLogin(QCoreApplication::applicationFilePath()));
        // The update button runs a real manual check.
        site->clearRequests();
        prefs.updateButton()->click();
        QVERIFY(site->waitForRequests(1));
        QCOMPARE(site->requests().front().path, QStringLiteral("/mac-update/vorlane_update.xml"));
        QVERIFY(!frame->updateCheck().isAutoCheckUpdate());
    }

    void paneSwitchesNeverOverlap() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        prefs.showWindow();
        const int top = prefs.window()->geometry().top();
        prefs.changeToView(1);
        QVERIFY(prefs.isSwitchingPane());
        prefs.changeToView(2);  // the first switch ends at once
        QCOMPARE(prefs.currentPane(), 2);
        int running = 0;
        for (auto* a : prefs.findChildren<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly))
            running += a->state() == QAbstractAnimation::Running;
        QCOMPARE(running, 1);
        QTRY_VERIFY(!prefs.isSwitchingPane());
        QCOMPARE(prefs.window()->geometry().top(), top);
        prefs.changeToView(2);  // already showing: nothing starts
        QVERIFY(!prefs.isSwitchingPane());
        prefs.window()->hide();
    }

    void preferencesStayOnTheScreen() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        const QRect avail = frame->window()->screen()->availableGeometry();
        prefs.showWindow();
        QVERIFY(qAbs(prefs.window()->frameGeometry().center().y() - avail.center().y()) <= 2);
        // Low on the screen, the taller capture pane pushes the window up, whole.
        prefs.window()->move(prefs.window()->x(), avail.bottom() - prefs.window()->height() - 40);
        prefs.changeToView(1);
        QTRY_VERIFY(!prefs.isSwitchingPane());
        QVERIFY(prefs.window()->height() > 300);
        QVERIFY(avail.contains(prefs.window()->frameGeometry()));
        prefs.window()->hide();
        QCOMPARE(PreferencePanelController::fitOnScreen(QRect(0, 700, 100, 200), QRect(0, 0, 800, 800)),
                 QRect(0, 600, 100, 200));
    }
};

QTEST_MAIN(TestWindowShellPrefs)
#include "tst_window_shell_prefs.moc"
