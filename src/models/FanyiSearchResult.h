#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>

// A sentence translation. The JSON reader fills `translation` only.
class FanyiSearchResult {
public:
    QString sentence;
    QString translation;
    QVariantList translations;

    QVariantMap toMustache() const;
};
