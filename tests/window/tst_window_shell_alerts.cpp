// Alerts, the quit guard while the word book synchronises, and the HUD's
// timeline (offscreen).
#include "ShellFixture.h"

#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "window/PreferencePanelController.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QTest>

class TestWindowShellAlerts : public ShellFixture {
    Q_OBJECT
private slots:
    void init() { setUpShell(); }
    void cleanup() { tearDownShell(); }

    void alertKeysAndButtons() {
        int left = 0, right = 0;
        MVAlertWndController alert(QStringLiteral("m"), QStringLiteral("t"), true, [&] { ++left; }, true,
                                   [&] { ++right; });
        QVERIFY(alert.leftButton()->isHidden());
        alert.showWindow();
        // Return and keypad Enter press the right button even when it is hidden.
        QTest::keyClick(alert.window(), Qt::Key_Return);
        QTest::keyClick(alert.window(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(right, 2);
        // Escape answers nothing and leaves the alert up.
        QTest::keyClick(alert.window(), Qt::Key_Escape);
        QVERIFY(alert.window()->isVisible());
        QCOMPARE(left + right, 2);
        alert.setShowLeftButton(false);
        alert.changeLeftButtonTitle(QStringLiteral("取消"));
        alert.leftButton()->click();
        QCOMPARE(left, 1);
        QCOMPARE(alert.leftButton()->text(), QStringLiteral("取消"));
        alert.setTitle(QString());
        QCOMPARE(alert.window()->windowTitle(), QStringLiteral("米沃词典"));
        alert.hideWindow();
        QCOMPARE(MVAlertWndController::centredOrigin(QRect(100, 100, 400, 300), QSize(200, 100)),
                 QPoint(200, 200));
        QCOMPARE(MVAlertWndController::centredOrigin(QRect(100, 100, 100, 100), QSize(200, 200)),
                 QPoint(50, 50));
    }

    void quitGuardAsksOnlyWhileSyncing() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        QSignalSpy quit(frame.get(), &FrameWndController::quitConfirmed);
        // The application's quit closes the windows one by one and stops at
        // the first refusal, leaving any open panel and the program running:
        // once the quit is confirmed the main window accepts its close.
        frame->window()->show();
        QVERIFY(!frame->window()->close());
        frame->requestQuit();
        QCOMPARE(quit.size(), 1);
        QVERIFY(frame->window()->close());
        frame->window()->setQuitting(false);

        wordBook.syncing = true;
        frame->requestQuit();
        auto& alert = MVAlertWndController::sharedInstance();
        QVERIFY(alert.window()->isVisible());
        QCOMPARE(alert.window()->windowTitle(), QStringLiteral("确定退出米沃词典？"));
        alert.leftButton()->click();  // 取消
        QVERIFY(!alert.window()->isVisible());
        QCOMPARE(quit.size(), 1);
        QVERIFY(!frame->shouldTeminatedApp());

        frame->requestQuit();
        // The alert holds the whole application until it is answered.
        QCOMPARE(alert.window()->windowModality(), Qt::ApplicationModal);
        QCOMPARE(QApplication::activeModalWidget(), alert.window());
        frame->window()->show();
        field()->clear();
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_A);
        QCOMPARE(field()->text(), QString());
        QTest::keyClick(alert.window(), Qt::Key_Return);  // 确定
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_A);
        QCOMPARE(field()->text(), QStringLiteral("a"));  // answered: typing reaches the window again
        // Ctrl+, opens the preferences: the platform's own key is unbound here.
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_Comma, Qt::ControlModifier);
        QVERIFY(frame->preferencePanelController().window()->isVisible());
        frame->preferencePanelController().window()->hide();
        QCOMPARE(quit.size(), 2);
        QVERIFY(frame->shouldTeminatedApp());
        QVERIFY(!alert.window()->isVisible());
    }

    void hudTimelineWithFakeClock() {
        QCOMPARE(MVHUDWndController::opacityAt(0, 0), 1.0);
        QCOMPARE(MVHUDWndController::opacityAt(299, 0), 1.0);
        QCOMPARE(MVHUDWndController::opacityAt(550, 0), 0.5);
        QVERIFY(MVHUDWndController::opacityAt(800, 0) < 0);
        QCOMPARE(MVHUDWndController::opacityAt(100, 200), 0.5);

        qint64 now = 1000;
        MVHUDWndController hud;
        hud.setClock([&now] { return now; });
        hud.showHUDWithMessage(QStringLiteral("已添加"), 0.2);
        QVERIFY(hud.window()->isVisible());
        QCOMPARE(hud.messageLabel()->text(), QStringLiteral("已添加"));
        now += 400;
        hud.tick();
        QCOMPARE(hud.window()->windowOpacity(), 1.0);
        // A new message replaces the pending one and restarts the sequence.
        hud.showHUDWithMessage(QStringLiteral("已删除"), 0.2);
        now += 700;
        hud.tick();
        QVERIFY(hud.window()->isVisible());
        QCOMPARE(hud.messageLabel()->text(), QStringLiteral("已删除"));
        now += 400;
        hud.tick();
        QVERIFY(!hud.window()->isVisible());  // hidden after the fade
        QVERIFY(!hud.isRunning());
    }
};

QTEST_MAIN(TestWindowShellAlerts)
#include "tst_window_shell_alerts.moc"
