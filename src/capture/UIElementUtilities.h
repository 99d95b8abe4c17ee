#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVariant>

// Readable descriptions of accessibility values, for diagnostics. Values are
// plain Qt values: QPointF, QSizeF, QRectF, a Range, a list, an Element, text.
class UIElementUtilities {
public:
    struct Range {
        qint64 pos = 0;
        qint64 len = 0;
    };
    struct Element {
        QString role;
        QString title;
    };

    // "x=1 y=2", "w=3 h=4", "x=.. y=.. w=.. h=..", "pos=5 len=6" (verbose:
    // wrapped as "<AXPointValue ...>" etc.); "AXValue???" for anything else.
    static QString stringDescriptionOfAXValue(const QVariant& value, bool verbose);
    // Null for null; "<array of size N>" for a list; "<role: “title”>" or
    // "<role>" for an element; a geometry value as above; a text as itself.
    static QString descriptionOfValue(const QVariant& value, bool verbose);
};

Q_DECLARE_METATYPE(UIElementUtilities::Range)
Q_DECLARE_METATYPE(UIElementUtilities::Element)
