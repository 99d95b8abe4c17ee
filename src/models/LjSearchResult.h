#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// The example sentences of a word (data of ljtemplate). Flags are " " or null.
class LjSearchResult {
public:
    QString title;
    QVariantList subpair;          // {"item": {"queryword", "displayword"}}
    QVariantList sentences;        // {"item": {"sentence", "trans", "speechsentence"}}
    QString hasSentences;
    QString noAnySentence;
    QString hasAuthSentence;
    QVariant authSentences;        // the service's objects, unchanged
    QString hasMediaSentence;
    QVariant mediaSentences;       // the service's objects, unchanged
    bool transpeech = false;

    QVariantMap toMustache() const;
};
