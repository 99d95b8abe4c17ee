#include "query/JsonPath.h"

#include "models/MustacheData.h"

namespace jsonpath {

QString text(const QJsonValue& v) {
    // An empty string is a value, not a missing one: records go on after it.
    if (v.isString()) {
        const QString s = v.toString();
        return s.isNull() ? QStringLiteral("") : s;
    }
    if (v.isDouble()) return mustachedata::numberText(v.toDouble());
    return QString();
}

QVariant asSent(const QJsonValue& v) {
    if (!present(v)) return QVariant();
    return v.toVariant();
}

}  // namespace jsonpath
