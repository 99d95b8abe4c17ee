#include "window/views/SmallViews.h"

#include "platform/ColorScheme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

QColor mirvokRed() { return QColor(189, 65, 64); }

void MVSegmentView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor line(165, 50, 48);
    p.setPen(QPen(line, 1));
    const qreal mid = width() * 0.5;
    p.drawLine(QPointF(mid, 0), QPointF(mid, height()));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 13, 13);
}

void MVSearchFieldView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 12, 12);
    // The field's base colour: white, or dark in the dark scheme, as its text expects.
    p.fillPath(path, palette().color(QPalette::Base));
}

void MVCustomView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
}

void MVHUDView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 6, 6);
    // Dark in both schemes; a little lighter in the dark one so it stands off the window behind.
    p.fillPath(path, ColorScheme::shared().pick(QColor(47, 47, 47, 242), QColor(72, 72, 75, 242)));
}

void MVClickableLabel::mousePressEvent(QMouseEvent* e) {
    if (delegate_ && delegate_->didClickOnLabel(this)) return;
    QLabel::mousePressEvent(e);
}

QRect adjustedFrameToVerticallyCenterText(const QRect& rect, qreal ascender, qreal descender) {
    const int inset = static_cast<int>(std::floor((rect.height() - (ascender - descender)) * 0.5) - 2);
    return rect.adjusted(0, inset, 0, -inset);
}
