#include "capture/x11/CaptureReader.h"
#include "capture/CaptureShell.h"
#include "capture/MouseMonitor.h"
#include "capture/ScrTransController.h"
#include "capture/WordStrokeController.h"
#include "platform/AccessibilityTrust.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"
#include "support/capture/TargetProcess.h"

#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <QProcess>
#include <csignal>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// Xlib spells "no window" None; our enums use the word too.
#undef None

namespace {
// The Qt application the user selects in, as a child process.
class Target : public TargetProcess {
public:
    explicit Target(const QStringList& args = {},
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
        : TargetProcess(QStringLiteral(CAPTURE_TARGET), args, env) {}
    int keys() const { return copyKeys(); }
};

QString printPrimary() {
    QProcess p;
    p.start(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--print-primary")});
    guitest::spinUntil([&] { return p.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList printClipboard() {
    QProcess p;
    p.start(QStringLiteral(CAPTURE_TARGET), {QStringLiteral("--print-clipboard")});
    // Our own process may own the clipboard: keep answering while it asks.
    guitest::spinUntil([&] { return p.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

class Input {
public:
    Input() : d_(XOpenDisplay(nullptr)) {}
    ~Input() { XCloseDisplay(d_); }
    void move(const QPoint& p) {
        XTestFakeMotionEvent(d_, -1, p.x(), p.y(), CurrentTime);
        XFlush(d_);
        QTest::qWait(50);
    }
    void click(int times = 1) {
        for (int i = 0; i < times; ++i) {
            XTestFakeButtonEvent(d_, 1, True, CurrentTime);
            XTestFakeButtonEvent(d_, 1, False, CurrentTime);
            XFlush(d_);
            QTest::qWait(60);
        }
    }
    void key(unsigned long sym, bool down) {
        XTestFakeKeyEvent(d_, XKeysymToKeycode(d_, sym), down, CurrentTime);
        XFlush(d_);
    }

private:
    Display* d_;
};
}  // namespace

class CaptureSelectionTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> svc_;
    Input input_;
    quint32 lastPress_ = 0;
    MouseMonitor* clock_ = nullptr;

    // A click on the bare root window: changes no selection, and dates
    // "now" on the server's clock.
    quint32 serverNow() {
        const quint32 before = lastPress_;
        input_.move({1200, 980});
        input_.click();
        guitest::spinUntil([&] { return lastPress_ != before; }, 3000);
        QTest::qWait(600);
        return lastPress_;
    }

    void focus(Target& t) {
        t.send(QStringLiteral("focus"));
        QVERIFY(t.waitFor(QStringLiteral("focused")));
    }

    CaptureReader::Selected read(const QPoint& at, quint32 since, bool ownWindow = false) {
        input_.move(at);
        CaptureReader::Selected got;
        bool done = false;
        QObject ctx;
        CaptureReader::shared().selectedText({at, since, ownWindow}, &ctx, [&](const CaptureReader::Selected& s) {
            got = s;
            done = true;
        });
        guitest::spinUntil([&] { return done; }, 5000);
        return got;
    }

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        svc_ = std::make_unique<FakeHttpService>();
        svc_->on(QStringLiteral("GET"), QStringLiteral("/fsearch"), [](const RecordedRequest& r) {
            const QString q = r.queryValue(QStringLiteral("q")).toHtmlEscaped();
            return ScriptedResponse(200, QStringLiteral("<mirvodict><return-phrase>%1</return-phrase><custom-translation>"
                                                        "<translation><content>t-%1</content></translation>"
                                                        "</custom-translation></mirvodict>").arg(q).toUtf8(), "text/xml");
        });
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        UserDefaults::standard().setValue(MVServiceHost, svc_->hostPort());
        UserDefaults::standard().setValue(WordStroke, true);
        QVERIFY(accessibility::setEnabled(true));
        clock_ = new MouseMonitor(this);
        clock_->InstallMonitorWithTarget(clock_, [this](const MouseMonitorEvent& e) {
            if (e.eventType == MouseMonitorEvent::Pressed) lastPress_ = e.gestureServerTime;
        });
    }

    // A double click selects the word: PRIMARY carries it, and the lookup
    // goes out with the selection's request line.
    void doubleClickLooksUpThePrimarySelection() {
        Target t;
        QVERIFY(t.waitFor(QStringLiteral("ready")));
        WordStrokeController c;
        QList<CaptureReader::Selected> seen;
        c.setSelectionReader([&](const CaptureReader::Request& r, QObject* ctx,
                                 std::function<void(const CaptureReader::Selected&)> done) {
            CaptureReader::shared().selectedText(r, ctx, [&seen, done](const CaptureReader::Selected& s) {
                seen << s;
                done(s);
            });
        });
        c.startMonitor();
        static QStringList logged;
        logged.clear();
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& ctx, const QString& m) {
            if (QByteArray(ctx.category).startsWith("mirvok.capture")) logged << m;
        });
        input_.move(t.word(QStringLiteral("apple")));
        input_.click(2);
        QVERIFY(svc_->waitForRequests(1, 5000));
        qInstallMessageHandler(previous);
        // The log says how much came by which road, never what was selected.
        QVERIFY2(logged.contains(QStringLiteral("selection of 5 characters by primary")), qPrintable(logged.join(u'|')));
        QVERIFY2(!logged.join(u'|').contains(QStringLiteral("apple")), qPrintable(logged.join(u'|')));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(int(seen[0].source), int(CaptureReader::Source::Primary));
        const RecordedRequest r = svc_->requestsTo(QStringLiteral("/fsearch")).back();
        QCOMPARE(r.rawQuery, QStringLiteral("q=apple&pos=0&keyfrom=mac.scrtrans.1&id=%1&vendor=%2&client=vorlane")
                                 .arg(machineId(), vendorAndVersionParam()).toUtf8());
        QTRY_VERIFY(ScrTransController::getInstance()->bShow());
        QVERIFY(c.mouseMonitor()->showing());
        // A press elsewhere hides it (after the double-click interval, or
        // it would make another double click).
        QTest::qWait(600);
        input_.move({1100, 900});
        input_.click();
        QTRY_VERIFY(!ScrTransController::getInstance()->bShow());
        QCOMPARE(t.keys(), 0);
        QTest::qWait(600);
    }

    // A selection made without the mouse is not in PRIMARY, and the PRIMARY
    // an earlier double click left is older than the gesture: the
    // accessibility bus has the selection.
    void programmaticSelectionComesFromAccessibility() {
        Target t;
        QVERIFY(t.waitFor(QStringLiteral("ready")));
        QTest::qWait(600);
        input_.move(t.word(QStringLiteral("apple")));
        input_.click(2);
        QTRY_COMPARE(printPrimary(), QStringLiteral("apple"));
        const QString text = QString::fromUtf8("one \xF0\x9F\x98\x80 two\xEF\xBC\x9F apple banana");
        const int at = int(text.indexOf(QStringLiteral("banana")));
        t.send(QStringLiteral("select %1 %2").arg(at).arg(at + 6));
        QVERIFY(t.waitFor(QStringLiteral("selected")));
        const quint32 since = serverNow();
        const CaptureReader::Selected s = read(t.word(QStringLiteral("banana")), since);
        QCOMPARE(s.text, QStringLiteral("banana"));
        QCOMPARE(int(s.source), int(CaptureReader::Source::Accessibility));
        QCOMPARE(t.keys(), 0);
    }

    // A PRIMARY made since the gesture but blank says nothing was
    // selected: the capture ends there, with no key sent.
    void blankFreshPrimaryEndsTheCapture() {
        Target pad({QStringLiteral("--pad"), QStringLiteral("edit")});
        QVERIFY(pad.waitFor(QStringLiteral("ready")));
        const quint32 since = serverNow();
        Target primary({QStringLiteral("--primary-owner"), QStringLiteral("  ")});
        QVERIFY(primary.waitFor(QStringLiteral("ready")));
        focus(pad);
        const CaptureReader::Selected s = read(pad.word(QStringLiteral("pad")), since);
        QCOMPARE(int(s.source), int(CaptureReader::Source::None));
        QTest::qWait(300);
        QCOMPARE(pad.keys(), 0);
    }

    // A focused text element the accessibility bus cannot read gets Ctrl+C,
    // and the clipboard owner's text and image come back afterwards. A held
    // modifier or our own window get no key at all.
    void copyIsGuardedAndRestoresTheClipboard() {
        Target owner({QStringLiteral("--clipboard-owner")});
        QVERIFY(owner.waitFor(QStringLiteral("ready")));
        Target t({QStringLiteral("--pad"), QStringLiteral("edit")});
        QVERIFY(t.waitFor(QStringLiteral("ready")));
        focus(t);
        const QPoint pad = t.word(QStringLiteral("pad"));

        quint32 since = serverNow();
        input_.key(XK_Shift_L, true);
        CaptureReader::Selected s = read(pad, since);
        input_.key(XK_Shift_L, false);
        QCOMPARE(int(s.source), int(CaptureReader::Source::None));
        s = read(pad, since, true);
        QCOMPARE(int(s.source), int(CaptureReader::Source::None));
        QTest::qWait(200);
        QCOMPARE(t.keys(), 0);

        s = read(pad, since);
        QCOMPARE(s.text, QStringLiteral("banana"));
        QCOMPARE(int(s.source), int(CaptureReader::Source::Copy));
        QTRY_VERIFY(t.lines().contains(QStringLiteral("key 67 %1").arg(int(Qt::ControlModifier))));
        QTest::qWait(400);
        const QStringList clip = printClipboard();
        QVERIFY2(clip.contains(QStringLiteral("text saved clipboard text")), qPrintable(clip.join(u'|')));
        bool png = false;
        for (const QString& l : clip) png = png || (l.startsWith(QLatin1String("format image/png ")) && !l.endsWith(QLatin1String(" 0")));
        QVERIFY2(png, qPrintable(clip.join(u'|')));
    }

    // Ctrl+C interrupts what runs in a terminal: no key without positive
    // evidence of a focused text element in the window pointed at.
    void noKeyWithoutEvidenceOfText() {
        // A terminal of a class nobody listed, invisible to accessibility.
        QVERIFY(accessibility::setEnabled(false));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("RESOURCE_NAME"), QStringLiteral("RemoteViewer"));
        {
            Target term({}, env);
            QVERIFY(term.waitFor(QStringLiteral("ready")));
            const QString text = QString::fromUtf8("one \xF0\x9F\x98\x80 two\xEF\xBC\x9F apple banana");
            const int at = int(text.indexOf(QStringLiteral("banana")));
            term.send(QStringLiteral("select %1 %2").arg(at).arg(at + 6));
            term.send(QStringLiteral("focus"));
            QVERIFY(term.waitFor(QStringLiteral("focused")));
            const CaptureReader::Selected s = read(term.word(QStringLiteral("banana")), serverNow());
            QCOMPARE(int(s.source), int(CaptureReader::Source::None));
            QTest::qWait(300);
            QCOMPARE(term.keys(), 0);
        }
        QVERIFY(accessibility::setEnabled(true));

        // A program that says it is a terminal.
        {
            Target term({QStringLiteral("--pad"), QStringLiteral("terminal")});
            QVERIFY(term.waitFor(QStringLiteral("ready")));
            focus(term);
            const CaptureReader::Selected s = read(term.word(QStringLiteral("pad")), serverNow());
            QCOMPARE(int(s.source), int(CaptureReader::Source::None));
            QTest::qWait(300);
            QCOMPARE(term.keys(), 0);
        }

        // A text element that still says "focused", while the keyboard
        // focus is in another window: the key would land there.
        Target pad({QStringLiteral("--pad"), QStringLiteral("edit")});
        QVERIFY(pad.waitFor(QStringLiteral("ready")));
        Target other;
        QVERIFY(other.waitFor(QStringLiteral("ready")));
        other.send(QStringLiteral("focus"));
        QVERIFY(other.waitFor(QStringLiteral("focused")));
        const CaptureReader::Selected s = read(pad.word(QStringLiteral("pad")), serverNow());
        QCOMPARE(int(s.source), int(CaptureReader::Source::None));
        QTest::qWait(300);
        QCOMPARE(pad.keys() + other.keys(), 0);
    }

    // A copy that put nothing on the clipboard leaves the user's owner in
    // place: taking it over would only lose formats.
    void unchangedClipboardStaysWithItsOwner() {
        Target owner({QStringLiteral("--clipboard-owner")});
        QVERIFY(owner.waitFor(QStringLiteral("ready")));
        Target t({QStringLiteral("--pad"), QStringLiteral("edit-empty")});
        QVERIFY(t.waitFor(QStringLiteral("ready")));
        focus(t);
        Display* d = XOpenDisplay(nullptr);
        const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
        const Window before = XGetSelectionOwner(d, clipboard);
        QVERIFY(before != 0);
        const CaptureReader::Selected s = read(t.word(QStringLiteral("pad")), serverNow());
        QCOMPARE(int(s.source), int(CaptureReader::Source::None));
        QVERIFY(t.lines().contains(QStringLiteral("key 67 %1").arg(int(Qt::ControlModifier))));
        // What a restore would do comes back on the main thread.
        QTest::qWait(500);
        QCOMPARE(XGetSelectionOwner(d, clipboard), before);
        XCloseDisplay(d);
    }

    // An answer overtaken by a newer request of its kind is dropped, even
    // when its read was already under way.
    void overtakenAnswersAreDropped() {
        std::atomic<int> started{0};
        std::atomic<bool> release{false};
        CaptureReader::setReadStartedHook([&] {
            if (started++ > 0) return;
            QElapsedTimer t;
            t.start();
            while (!release && t.elapsed() < 5000) QThread::msleep(1);
        });
        QObject ctx;
        QStringList answers;
        const QPoint at(1200, 980);
        CaptureReader::shared().selectedText({at, 0, true}, &ctx, [&](const CaptureReader::Selected&) { answers << "s1"; });
        QVERIFY(guitest::spinUntil([&] { return started == 1; }, 3000));
        CaptureReader::shared().selectedText({at, 0, true}, &ctx, [&](const CaptureReader::Selected&) { answers << "s2"; });
        release = true;
        QVERIFY(guitest::spinUntil([&] { return answers.contains("s2"); }, 5000));

        started = 0;
        release = false;
        CaptureReader::shared().textAround(at, &ctx, [&](const AtspiReader::Around&) { answers << "h1"; });
        QVERIFY(guitest::spinUntil([&] { return started == 1; }, 3000));
        CaptureReader::shared().textAround(at, &ctx, [&](const AtspiReader::Around&) { answers << "h2"; });
        release = true;
        QVERIFY(guitest::spinUntil([&] { return answers.contains("h2"); }, 5000));
        CaptureReader::setReadStartedHook({});
        QTest::qWait(100);
        QCOMPARE(answers, (QStringList{"s2", "h2"}));
    }

    // Pasting from a clipboard whose owner is stopped costs a moment only.
    void pasteFromAStoppedOwnerGivesUp() {
        Target owner({QStringLiteral("--clipboard-owner")});
        QVERIFY(owner.waitFor(QStringLiteral("ready")));
        CaptureShell shell;
        QCOMPARE(shell.pasteText(), QStringLiteral("saved clipboard text"));
        ::kill(pid_t(owner.pid()), SIGSTOP);
        QElapsedTimer t;
        t.start();
        QVERIFY(shell.pasteText().isNull());
        QVERIFY2(t.elapsed() < 600, qPrintable(QString::number(t.elapsed())));
    }

    void nothingMissingIsLookedUp() {
        for (const RecordedRequest& r : svc_->requestsTo(QStringLiteral("/fsearch")))
            QVERIFY(!r.queryValue(QStringLiteral("q")).contains(QStringLiteral("(null)")));
    }
};

QTEST_MAIN(CaptureSelectionTest)
#include "tst_capture_selection.moc"
