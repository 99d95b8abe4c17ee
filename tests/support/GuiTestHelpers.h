#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QList>
#include <QTest>
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

}  // namespace guitest
