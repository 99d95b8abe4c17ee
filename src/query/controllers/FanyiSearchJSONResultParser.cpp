#include "query/controllers/FanyiSearchJSONResultParser.h"

#include <QJsonArray>
#include "query/controllers/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<FanyiSearchResult> FanyiSearchJSONResultParser::parseJSON(const QString& text) const
{
    QJsonValue doc;
    if (!parseJsonText(text, &doc))
        return std::nullopt;
    FanyiSearchResult result;
    // The service splits a text into paragraphs and segments; the pieces
    // carry their own spacing, so they are joined as they come.
    const QJsonArray outer = doc.toObject().value(QLatin1String("translateResult")).toArray();
    for (const QJsonValue& inner : outer) {
        for (const QJsonValue& segment : inner.toArray()) {
            if (!segment.isObject())
                continue;
            const QJsonValue tgt = segment.toObject().value(QLatin1String("tgt"));
            if (tgt.isString())
                result.translation += tgt.toString();
        }
    }
    return result;
}

std::optional<QString> FanyiSearchJSONResultParser::genHTML(const QString& text) const
{
    const auto result = parseJSON(text);
    if (!result)
        return std::nullopt;
    return result->translation;
}
