#include "capture/x11/CaptureReader.h"
#include "capture/CaptureText.h"
#include "capture/ScreenTransController.h"
#include "capture/WordStrokeQueryController.h"
#include "platform/AccessibilityTrust.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"
#include "support/capture/TargetProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {
class Target : public TargetProcess {
public:
    Target() : TargetProcess(QStringLiteral(CAPTURE_TARGET)) {}
    bool ready() { return waitFor(QStringLiteral("ready")); }
};

void movePointer(const QPoint& p) {
    Display* d = XOpenDisplay(nullptr);
    XTestFakeMotionEvent(d, -1, p.x(), p.y(), CurrentTime);
    XFlush(d);
    XCloseDisplay(d);
    QTest::qWait(50);
}

AtspiReader::Around readAround(const QPoint& at, qint64* elapsedMs = nullptr) {
    AtspiReader::Around got;
    bool done = false;
    QObject ctx;
    QElapsedTimer t;
    t.start();
    CaptureReader::shared().textAround(at, &ctx, [&](const AtspiReader::Around& a) {
        got = a;
        done = true;
    });
    guitest::spinUntil([&] { return done; }, 5000);
    if (elapsedMs) *elapsedMs = t.elapsed();
    return got;
}
}  // namespace

class CaptureHoverTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        QVERIFY(accessibility::setEnabled(true));
    }

    // The window and the pointer's offset in it survive an emoji (two
    // UTF-16 units) and a full-width question mark before the word.
    void textAroundThePointer() {
        Target t;
        QVERIFY(t.ready());
        const QPoint apple = t.word(QStringLiteral("apple"));
        movePointer(apple);
        const AtspiReader::Around a = readAround(apple);
        QVERIFY(a.ok);
        QVERIFY2(a.text.startsWith(QString::fromUtf8("one \xF0\x9F\x98\x80 two\xEF\xBC\x9F apple")), qPrintable(a.text));
        const capturetext::Around clean = capturetext::cleanAround(a.text, a.offset);
        const auto [s, e] = WordStrokeQueryController::wordAround(clean.text, clean.offset);
        QCOMPARE(clean.text.mid(s, e - s), QStringLiteral("apple"));

        // Far into a long line: 20 characters each side.
        const QPoint far = t.word(QStringLiteral("Xaaaa"));
        const AtspiReader::Around b = readAround(far + QPoint(400, 0));
        QVERIFY(b.ok);
        QCOMPARE(b.offset, 20);
        QCOMPARE(b.text.size(), 41);
    }

    // Nothing is read from other applications unless a lookup will follow:
    // the switch is on and the chosen modifier is held.
    void switchAndModifierAreCheckedFirst() {
        ScreenTransController c;
        QPointF pointer(300, 300);
        c.setPointerFunction([&] { return pointer; });
        int reads = 0;
        c.setTextReader([&](const QPoint&, QObject*, std::function<void(const AtspiReader::Around&)>) { ++reads; });
        auto rest = [&] {
            pointer += QPointF(7, 0);
            c.tick();  // moved
            c.tick();  // resting: capture
        };
        UserDefaults::standard().setValue(ScreenTrans, false);
        rest();
        QCOMPARE(reads, 0);
        UserDefaults::standard().setValue(ScreenTrans, true);
        UserDefaults::standard().setValue(ScreenTransModifier, 4);  // Shift, not held
        rest();
        QCOMPARE(reads, 0);
        UserDefaults::standard().setValue(ScreenTransModifier, 0);
        rest();
        QCOMPARE(reads, 1);
        c.tick();  // still resting: handled already
        QCOMPARE(reads, 1);
        // A double click at the spot suppresses the capture there.
        MouseMonitorEvent e;
        e.eventType = MouseMonitorEvent::DoubleClick;
        pointer += QPointF(7, 0);
        c.tick();
        c.onMouseEvent(e);
        c.tick();
        QCOMPARE(reads, 1);
    }

    // End to end: a resting pointer looks its word up with its position.
    void restingPointerLooksUpWithPosition() {
        FakeHttpService svc;
        svc.on(QStringLiteral("GET"), QStringLiteral("/fsearch"), ScriptedResponse(200, "<mirvodict/>", "text/xml"));
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        UserDefaults::standard().setValue(MVServiceHost, svc.hostPort());
        UserDefaults::standard().setValue(ScreenTrans, true);
        UserDefaults::standard().setValue(ScreenTransModifier, 0);
        Target t;
        QVERIFY(t.ready());
        movePointer(t.word(QStringLiteral("banana")));
        ScreenTransController c;
        c.tick();
        c.tick();
        QVERIFY(svc.waitForRequests(1, 5000));
        const RecordedRequest r = svc.requests().back();
        QCOMPARE(r.queryValue(QStringLiteral("keyfrom")), QStringLiteral("mac.scrtrans.0"));
        const QString q = r.queryValue(QStringLiteral("q"));
        const int pos = r.queryValue(QStringLiteral("pos")).toInt();
        const auto [s, e] = WordStrokeQueryController::wordAround(q, pos);
        QCOMPARE(q.mid(s, e - s), QStringLiteral("banana"));
        QVERIFY(!q.contains(QChar(0xFF1F)));
    }

    // A stopped application is given up on quickly, and the interface
    // keeps running meanwhile.
    void stoppedTargetIsGivenUp() {
        Target t;
        QVERIFY(t.ready());
        const QPoint apple = t.word(QStringLiteral("apple"));
        movePointer(apple);
        QVERIFY(readAround(apple).ok);
        ::kill(pid_t(t.pid()), SIGSTOP);
        QElapsedTimer gap;
        qint64 worst = 0;
        QTimer ticker;
        ticker.setInterval(10);
        gap.start();
        connect(&ticker, &QTimer::timeout, [&] {
            worst = qMax(worst, gap.restart());
        });
        ticker.start();
        qint64 took = 0;
        const AtspiReader::Around a = readAround(apple, &took);
        ticker.stop();
        QVERIFY(!a.ok);
        QVERIFY2(took < 600, qPrintable(QString::number(took)));
        QVERIFY2(worst < 100, qPrintable(QString::number(worst)));
        ::kill(pid_t(t.pid()), SIGCONT);
    }
};

QTEST_MAIN(CaptureHoverTest)
#include "tst_capture_hover.moc"
