#pragma once

#include "capture/MouseMonitorEvent.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <functional>

// Turns the left button and pointer movement of every application into
// MouseMonitorEvent gestures for one capture controller. Input arrives from
// the capture road's pointer (CaptureRoad::watchPointer); the handle* entry points are also the seam
// tests drive directly. Positions are Qt's (top-left origin, device
// independent). Main thread only.
class MouseMonitor : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const MouseMonitorEvent&)>;

    explicit MouseMonitor(QObject* parent = nullptr);
    ~MouseMonitor() override;

    // Starts delivering gestures to `handler` (once; a second call only
    // replaces the handler).
    void InstallMonitorWithTarget(QObject* target, Handler handler);

    // Input, as the source reports it. `time` is the X server time of the
    // event (0 when unknown); `own` tells a press in our windows, `overPopup`
    // a press over the capture popup, which makes no gesture at all.
    void handleMouseDown(const QPointF& pos, quint32 time, bool own, bool overPopup);
    void handleMouseUp(const QPointF& pos);
    void handleMouseDrag();
    void handleMouseMove(const QPointF& pos);

    static float getDistanceWithPoint(const QPointF& a, const QPointF& b);
    // How far apart the two presses of a double click may be.
    static constexpr float kDoubleClickSlop = 5.0f;

    bool showing() const { return showing_; }
    void setShowing(bool v) { showing_ = v; }
    bool entered() const { return entered_; }
    void setEntered(bool v) { entered_ = v; }
    QPointF stPoint() const { return stPoint_; }
    void setStPoint(const QPointF& p) { stPoint_ = p; }

    // Seconds on a monotonic clock; tests replace it to step time exactly.
    void setClock(std::function<double()> clock) { clock_ = std::move(clock); }
    // The double-click interval in seconds; the style hints' value by default.
    void setDoubleClickInterval(double seconds) { doubleClickInterval_ = seconds; }
    double doubleClickInterval() const;

private:
    void deliver(const MouseMonitorEvent& e);
    double now() const;

    QPointer<QObject> target_;
    Handler handler_;
    bool installed_ = false;
    bool isDragging_ = false;
    double lastHit_ = 0;
    double lastUp_ = 0;
    QPointF lastHitPoint_;
    QPointF prevHitPoint_;
    QPointF stPoint_;
    bool showing_ = false;
    bool entered_ = false;
    quint32 lastHitTime_ = 0;
    quint32 prevHitTime_ = 0;
    std::function<double()> clock_;
    double doubleClickInterval_ = -1;
};
