#include "models/FSearchResult.h"

#include "models/MustacheData.h"

QVariantMap FSearchResult::toMustache() const {
    QVariantMap m;
    mustachedata::insertIfSet(m, QStringLiteral("title"), title);
    mustachedata::insertIfSet(m, QStringLiteral("phone"), phone);
    QVariantList items;
    items.reserve(trans.size());
    for (const QString& t : trans) items.append(QVariantMap{{QStringLiteral("item"), t}});
    m.insert(QStringLiteral("trans"), items);
    m.insert(QStringLiteral("haveSpeech"), haveSpeech);
    m.insert(QStringLiteral("audioBase"), mustachedata::audioBase());
    m.insert(QStringLiteral("speechTitle"), mustachedata::urlEscaped(title));
    return m;
}
