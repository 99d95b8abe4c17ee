#include "models/FanyiSearchResult.h"

#include "models/MustacheData.h"

QVariantMap FanyiSearchResult::toMustache() const {
    QVariantMap m;
    mustachedata::insertIfSet(m, QStringLiteral("sentence"), sentence);
    mustachedata::insertIfSet(m, QStringLiteral("translation"), translation);
    if (!translations.isEmpty()) m.insert(QStringLiteral("translations"), translations);
    return m;
}
