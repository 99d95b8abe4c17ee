#include "capture/MouseMonitor.h"
#include "capture/x11/CaptureReader.h"
#include "capture/WordStrokeController.h"
#include "capture/x11/X11PointerSource.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "support/TestEnv.h"

#include <QWidget>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {
struct Recorder {
    QList<MouseMonitorEvent> events;
    QList<int> types() const {
        QList<int> t;
        for (const auto& e : events) t << e.eventType;
        return t;
    }
};

// Moves and clicks through XTest, as real input arrives: warps make no
// raw events.
class Fake {
public:
    Fake() : d_(XOpenDisplay(nullptr)) {}
    ~Fake() { XCloseDisplay(d_); }
    void move(int x, int y) {
        XTestFakeMotionEvent(d_, -1, x, y, CurrentTime);
        XFlush(d_);
    }
    void button(bool down) {
        XTestFakeButtonEvent(d_, 1, down, CurrentTime);
        XFlush(d_);
    }
    Display* display() const { return d_; }

private:
    Display* d_;
};
}  // namespace

class CaptureMonitorTest : public QObject {
    Q_OBJECT
    TestEnv env_;
    double now_ = 100;

    MouseMonitor* seamMonitor(Recorder& r) {
        auto* m = new MouseMonitor(this);
        m->setClock([this] { return now_; });
        m->setDoubleClickInterval(0.5);
        QObject* target = m;
        // Installing connects the shared X source too; the seam cases only
        // call the handlers, with no X input going on.
        m->InstallMonitorWithTarget(target, [&r](const MouseMonitorEvent& e) { r.events << e; });
        return m;
    }

private slots:
    // Presses in other applications, in ours, and over the popup.
    void pressesTellWhereTheyWere() {
        Recorder r;
        MouseMonitor* m = seamMonitor(r);
        m->handleMouseDown({1, 1}, 10, false, false);
        m->handleMouseDown({1, 1}, 11, true, false);
        m->handleMouseDown({1, 1}, 12, true, true);
        m->setEntered(true);
        m->handleMouseDown({1, 1}, 13, true, false);
        QCOMPARE(r.types(), (QList<int>{4, 4}));
        QCOMPARE(r.events[0].param, 0);
        QCOMPARE(r.events[1].param, 1);
        delete m;
    }

    // Two releases within the interval, pressed on one spot, are a double
    // click dated from the first press; a drag reports its distance.
    void doubleClickIntervalAndDrags() {
        Recorder r;
        MouseMonitor* m = seamMonitor(r);
        m->handleMouseDown({0, 0}, 1000, false, false);
        m->handleMouseUp({0, 0});
        QCOMPARE(r.types(), (QList<int>{4}));
        now_ += 0.2;
        m->handleMouseDown({0, 0}, 1200, false, false);
        m->handleMouseUp({0, 0});
        QCOMPARE(r.types(), (QList<int>{4, 4, 1}));
        QCOMPARE(r.events.last().gestureServerTime, 1000u);
        m->setDoubleClickInterval(0.1);
        now_ += 0.2;
        m->handleMouseDown({0, 0}, 1400, false, false);
        m->handleMouseDrag();
        now_ += 0.05;
        m->handleMouseUp({3, 4});
        QCOMPARE(r.types(), (QList<int>{4, 4, 1, 4, 2}));
        QCOMPARE(r.events[4].dragDistance, 5.0f);
        QCOMPARE(r.events[4].gestureServerTime, 1400u);
        // Two quick clicks 200 px apart are two clicks, not a double click.
        m->setDoubleClickInterval(0.5);
        r.events.clear();
        now_ += 1;
        m->handleMouseDown({100, 100}, 2000, false, false);
        m->handleMouseUp({100, 100});
        now_ += 0.1;
        m->handleMouseDown({300, 100}, 2100, false, false);
        m->handleMouseUp({300, 100});
        QCOMPARE(r.types(), (QList<int>{4, 4}));
        delete m;
    }

    // Moving away counts only past 50 points, while a result shows and the
    // pointer is not over the popup.
    void movedAwayBoundary() {
        Recorder r;
        MouseMonitor* m = seamMonitor(r);
        m->handleMouseMove({100, 0});
        m->setShowing(true);
        m->setStPoint({0, 0});
        m->handleMouseMove({50, 0});
        QVERIFY(r.events.isEmpty());
        m->handleMouseMove({50, 1});
        QCOMPARE(r.types(), (QList<int>{8}));
        m->setEntered(true);
        m->handleMouseMove({300, 300});
        QCOMPARE(r.events.size(), 1);
        delete m;
    }

    // The selection capture checks after a drag of more than 5 points only.
    void dragThresholdOfTheSelection() {
        WordStrokeController c;
        MouseMonitorEvent e;
        e.eventType = MouseMonitorEvent::DragEnded;
        e.dragDistance = 5.0f;
        c.onMouseEvent(e);
        QVERIFY(!c.isCheck());
        e.dragDistance = std::nextafter(5.0f, 6.0f);
        c.onMouseEvent(e);
        QVERIFY(c.isCheck());
    }

    // A gesture left waiting (capture off, or the pointer not yet moved)
    // is never checked later: it would pop up an old selection.
    void staleGesturesAreDropped() {
        WordStrokeController c;
        int reads = 0;
        c.setSelectionReader([&](const CaptureReader::Request&, QObject*,
                                 std::function<void(const CaptureReader::Selected&)>) { ++reads; });
        QPointF at(10, 10);
        c.setPointerFunction([&] { return at; });
        MouseMonitorEvent dbl;
        dbl.eventType = MouseMonitorEvent::DoubleClick;
        UserDefaults::standard().setValue(WordStroke, false);
        c.onMouseEvent(dbl);
        c.checkUIElment();
        UserDefaults::standard().setValue(WordStroke, true);
        c.checkUIElment();
        QCOMPARE(reads, 0);
        c.onMouseEvent(dbl);
        c.checkUIElment();
        QCOMPARE(reads, 1);
        c.onMouseEvent(dbl);  // same spot: waits for the pointer to move
        c.checkUIElment();
        MouseMonitorEvent press;
        press.eventType = MouseMonitorEvent::Pressed;
        press.param = 1;
        c.onMouseEvent(press);
        at = {400, 400};
        c.checkUIElment();
        QCOMPARE(reads, 1);
        UserDefaults::standard().setValue(WordStroke, false);
        // The poll alone moves the popup's monitor away: XTest pointers
        // send no raw motion.
        c.mouseMonitor()->setShowing(true);
        c.mouseMonitor()->setStPoint({0, 0});
        c.startMonitor();  // its first poll runs now
        QVERIFY(!c.mouseMonitor()->showing());
    }

    // Real input: whole-pixel drags of (5,0) and (5,1), a press in our own
    // window, and input while another client grabs the pointer.
    void xinputReachesTheMonitor() {
        QVERIFY(X11PointerSource::shared());
        Recorder r;
        MouseMonitor m;
        m.InstallMonitorWithTarget(&m, [&r](const MouseMonitorEvent& e) { r.events << e; });
        Fake fake;
        auto drag = [&](int dx, int dy) {
            r.events.clear();
            fake.move(600, 600);
            QTest::qWait(50);
            fake.button(true);
            QTest::qWait(50);
            fake.move(600 + dx, 600 + dy);
            QTest::qWait(50);
            fake.button(false);
            QTRY_VERIFY(r.types().contains(2));
            QTest::qWait(600);  // no double click with the next one
        };
        drag(5, 0);
        QCOMPARE(r.events[0].param, 0);
        QCOMPARE(r.events[1].dragDistance, 5.0f);
        drag(5, 1);
        QVERIFY(r.events[1].dragDistance > 5.0f);
        QVERIFY(r.events[0].gestureServerTime != 0);

        QWidget own;
        own.setGeometry(100, 100, 200, 200);
        own.show();
        QVERIFY(QTest::qWaitForWindowExposed(&own));
        r.events.clear();
        fake.move(150, 150);
        QTest::qWait(50);
        fake.button(true);
        fake.button(false);
        QTRY_COMPARE(r.types(), (QList<int>{4}));
        QCOMPARE(r.events[0].param, 1);
        QTest::qWait(600);

        // Another client holds the pointer grabbed: raw events still come.
        Display* other = XOpenDisplay(nullptr);
        QCOMPARE(XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask | ButtonReleaseMask,
                              GrabModeAsync, GrabModeAsync, None, None, CurrentTime),
                 GrabSuccess);
        XFlush(other);
        r.events.clear();
        fake.move(700, 700);
        fake.button(true);
        fake.button(false);
        QTest::qWait(100);
        fake.button(true);
        fake.button(false);
        QTRY_COMPARE(r.types(), (QList<int>{4, 4, 1}));
        XUngrabPointer(other, CurrentTime);
        XCloseDisplay(other);
    }
};

QTEST_MAIN(CaptureMonitorTest)
#include "tst_capture_monitor.moc"
