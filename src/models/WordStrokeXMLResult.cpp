#include "models/WordStrokeXMLResult.h"

#include "models/MustacheData.h"

QVariantMap WordStrokeXMLResult::toMustache() const {
    QVariantMap m;
    mustachedata::insertIfSet(m, QStringLiteral("title"), title);
    mustachedata::insertIfSet(m, QStringLiteral("phone"), phone);
    mustachedata::insertIfSet(m, QStringLiteral("speech"), speech);
    mustachedata::insertIfSet(m, QStringLiteral("notice"), notice);
    QVariantList items;
    items.reserve(trans.size());
    for (const QString& t : trans) items.append(QVariantMap{{QStringLiteral("item"), t}});
    m.insert(QStringLiteral("trans"), items);
    m.insert(QStringLiteral("webTrans"), webTrans);
    return m;
}
