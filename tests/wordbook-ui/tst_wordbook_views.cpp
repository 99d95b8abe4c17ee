// The sync button's turn and a row's hover look.
#include "window/views/MVClickableView.h"
#include "wordbook-ui/MVWordBookCellBackView.h"
#include "wordbook-ui/WBAnimationManager.h"

#include <QLabel>
#include <QTest>
#include <QVariantAnimation>

class TestWordBookViews : public QObject {
    Q_OBJECT
    qint64 now_ = 0;

    void setUp(WBAnimationManager& m, MVClickableView& button)
    {
        button.resize(20, 20);
        auto* image = new QLabel(&button);
        image->resize(20, 20);
        button.setImageView(image);
        m.setSyncBtn(&button, QStringLiteral("img_wordbook_sync_normal_icon"));
        m.setClock([this] { return now_; });
    }

private slots:
    void stopEndsTheTurnOnTheWholeSecond()
    {
        WBAnimationManager m;
        MVClickableView button;
        setUp(m, button);
        now_ = 10'000;
        m.startSyncAnimation();
        QVERIFY(!m.isAnimating());  // queued to the main thread
        QTRY_VERIFY(m.isAnimating());
        now_ = 12'300;
        m.stopSyncAnimation();
        QTRY_VERIFY(m.hasPendingStop());
        QCOMPARE(m.lastStopDelayMs(), 700);
        QTest::qWait(350);
        QVERIFY(m.isAnimating());
        QTRY_VERIFY_WITH_TIMEOUT(!m.isAnimating(), 1500);
        QCOMPARE(m.currentAngle(), 0.0);  // upright

        m.startSyncAnimation();
        QTRY_VERIFY(m.isAnimating());
        now_ += 3000;
        m.stopSyncAnimation();
        QTRY_VERIFY(m.hasPendingStop());
        QCOMPARE(m.lastStopDelayMs(), 1000);
    }

    void twoStartsLeaveOneAnimation()
    {
        WBAnimationManager m;
        MVClickableView button;
        setUp(m, button);
        now_ = 0;
        m.startSyncAnimation();
        now_ = 400;
        m.startSyncAnimation();
        QTRY_VERIFY(m.isAnimating());
        QCOMPARE(m.findChildren<QVariantAnimation*>().size(), 1);
        now_ = 900;  // the cycle restarted at the second start
        m.stopSyncAnimation();
        QTRY_VERIFY(m.hasPendingStop());
        QCOMPARE(m.lastStopDelayMs(), 500);
    }

    void startDuringPendingStopKeepsTurning()
    {
        WBAnimationManager m;
        MVClickableView button;
        setUp(m, button);
        now_ = 0;
        m.startSyncAnimation();
        now_ = 500;
        m.stopSyncAnimation();
        m.startSyncAnimation();
        QTRY_VERIFY(m.isAnimating());
        QVERIFY(!m.hasPendingStop());
        QTest::qWait(700);
        QVERIFY(m.isAnimating());
        // The turn passes through the five key values, half a turn a second.
        double largest = 0;
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(20);
            largest = std::max(largest, m.currentAngle());
        }
        QVERIFY(largest > 0 && largest <= 180.0);
    }

    void rowLookFadesAndStays()
    {
        MVWordBookCellBackView back;
        const QColor to(0, 0, 0, 20);
        back.changeHoveredColorFrom(Qt::white, to, 0.1);
        QTRY_COMPARE(back.backgroundColor(), to);
        QTest::qWait(150);
        QCOMPARE(back.backgroundColor(), to);
        back.changeMoreButtonImageViewWithName("img_wordbook_more_pressed_icon", 0.1);
        QCOMPARE(back.previousMoreImage(), QStringLiteral("img_wordbook_more_normal_icon"));
        QVERIFY(back.moreFade() < 1.0);
        QTRY_COMPARE(back.moreFade(), 1.0);
        QVERIFY(back.previousMoreImage().isEmpty());
        QCOMPARE(back.moreImage(), QStringLiteral("img_wordbook_more_pressed_icon"));
    }
};

QTEST_MAIN(TestWordBookViews)
#include "tst_wordbook_views.moc"
