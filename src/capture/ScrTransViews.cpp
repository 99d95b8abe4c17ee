#include "capture/ScrTransViews.h"

#include "platform/ColorScheme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// The popup's ground under its page: white, or the pages' dark ground.
QColor ground() { return ColorScheme::shared().pick(QColor(Qt::white), QColor(0x1e, 0x1e, 0x20)); }
}  // namespace

MVScrTranRoundWndView::MVScrTranRoundWndView(QWidget* parent) : QWidget(parent) {
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, qOverload<>(&QWidget::update));
}

void MVScrTranRoundWndView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!testAttribute(Qt::WA_TranslucentBackground)) {
        // No compositor: corners cannot be clear, so the window is a plain
        // white rectangle with a hairline.
        p.fillRect(rect(), ground());
        p.setPen(ColorScheme::shared().pick(QColor(0, 0, 0, 60), QColor(255, 255, 255, 60)));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.fillPath(path, ground());
    p.setPen(ColorScheme::shared().pick(QColor(0, 0, 0, 40), QColor(255, 255, 255, 40)));
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
