#include "models/BaikeJSONResult.h"

#include "models/MustacheData.h"

using mustachedata::insertIfSet;

QVariantMap BaikeJSONResult::toMustache() const {
    QVariantMap m;
    m.insert(QStringLiteral("source"), source);
    m.insert(QStringLiteral("noresult"), noresult);
    insertIfSet(m, QStringLiteral("input"), input);
    insertIfSet(m, QStringLiteral("title"), title);
    insertIfSet(m, QStringLiteral("headsection"), headsection);
    if (!sections.isEmpty()) m.insert(QStringLiteral("sections"), sections);
    insertIfSet(m, QStringLiteral("sourcename"), sourcename);
    insertIfSet(m, QStringLiteral("sourceurl"), sourceurl);
    insertIfSet(m, QStringLiteral("enword"), enword);
    insertIfSet(m, QStringLiteral("zhword"), zhword);
    return m;
}

QVariantMap BaikeSearchJSONResult::toMustache() const {
    QVariantMap m;
    insertIfSet(m, QStringLiteral("typo"), typo);
    insertIfSet(m, QStringLiteral("rawquery"), rawquery);
    insertIfSet(m, QStringLiteral("items"), items);
    m.insert(QStringLiteral("noresult"), noresult);
    return m;
}
