#include "models/LjSearchResult.h"

#include "models/MustacheData.h"

using mustachedata::insertIfSet;

QVariantMap LjSearchResult::toMustache() const {
    QVariantMap m;
    insertIfSet(m, QStringLiteral("title"), title);
    if (!subpair.isEmpty()) m.insert(QStringLiteral("subpair"), subpair);
    if (!sentences.isEmpty()) m.insert(QStringLiteral("sentences"), mustachedata::withInlineMarkup(sentences));
    insertIfSet(m, QStringLiteral("hasSentences"), hasSentences);
    insertIfSet(m, QStringLiteral("noAnySentence"), noAnySentence);
    insertIfSet(m, QStringLiteral("hasAuthSentence"), hasAuthSentence);
    insertIfSet(m, QStringLiteral("authSentences"), mustachedata::withInlineMarkup(authSentences));
    insertIfSet(m, QStringLiteral("hasMediaSentence"), hasMediaSentence);
    insertIfSet(m, QStringLiteral("mediaSentences"), mustachedata::withInlineMarkup(mediaSentences));
    m.insert(QStringLiteral("transpeech"), transpeech);
    return m;
}
