#include "capture/CaptureRoad.h"

#include "capture/CaptureRoads.h"
#include "capture/x11/QZRPasteboardProxy.h"
#include "capture/x11/X11FocusReturn.h"
#include "capture/x11/X11PointerSource.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
CaptureRoad* g_override = nullptr;
}

QPointF CaptureRoad::popupPoint(const QRect& selection, const QPointF& pointer) const {
    // Below the selection's end, where the eye already is.
    if (selection.isValid() && !selection.isEmpty()) return QPointF(selection.right(), selection.bottom() - 10);
    if (pointer.x() > -1e8 && pointer.y() > -1e8) return pointer;
    QScreen* s = QGuiApplication::primaryScreen();
    const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1280, 1024);
    return QPointF(avail.right() - 20, avail.top() + 20);
}

bool CaptureRoad::watchPointer(QObject* context, PointerWatch watch) {
    X11PointerSource* source = X11PointerSource::shared();
    if (!source) return false;
    connect(source, &X11PointerSource::pressed, context, std::move(watch.pressed));
    connect(source, &X11PointerSource::released, context, std::move(watch.released));
    connect(source, &X11PointerSource::moved, context, std::move(watch.moved));
    return true;
}

bool CaptureRoad::pointerOverOwnWindow() const {
    bool own = false;
    if (X11PointerSource* source = X11PointerSource::shared()) source->topLevelAt(&own);
    return own;
}

void CaptureRoad::setPopupWindow(quint64 windowId) { X11PointerSource::setPopupWindow(windowId); }

bool CaptureRoad::translucentWindows() const {
    X11PointerSource* source = X11PointerSource::shared();
    return !source || source->hasCompositor();
}

quint64 CaptureRoad::focusedOtherWindow() const {
    const quint64 focused = x11focus::focusedWindow();
    return x11focus::isOwnWindow(focused) ? 0 : focused;
}

void CaptureRoad::giveFocusBack(quint64 window) { x11focus::focusWindow(window); }

void CaptureRoad::focusShownWindow(quint64 window) { x11focus::focusShownWindow(window); }

QString CaptureRoad::clipboardText() const { return QZRPasteboardProxy::pasteText(); }

CaptureRoad& CaptureRoad::current() {
    if (g_override) return *g_override;
    static CaptureRoad* loaded = CaptureRoads::load();
    return *loaded;
}

void CaptureRoad::setCurrent(CaptureRoad* road) { g_override = road; }
