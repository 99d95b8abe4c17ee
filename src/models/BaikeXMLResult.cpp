#include "models/BaikeXMLResult.h"

#include "models/MustacheData.h"

using mustachedata::insertIfSet;

QVariantMap BaikeXMLResult::toMustache() const {
    QVariantMap m;
    insertIfSet(m, QStringLiteral("title"), title);
    insertIfSet(m, QStringLiteral("headsection"), headsection);
    if (!items.isEmpty()) m.insert(QStringLiteral("items"), items);
    if (!sections.isEmpty()) m.insert(QStringLiteral("sections"), sections);
    insertIfSet(m, QStringLiteral("noAnyTrans"), noAnyTrans);
    return m;
}

QVariantMap FanyiSearchXMLResult::toMustache() const {
    QVariantMap m;
    insertIfSet(m, QStringLiteral("sentence"), sentence);
    insertIfSet(m, QStringLiteral("translation"), translation);
    if (!translations.isEmpty()) m.insert(QStringLiteral("translations"), translations);
    return m;
}
