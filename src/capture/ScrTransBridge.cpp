#include "capture/ScrTransBridge.h"

#include <QEvent>

ScrTransBridge::ScrTransBridge(QObject* owner, Calls calls, QObject* parent)
    : QObject(parent), owner_(owner), calls_(std::move(calls)) {}

void ScrTransBridge::resizeWnd(const QVariant& height) {
    if (!owner_) return;
    bool ok = false;
    const double h = height.toString().trimmed().toDouble(&ok);
    if (ok) calls_.resizeWnd(h);
}

void ScrTransBridge::doQueryFullWord() {
    if (owner_) calls_.doQueryFullWord();
}

bool ScrTransBridge::event(QEvent* e) {
    if (e->type() == QEvent::DeferredDelete) return true;
    return QObject::event(e);
}
