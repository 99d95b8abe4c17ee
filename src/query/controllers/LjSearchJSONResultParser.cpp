#include "query/controllers/LjSearchJSONResultParser.h"

#include "models/MustacheData.h"

#include <QJsonArray>
#include "query/controllers/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

// The entry map ends at its first missing value, as the template expects
// keys in this order.
QVariantMap sentenceItem(const QJsonObject& pair, bool* tookTranslationSpeech)
{
    const QString speechKey = pair.contains(QLatin1String("sentence-speech"))
                                  ? QStringLiteral("sentence-speech")
                                  : QStringLiteral("sentence-translation-speech");
    if (speechKey != QLatin1String("sentence-speech"))
        *tookTranslationSpeech = true;
    const std::pair<const char*, QString> order[] = {
        {"sentence", QStringLiteral("sentence-eng")},
        {"trans", QStringLiteral("sentence-translation")},
        {"speechsentence", speechKey},
    };
    QVariantMap item;
    for (const auto& [key, source] : order) {
        const QJsonValue v = pair.value(source);
        if (v.isUndefined() || v.isNull())
            break;
        item.insert(QString::fromLatin1(key), v.toVariant());
    }
    return item;
}

QVariantList nonEmptyList(const QJsonObject& root, const char* section)
{
    const QJsonValue list = root.value(QLatin1String(section)).toObject().value(QLatin1String("sent"));
    if (!list.isArray())
        return {};
    return list.toArray().toVariantList();
}

}  // namespace

std::optional<LjSearchResult> LjSearchJSONResultParser::parseJSON(const QString& text) const
{
    LjSearchResult result;
    if (text.isEmpty()) {
        result.noAnySentence = mustachedata::flagOn();
        return result;
    }
    QJsonValue doc;
    if (!parseJsonText(text, &doc))
        return std::nullopt;
    const QJsonObject root = doc.toObject();
    const QJsonArray pairs =
        root.value(QLatin1String("blng_sents")).toObject().value(QLatin1String("sentence-pair")).toArray();
    if (pairs.isEmpty()) {
        result.noAnySentence = mustachedata::flagOn();
        return result;
    }
    QVariantList sentences;
    for (const QJsonValue& p : pairs) {
        bool tookTranslationSpeech = false;
        sentences.append(QVariantMap{{QStringLiteral("item"), sentenceItem(p.toObject(), &tookTranslationSpeech)}});
        if (tookTranslationSpeech)
            result.transpeech = true;
    }
    result.sentences = sentences;
    const QVariantList auth = nonEmptyList(root, "auth_sents");
    if (!auth.isEmpty()) {
        result.hasAuthSentence = mustachedata::flagOn();
        result.authSentences = auth;
    }
    const QVariantList media = nonEmptyList(root, "media_sents");
    if (!media.isEmpty()) {
        result.hasMediaSentence = mustachedata::flagOn();
        result.mediaSentences = media;
    }
    result.noAnySentence.clear();
    result.hasSentences = mustachedata::flagOn();
    return result;
}

std::optional<QString> LjSearchJSONResultParser::genHTML(const QString& text) const
{
    const auto result = parseJSON(text);
    if (!result)
        return std::nullopt;
    return mustachedata::render(QStringLiteral("ljtemplate"), result->toMustache());
}
