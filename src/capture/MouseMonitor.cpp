#include "capture/MouseMonitor.h"

#include "capture/CaptureRoad.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStyleHints>
#include <cmath>

namespace {
double monotonicSeconds() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Offset so that the first release is never within a double click of "0".
    return 1000.0 + double(timer.nsecsElapsed()) / 1e9;
}
}  // namespace

MouseMonitor::MouseMonitor(QObject* parent) : QObject(parent) {
    auto& nc = NotificationCenter::defaultCenter();
    nc.addObserver(MVEnterScreenTransWindow, this, [this](const Notification&) { entered_ = true; });
    nc.addObserver(MVExitScreenTransWindow, this, [this](const Notification&) { entered_ = false; });
}

MouseMonitor::~MouseMonitor() { NotificationCenter::defaultCenter().removeObserver(this); }

void MouseMonitor::InstallMonitorWithTarget(QObject* target, Handler handler) {
    target_ = target;
    handler_ = std::move(handler);
    if (installed_) return;
    installed_ = true;
    CaptureRoad::PointerWatch watch;
    watch.pressed = [this](QPointF p, quint32 t, bool own, bool popup) { handleMouseDown(p, t, own, popup); };
    watch.released = [this](QPointF p) { handleMouseUp(p); };
    watch.moved = [this](QPointF p, bool buttonHeld) {
        if (buttonHeld)
            handleMouseDrag();
        else
            handleMouseMove(p);
    };
    CaptureRoad::current().watchPointer(this, std::move(watch));
}

double MouseMonitor::now() const { return clock_ ? clock_() : monotonicSeconds(); }

double MouseMonitor::doubleClickInterval() const {
    if (doubleClickInterval_ >= 0) return doubleClickInterval_;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return app->styleHints()->mouseDoubleClickInterval() / 1000.0;
    return 0.4;
}

float MouseMonitor::getDistanceWithPoint(const QPointF& a, const QPointF& b) {
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    return float(std::sqrt(dx * dx + dy * dy));
}

void MouseMonitor::deliver(const MouseMonitorEvent& e) {
    if (handler_ && target_) handler_(e);
}

void MouseMonitor::handleMouseDown(const QPointF& pos, quint32 time, bool own, bool overPopup) {
    // A press on the popup belongs to the popup (its star, its links).
    if (overPopup || (own && entered_)) return;
    isDragging_ = false;
    lastHit_ = now();
    prevHitPoint_ = lastHitPoint_;
    lastHitPoint_ = pos;
    prevHitTime_ = lastHitTime_;
    lastHitTime_ = time;
    MouseMonitorEvent e;
    e.eventType = MouseMonitorEvent::Pressed;
    e.param = own ? 1 : 0;
    e.gestureServerTime = time;
    deliver(e);
}

void MouseMonitor::handleMouseDrag() { isDragging_ = true; }

void MouseMonitor::handleMouseUp(const QPointF& pos) {
    const double t = now();
    if (isDragging_) {
        MouseMonitorEvent e;
        e.eventType = MouseMonitorEvent::DragEnded;
        e.dragTime = float(t - lastHit_);
        e.dragDistance = getDistanceWithPoint(lastHitPoint_, pos);
        e.gestureServerTime = lastHitTime_;
        deliver(e);
    }
    // Two clicks far apart are two clicks, each on its own spot: taking them
    // for a double click would read a selection nobody made.
    if (t - lastUp_ <= doubleClickInterval()
        && getDistanceWithPoint(prevHitPoint_, lastHitPoint_) <= kDoubleClickSlop) {
        MouseMonitorEvent e;
        e.eventType = MouseMonitorEvent::DoubleClick;
        e.gestureServerTime = prevHitTime_ ? prevHitTime_ : lastHitTime_;
        deliver(e);
    }
    lastUp_ = t;
    isDragging_ = false;
}

void MouseMonitor::handleMouseMove(const QPointF& pos) {
    if (!showing_ || entered_) return;
    if (getDistanceWithPoint(stPoint_, pos) > 50.0f) {
        MouseMonitorEvent e;
        e.eventType = MouseMonitorEvent::MovedAway;
        deliver(e);
    }
}
