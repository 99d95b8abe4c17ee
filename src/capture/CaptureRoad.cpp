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

CaptureRoad& CaptureRoad::current() {
    if (g_override) return *g_override;
    static CaptureRoad* loaded = CaptureRoads::load();
    return *loaded;
}

void CaptureRoad::setCurrent(CaptureRoad* road) { g_override = road; }
