#include "capture/ScrTransBridge.h"

#include "capture/ScrTransController.h"

#include <QEvent>

ScrTransBridge::ScrTransBridge(ScrTransController* popup, QObject* parent) : QObject(parent), popup_(popup) {}

void ScrTransBridge::resizeWnd(const QVariant& height) {
    if (!popup_) return;
    bool ok = false;
    const double h = height.toString().trimmed().toDouble(&ok);
    if (ok) popup_->resizeWnd(h);
}

void ScrTransBridge::doQueryFullWord() {
    if (popup_) popup_->doQueryFullWord();
}

bool ScrTransBridge::event(QEvent* e) {
    if (e->type() == QEvent::DeferredDelete) return true;
    return QObject::event(e);
}
