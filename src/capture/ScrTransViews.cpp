#include "capture/ScrTransViews.h"

#include <QPainter>
#include <QPainterPath>

MVScrTranRoundWndView::MVScrTranRoundWndView(QWidget* parent) : QWidget(parent) {}

void MVScrTranRoundWndView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!testAttribute(Qt::WA_TranslucentBackground)) {
        // No compositor: corners cannot be clear, so the window is a plain
        // white rectangle with a hairline.
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(0, 0, 0, 60));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.fillPath(path, Qt::white);
    p.setPen(QColor(0, 0, 0, 40));
    p.drawPath(path);
}

MVScrTransTriangleVIew::MVScrTransTriangleVIew(QWidget* parent) : QWidget(parent) {
    // Before any result: the darker red of the set-up.
    color_ = QColor(189, 65, 64);
}

void MVScrTransTriangleVIew::setColor(const QColor& c) {
    color_ = c;
    update();
}

void MVScrTransTriangleVIew::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath corner;
    corner.moveTo(0, 0);
    corner.lineTo(width(), 0);
    corner.lineTo(width(), height());
    corner.closeSubpath();
    p.fillPath(corner, color_);
}
