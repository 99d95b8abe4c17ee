#include "query/JsonPath.h"

#include "models/MustacheData.h"

namespace jsonpath {

QString text(const QJsonValue& v) {
    if (v.isString()) return v.toString();
    if (v.isDouble()) return mustachedata::numberText(v.toDouble());
    return QString();
}

QVariant asSent(const QJsonValue& v) {
    if (!present(v)) return QVariant();
    return v.toVariant();
}

}  // namespace jsonpath
