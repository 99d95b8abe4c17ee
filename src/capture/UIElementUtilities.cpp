#include "capture/UIElementUtilities.h"

namespace {
QString num(double v) { return QString::number(v, 'g', 6); }
}  // namespace

QString UIElementUtilities::stringDescriptionOfAXValue(const QVariant& value, bool verbose) {
    const QMetaType t = value.metaType();
    if (t == QMetaType::fromType<QPointF>() || t == QMetaType::fromType<QPoint>()) {
        const QPointF p = value.toPointF();
        const QString s = QStringLiteral("x=%1 y=%2").arg(num(p.x()), num(p.y()));
        return verbose ? QStringLiteral("<AXPointValue %1>").arg(s) : s;
    }
    if (t == QMetaType::fromType<QSizeF>() || t == QMetaType::fromType<QSize>()) {
        const QSizeF z = value.toSizeF();
        const QString s = QStringLiteral("w=%1 h=%2").arg(num(z.width()), num(z.height()));
        return verbose ? QStringLiteral("<AXSizeValue %1>").arg(s) : s;
    }
    if (t == QMetaType::fromType<QRectF>() || t == QMetaType::fromType<QRect>()) {
        const QRectF r = value.toRectF();
        const QString s = QStringLiteral("x=%1 y=%2 w=%3 h=%4").arg(num(r.x()), num(r.y()), num(r.width()), num(r.height()));
        return verbose ? QStringLiteral("<AXRectValue  %1>").arg(s) : s;
    }
    if (t == QMetaType::fromType<Range>()) {
        const Range r = value.value<Range>();
        const QString s = QStringLiteral("pos=%1 len=%2").arg(r.pos).arg(r.len);
        return verbose ? QStringLiteral("<AXRangeValue %1>").arg(s) : s;
    }
    return QStringLiteral("AXValue???");
}

QString UIElementUtilities::descriptionOfValue(const QVariant& value, bool verbose) {
    if (!value.isValid() || value.isNull()) return QString();
    const QMetaType t = value.metaType();
    if (t == QMetaType::fromType<QVariantList>() || t == QMetaType::fromType<QStringList>())
        return QStringLiteral("<array of size %1>").arg(value.toList().size());
    if (t == QMetaType::fromType<Element>()) {
        const Element e = value.value<Element>();
        if (e.title.isEmpty()) return QStringLiteral("<%1>").arg(e.role);
        return QStringLiteral("<%1: \u201c%2\u201d>").arg(e.role, e.title);
    }
    if (t == QMetaType::fromType<QString>()) return value.toString();
    const QString geometry = stringDescriptionOfAXValue(value, verbose);
    if (geometry != QLatin1String("AXValue???")) return geometry;
    return value.toString();
}
