#include "capture/x11/X11Desktop.h"

#include "capture/x11/QZRPasteboardProxy.h"
#include "capture/x11/X11FocusReturn.h"
#include "capture/x11/X11PointerSource.h"

bool X11Desktop::watchPointer(QObject* context, CaptureRoad::PointerWatch watch) {
    X11PointerSource* source = X11PointerSource::shared();
    if (!source) return false;
    QObject::connect(source, &X11PointerSource::pressed, context, std::move(watch.pressed));
    QObject::connect(source, &X11PointerSource::released, context, std::move(watch.released));
    QObject::connect(source, &X11PointerSource::moved, context, std::move(watch.moved));
    return true;
}

bool X11Desktop::pointerOverOwnWindow() const {
    bool own = false;
    if (X11PointerSource* source = X11PointerSource::shared()) source->topLevelAt(&own);
    return own;
}

void X11Desktop::setPopupWindow(quint64 windowId) { X11PointerSource::setPopupWindow(windowId); }

bool X11Desktop::translucentWindows() const {
    X11PointerSource* source = X11PointerSource::shared();
    return !source || source->hasCompositor();
}

quint64 X11Desktop::focusedOtherWindow() const {
    const quint64 focused = x11focus::focusedWindow();
    return x11focus::isOwnWindow(focused) ? 0 : focused;
}

void X11Desktop::giveFocusBack(quint64 window) { x11focus::focusWindow(window); }

void X11Desktop::focusShownWindow(quint64 window) { x11focus::focusShownWindow(window); }

QString X11Desktop::clipboardText() const { return QZRPasteboardProxy::pasteText(); }
