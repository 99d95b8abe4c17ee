#pragma once

#include "models/BaikeJSONResult.h"

#include <QString>
#include <QVariantMap>
#include <optional>

// Reads the encyclopedia answers of the dictionary service: one article, or
// the list of related entries when there is no article.
class BaikeJSONResultParser {
public:
    // Where Wikipedia articles say they come from.
    static QString wikipediaHomeUrl();

    BaikeJSONResult parseJSON(const QString& text) const;
    // bktemplate for an encyclopedia article, wikitemplate otherwise.
    std::optional<QString> genHTML(const BaikeJSONResult* article) const;
    // The two articles of a bilingual pair ("zhword", "enword") with bkwikitemplate.
    std::optional<QString> genHTMLWithZhEn(const QVariantMap* results) const;

    BaikeSearchJSONResult parseSearchJSON(const QString& text) const;
    std::optional<QString> htmlSearchResult(const QString& text) const;
};
