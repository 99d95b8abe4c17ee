#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One word as it leaves or enters the book through a file: what the user
// sees of it, without the synchronisation marks.
struct WordBookRecord {
    QString word;
    QString phonetic;    // without the brackets the book shows around it
    QString definition;  // senses one per line
    QString group;       // empty: no group
    QString dateAdded;   // "yyyy-MM-dd"; empty on import: today
    bool operator==(const WordBookRecord&) const = default;
};

// The book's files: a CSV that spreadsheets and this reader take (UTF-8,
// header row word,phonetic,definition,group,date added) and a tab-separated
// note list that Anki's text import takes as it is.
namespace wordbooktransfer {

// The stored paraphrase ("[phonetic]\n<definition>" with a two-character
// separator between senses) split for a file, and joined back.
void splitIntp(const QString& intp, QString* phonetic, QString* definition);
QString definitionForStore(const QString& definition);

QByteArray toCsv(const QList<WordBookRecord>& records);
// Front: the word and its phonetic; back: the definition, one sense a line.
QByteArray toAnki(const QList<WordBookRecord>& records);

struct CsvRead {
    QList<WordBookRecord> records;
    // "第 N 行：…", N the file's line where the row starts; empty when every
    // row was good. A file with any error must not be imported at all.
    QStringList errors;
};
// Reads a CSV of the form toCsv writes; columns are found by their header
// names, in any order, and only "word" is required.
CsvRead fromCsv(const QByteArray& bytes);

}  // namespace wordbooktransfer
