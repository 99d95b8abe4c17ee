#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <utility>

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
    // "第 N 行：…", N the file's line where the row starts: the first
    // kErrorsKept of them, and how many rows were bad in all. Empty when
    // every row was good. A file with any error must not be imported at all.
    QStringList errors;
    qsizetype errorCount = 0;
    // A hostile file may have a bad row on every line: a message for each
    // took gigabytes, while the user reads a few.
    static constexpr qsizetype kErrorsKept = 8;
};

// Reads a CSV of the form toCsv writes, as its bytes come in pieces cut
// anywhere, so a large file is never held whole (nor as text); columns are
// found by their header names, in any order, and only "word" is required.
// Fields keep their spaces; the mark that made a cell safe for a
// spreadsheet is taken off again.
class CsvParser {
public:
    void feed(QByteArrayView bytes);
    // The good rows read since the last call, for a reader that passes them
    // on as it goes instead of holding a large file's words at once; the
    // errors stay for finish().
    QList<WordBookRecord> takeRecords() { return std::exchange(result_.records, {}); }
    CsvRead finish();

private:
    void parseLines(QByteArrayView lines);
    void endField();
    void endRow();
    void takeRow();
    QString interned(const QString& value);

    QByteArray pending_;  // bytes after the last line break fed
    int byteLine_ = 1;    // the file's line pending_ starts on
    bool started_ = false;
    bool broken_ = false;  // quoting or encoding broke: nothing after it is read
    QString structural_;   // why, when broken_
    // The row being split.
    int line_ = 1;
    int rowLine_ = 1;
    QStringList fields_;
    QString field_;
    bool quoted_ = false;
    bool wasQuoted_ = false;
    // The rows so far.
    QList<int> columnOf_;  // file column -> record field, -1 ignored; empty before the header
    int headerLine_ = 0;
    QSet<QString> common_;  // dates and groups repeat: one copy each
    CsvRead result_;
};
CsvRead fromCsv(const QByteArray& bytes);

}  // namespace wordbooktransfer
