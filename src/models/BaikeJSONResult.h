#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// One encyclopedia article (data of bktemplate, wikitemplate, bkwikitemplate).
class BaikeJSONResult {
public:
    enum Source { NoArticle = 0, BaikeDetail = 1, Wikipedia = 2 };

    int source = NoArticle;
    bool noresult = false;
    QString input;        // the answer's "input" less a leading "bk:"
    QString title;
    QString headsection;  // lead text, BaikeDetail only
    QVariantList sections;
    QString sourcename;
    QString sourceurl;
    QString enword;       // English counterpart, BaikeDetail only
    QString zhword;       // Chinese counterpart, Wikipedia only

    QVariantMap toMustache() const;
};

// Related encyclopedia entries (data of bksearchtemplate).
class BaikeSearchJSONResult {
public:
    QString typo;
    QString rawquery;
    QVariant items;       // the service's list, unchanged
    bool noresult = false;

    QVariantMap toMustache() const;
};
