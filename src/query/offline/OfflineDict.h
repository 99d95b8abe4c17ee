#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// Word lookups answered from the dictionary shipped among the resources
// (mvdict.idx and its data files), for when the service cannot be reached.
namespace OfflineDict {

inline constexpr int kFullEntry = 1;    // answers a MainQueryResultPtr
inline constexpr int kQuickResult = 2;  // answers an FSearchResultPtr
inline constexpr int kCapturePopup = 3; // answers a WordStrokeXMLResultPtr

// One stored entry, split for display.
struct Entry {
    bool found = false;
    QString title;      // the headword as stored (found) or the lower-cased query
    QString phone;      // "[...]" or null
    QStringList senses;
    bool unavailable = false;  // not found, and a dictionary file is missing or damaged
};

// Turns a leading "/code/" into "[symbols]" in place; returns the index of the
// closing "]" or -1 when the text does not start with a complete "/…/".
int ConvertPhonetic(QString& text);

// "ni3 hao3, shuo1" as "nǐ hǎo, shuō": Chinese readings are stored with tone
// numbers. Text that is not numbered pinyin throughout comes back unchanged.
QString pinyinWithToneMarks(const QString& numbered);

// Splits a stored entry text into phonetic (pinyin with tone marks) and senses.
Entry splitEntryText(const QString& word, QString text);

// Looks `word` up in `folder`/`indexName` (the data files lie beside it).
Entry lookupEntry(const QString& word, const QString& indexName, const QString& folder);

// The offline answer for RequestData: a result object for the request type,
// or a null QVariant when the request type gets no answer or the dictionary
// is unavailable. Reads the
// resources' dict folder; `folder` overrides it (tests).
QVariant answer(const QString& word, const QString& indexName, int requestType, int dictType,
                const QString& folder = QString());

// Whether the latest lookup missed because a dictionary file is missing,
// cut short or damaged (the pages then say the offline dictionary is
// unavailable rather than blaming the network). Each such file is logged
// once per run.
bool unavailable();

// What every page says when the service cannot be reached and unavailable()
// holds: one wording wherever the user meets it.
QString unavailableText();

// Makes RequestData answer offline lookups from the shipped dictionary.
void install();

}  // namespace OfflineDict
