#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Small helpers for widget tests that run offscreen (QT_QPA_PLATFORM is set
// to "offscreen" by ctest for unit and gui tests).
namespace guitest {

// The visible top-level windows of type T, e.g. the alert a click opened.
template <typename T>
QList<T*> visibleTopLevels() {
    QList<T*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (T* t = qobject_cast<T*>(w); t && t->isVisible()) out << t;
    return out;
}

// Lets queued calls and timers run until the condition holds or the time is
// up; returns the condition's last value. For use in helpers where the
// QTRY_ macros cannot report (they need a test function to return from).
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs) return false;
        QTest::qWait(10);
    }
    return true;
}

// The longest the event loop went without turning since the watch began:
// a timer every 5 ms notes each gap.
class LoopGapWatch {
public:
    LoopGapWatch() {
        QObject::connect(&ticks_, &QTimer::timeout, [this] { longest_ = std::max(longest_, sinceTick_.restart()); });
        sinceTick_.start();
        ticks_.start(5);
    }
    // After one more turn, so that what ran last is timed too.
    qint64 stop() {
        QTest::qWait(20);
        ticks_.stop();
        return longest_;
    }

private:
    QTimer ticks_;
    QElapsedTimer sinceTick_;
    qint64 longest_ = 0;
};

}  // namespace guitest
