#include "capture/MiniSearchBridge.h"

#include "capture/MiniSearchQueryController.h"

#include <QEvent>

MiniSearchBridge::MiniSearchBridge(MiniSearchQueryController* controller, QObject* parent)
    : QObject(parent), controller_(controller) {}

void MiniSearchBridge::resizeWnd(const QVariant& height) {
    if (!controller_) return;
    bool ok = false;
    const double h = height.toString().trimmed().toDouble(&ok);
    if (ok) controller_->resizeWnd(h);
}

bool MiniSearchBridge::event(QEvent* e) {
    if (e->type() == QEvent::DeferredDelete) return true;
    return QObject::event(e);
}
