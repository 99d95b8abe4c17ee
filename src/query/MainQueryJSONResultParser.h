#pragma once

#include "models/MainQueryResult.h"

#include <QJsonValue>
#include <QString>
#include <QVariantList>

#include <optional>

// Reads the service's full-entry JSON answer into a MainQueryResult and
// renders it with mainquerytemplate. While reading it records the lookup in
// the query history (when the history-recording flags allow it), marks the
// entry `favorited` from the word book and publishes the side-bar flags.
// One reader per answer; configure it, then call genHTML().
//
// Every part of the answer is optional and may have the wrong type: such a
// part counts as missing, it never stops the reading.
class MainQueryJSONResultParser {
public:
    QString word;          // the word looked up; the title when the answer has none
    QString dict;          // primary section key ("ce", "cj", "ck", "cf"); "ce" when empty
    QString another_dict;  // reverse section key ("ec", "jc", "kc", "fc")
    bool shouldSwizzleLocalParaphase = false;
    QVariantList localWordParaphase;  // {"item": {"trans": text}} elements
    QString phonetic;

    // HTML of the entry; nothing when the answer is not JSON or the template
    // fails (logged).
    std::optional<QString> genHTML(const QString& json);
    // The entry; nothing when the text is not valid JSON.
    MainQueryResultPtr parseJSON(const QString& json);
    // Whether parseJSON would read the text, without its side effects.
    static bool isReadable(const QString& json);
    // The basic translations of one dictionary section; nothing when the
    // section has no word or no "trs".
    std::optional<QVariantList> parseSimpleDict(const QJsonValue& section, bool primary) const;
    // Records a looked-up entry in the query history when the recording flags
    // ask for it (the definition: its basic translations, space-separated),
    // then consumes the flags. Only the service's answers are recorded: a
    // row keeps the answer beside the definition.
    static void recordInHistory(const QString& title, const QVariantList& simpleTrans, const QString& json);
    // Copies the four side-bar flags (all null for no result).
    static void bindToSideBarItemModel(const MainQueryResult* result);

    // The synonym words as an HTML fragment: ", <span ...>w</span>" per word,
    // less the first character. Words are HTML-escaped.
    static QString synonymWordsFragment(const QStringList& words);
};
