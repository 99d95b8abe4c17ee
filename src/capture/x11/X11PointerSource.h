#pragma once

#include <QObject>
#include <QPointF>
#include <QSet>
#include <functional>

class QSocketNotifier;
struct _XDisplay;

// The left button and pointer movement of the whole X display, read as
// XInput2 raw events selected on the root window over a connection of our
// own. Raw events arrive while another client has the focus or grabs the
// pointer; pointer warps make none. Each event is completed with the
// pointer's position (XQueryPointer) and, for a press, which window is under
// it. One instance serves every monitor; positions are Qt's device
// independent coordinates. Main thread only.
class X11PointerSource : public QObject {
    Q_OBJECT
public:
    // nullptr when there is no X display or it lacks XInput 2.2.
    static X11PointerSource* shared();
    ~X11PointerSource() override;

    // Whether a compositing manager runs (translucent windows only look so
    // with one; without, their clear parts show black).
    bool hasCompositor() const;

    // Windows that count as the capture popup (presses there make no gesture).
    static void setPopupWindow(quint64 windowId);

    // The top-level X window (a child of the root: the window manager's
    // frame, or the client itself) under a point of the display, and
    // whether it belongs to this process.
    quint64 topLevelAt(bool* own = nullptr) const;

signals:
    void pressed(QPointF pos, quint32 serverTime, bool ownWindow, bool overPopup);
    void released(QPointF pos);
    void moved(QPointF pos, bool leftButtonHeld);

private:
    X11PointerSource(_XDisplay* display, int opcode);
    void readEvents();
    QPointF pointer(unsigned long* child = nullptr) const;
    void classify(unsigned long rootChild, bool* own, bool* popup) const;

    _XDisplay* display_;
    int opcode_;
    QSocketNotifier* notifier_ = nullptr;
    bool leftDown_ = false;
};
