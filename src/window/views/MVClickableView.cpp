#include "window/views/MVClickableView.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

MVClickableView::MVClickableView(QWidget* parent) : QWidget(parent) {}

void MVClickableView::addTrackingAreaWithRect(const QRect& rect) {
    removeTrackingArea();
    tracking_ = rect;
    tracking_on_ = true;
    setMouseTracking(true);
}

void MVClickableView::removeTrackingArea() {
    tracking_on_ = false;
    tracking_ = QRect();
}

void MVClickableView::setBackgroundColor(const QColor& c) {
    background_ = c;
    update();
}

void MVClickableView::mousePressEvent(QMouseEvent* e) {
    if (delegate_) delegate_->didClickOnView(this);
    e->accept();
}

void MVClickableView::mouseReleaseEvent(QMouseEvent* e) {
    if (delegate_ && delegate_->didMouseUpFromView(this)) return;
    QWidget::mouseReleaseEvent(e);
}

void MVClickableView::enterEvent(QEnterEvent* e) {
    if (tracking_on_ && !tracking_.contains(e->position().toPoint())) return;
    if (delegate_ && delegate_->didMouseEnteredInView(this)) return;
    QWidget::enterEvent(e);
}

void MVClickableView::leaveEvent(QEvent* e) {
    if (delegate_ && delegate_->didMouseExitedFromView(this)) return;
    QWidget::leaveEvent(e);
}

void MVClickableView::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
    p.fillPath(path, background_);
}
