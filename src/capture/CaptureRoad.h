#pragma once

#include "capture/CaptureRoadTypes.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

// How desktop capture reaches other applications in this session: pointer
// gestures, the selected text, the text around a point, where the popup
// goes. One road is chosen at start (see CaptureRoads) and the controllers
// only ever talk to it, so none of them asks which session it runs in.
// Main thread only.
class CaptureRoad : public QObject {
    Q_OBJECT
public:
    // One way in, as the preferences list it: whether it serves this
    // session and, when not, why.
    struct Part {
        QString name;
        bool active = false;
        QString note;
    };

    using SelectedDone = std::function<void(const capture::SelectedText&)>;
    using AroundDone = std::function<void(const capture::TextAround&)>;

    explicit CaptureRoad(QObject* parent = nullptr) : QObject(parent) {}

    // "x11", "wayland" or "none"; also what MIRVOK_CAPTURE_ROAD takes.
    virtual QString name() const = 0;
    virtual QList<Part> parts() const = 0;
    // A global pointer reports double clicks and drags in other windows.
    virtual bool hasPointerGestures() const = 0;
    // The word under a resting pointer can be read (needs a global pointer).
    virtual bool hasHover() const = 0;

    // Begins watching (once). Roads that learn of selections by themselves
    // report them through selectionSettled.
    virtual void start() {}

    // The selected text at a gesture. A road that has none answers nothing.
    virtual void selectedText(const capture::SelectionRequest& request, QObject* context, SelectedDone done) = 0;
    // The text around a point of the screen, for hover.
    virtual void textAround(const QPoint& px, QObject* context, AroundDone done) = 0;

    // Where the popup's corner goes: beside the selection when its extents
    // are known, else at the pointer's last known place, else the top-right
    // corner of the primary screen's available area.
    virtual QPointF popupPoint(const QRect& selection, const QPointF& pointer) const;

    // The desktop around our windows. Unless a road says otherwise these
    // go to the Desktop the loader gave it (the X display's wherever one can
    // be reached, XWayland included), and do nothing without one.

    // The pointer's left button and movement over the whole desktop: a
    // press comes with the server time and whether it fell on one of our
    // windows or on the popup.
    struct PointerWatch {
        std::function<void(QPointF pos, quint32 serverTime, bool ownWindow, bool overPopup)> pressed;
        std::function<void(QPointF pos)> released;
        std::function<void(QPointF pos, bool leftButtonHeld)> moved;
    };
    // Reports to `watch` while `context` lives; false when there is no
    // pointer to watch.
    virtual bool watchPointer(QObject* context, PointerWatch watch);
    // The pointer is over one of our own windows right now.
    virtual bool pointerOverOwnWindow() const;
    // The popup's window (0: none): presses on it make no gesture.
    virtual void setPopupWindow(quint64 windowId);
    // Translucent windows look so: a compositing manager runs, or the
    // windows are not on an X display.
    virtual bool translucentWindows() const;

    // The desktop window that has the keyboard focus; 0 when none has it or
    // it is one of ours.
    virtual quint64 focusedOtherWindow() const;
    // Gives the focus back to a window focusedOtherWindow() named, if it is
    // still there.
    virtual void giveFocusBack(quint64 window);
    // Gives one of our windows, just shown, the focus where no window
    // manager does.
    virtual void focusShownWindow(quint64 window);

    // The clipboard's text, null when it holds none.
    virtual QString clipboardText() const;

    // The user closed the popup (Escape, a click beside its links): the same
    // text selected again is a new selection. Roads that watch selections
    // by themselves use it; the others have nothing to forget.
    virtual void popupDismissed() {}

    // Pointer, focus and clipboard of a desktop that any road may reach
    // (the calls above, in the same words), apart from the roads that read
    // the text: an X display serves the Wayland road's XWayland windows too.
    class Desktop {
    public:
        virtual ~Desktop() = default;
        virtual bool watchPointer(QObject* context, PointerWatch watch) = 0;
        virtual bool pointerOverOwnWindow() const = 0;
        virtual void setPopupWindow(quint64 windowId) = 0;
        virtual bool translucentWindows() const = 0;
        virtual quint64 focusedOtherWindow() const = 0;
        virtual void giveFocusBack(quint64 window) = 0;
        virtual void focusShownWindow(quint64 window) = 0;
        virtual QString clipboardText() const = 0;
    };
    void setDesktop(std::unique_ptr<Desktop> desktop);

    // The road in use, chosen on first call; tests may put one in place.
    static CaptureRoad& current();
    static void setCurrent(CaptureRoad* road);  // nullptr: the loader's choice again

signals:
    // Any change of a watched selection (the popup of the last one goes).
    void selectionChanged();
    // A selection that stayed the same for a short pause, reported once:
    // a repeated report of it stays quiet until the selection changes or
    // the popup is dismissed. `extents` are screen pixels, or empty.
    void selectionSettled(const QString& text, const QRect& extents);
    // parts() has changed (a watch started or failed).
    void partsChanged();

private:
    std::unique_ptr<Desktop> desktop_;
};
