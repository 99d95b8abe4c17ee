#include "capture/CaptureRoad.h"

#include "capture/CaptureRoads.h"

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

void CaptureRoad::setDesktop(std::unique_ptr<Desktop> desktop) { desktop_ = std::move(desktop); }

bool CaptureRoad::watchPointer(QObject* context, PointerWatch watch) {
    return desktop_ && desktop_->watchPointer(context, std::move(watch));
}

bool CaptureRoad::pointerOverOwnWindow() const { return desktop_ && desktop_->pointerOverOwnWindow(); }

void CaptureRoad::setPopupWindow(quint64 windowId) {
    if (desktop_) desktop_->setPopupWindow(windowId);
}

// Without a desktop to ask, the windows are not on an X display.
bool CaptureRoad::translucentWindows() const { return !desktop_ || desktop_->translucentWindows(); }

quint64 CaptureRoad::focusedOtherWindow() const { return desktop_ ? desktop_->focusedOtherWindow() : 0; }

void CaptureRoad::giveFocusBack(quint64 window) {
    if (desktop_) desktop_->giveFocusBack(window);
}

void CaptureRoad::focusShownWindow(quint64 window) {
    if (desktop_) desktop_->focusShownWindow(window);
}

QString CaptureRoad::clipboardText() const { return desktop_ ? desktop_->clipboardText() : QString(); }

CaptureRoad& CaptureRoad::current() {
    if (g_override) return *g_override;
    static CaptureRoad* loaded = CaptureRoads::load();
    return *loaded;
}

void CaptureRoad::setCurrent(CaptureRoad* road) { g_override = road; }
