#include "window/views/MVToolBarItemView.h"

#include "window/ImageLibrary.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

MVToolBarItemView::MVToolBarItemView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void MVToolBarItemView::changeImageViewWithName(const QString& name, double seconds) {
    currentImage_ = name;
    if (!imageView_) return;
    const QSize size = imageView_->size().isEmpty() ? QSize(16, 16) : imageView_->size();
    imageView_->setPixmap(ImageLibrary::pixmap(name, size));
    if (seconds <= 0) return;
    auto* effect = new QGraphicsOpacityEffect(imageView_);
    imageView_->setGraphicsEffect(effect);
    auto* anim = new QPropertyAnimation(effect, "opacity", effect);
    anim->setDuration(static_cast<int>(seconds * 1000));
    anim->setStartValue(0.2);
    anim->setEndValue(1.0);
    QPointer<QLabel> view = imageView_;
    connect(anim, &QPropertyAnimation::finished, this, [view] {
        if (view) view->setGraphicsEffect(nullptr);
    });
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void MVToolBarItemView::setBackgroundColor(const QColor& c) {
    background_ = c;
    update();
}

void MVToolBarItemView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && delegate_) {
        delegate_->didClickOnItemView(this);
        return;
    }
    QWidget::mousePressEvent(e);
}

void MVToolBarItemView::mouseReleaseEvent(QMouseEvent* e) {
    if (delegate_ && delegate_->didMouseUpFromItemView(this)) return;
    QWidget::mouseReleaseEvent(e);
}

void MVToolBarItemView::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), radius_, radius_);
    p.fillPath(path, background_);
}
