#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>

// An encyclopedia article or search read from the XML answer (bktemplate).
class BaikeXMLResult {
public:
    QString title;
    QString headsection;
    QVariantList items;     // {"item": {"title", "summary", "image"}}
    QVariantList sections;  // {"item": {"subtitle", "content"}}
    QString noAnyTrans;     // " " when items, sections and head section are all empty

    QVariantMap toMustache() const;
};

// A sentence translation read from the XML answer.
class FanyiSearchXMLResult {
public:
    QString sentence;
    QString translation;
    QVariantList translations;

    QVariantMap toMustache() const;
};
