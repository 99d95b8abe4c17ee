#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

namespace SQLite { class Database; }

// One row of the query history as the word book screen lists it.
struct DictQueryHistoryItem {
    QString orignWord;    // the stored key (apostrophes still replaced); deletes the row
    QString displayWord;  // the word as shown
    QString definition;   // the stored definition less its leading phonetic line
};

// The query history in history.db: every word whose full entry a lookup read,
// with the definition and JSON answer of its first lookup. Each operation
// opens its own connection and closes it when done.
//
// Every operation runs on one history thread, in the order called, so a
// lookup never waits on the disk: writes and deletions return at once, reads
// wait for what was queued before them. The open path (sharedInstance(), the
// constructor) stays on the caller's thread.
//
// In the stored key and definition each apostrophe is written as two
// double-quote characters; that stored form stays as it is for files written
// by earlier versions.
class MVDictHistory {
public:
    // The store over <data folder>/history.db; nullptr while that file cannot
    // be opened (the next call tries again).
    static MVDictHistory* sharedInstance();
    // Drops the shared store so the next sharedInstance() opens the file again
    // (tests that move the data folder).
    static void resetSharedInstance();

    // A store over any file; creates the tables. isValid() is false when the
    // file could not be opened.
    explicit MVDictHistory(const QString& databasePath);
    bool isValid() const { return valid_; }
    QString databasePath() const { return path_; }

    // Queued: one transaction on the history thread. DATE and TIME are taken now.
    void addWord(const QString& word, const QString& definition, const QString& json);
    // A lookup's record into the shared store; even opening the file happens
    // on the history thread.
    static void recordLookup(const QString& word, const QString& definition, const QString& json);
    // Waits until everything queued so far has reached the file (quitting, tests).
    static void finishQueuedWork();
    // Newest first; std::nullopt-like empty-and-false when the file can't be opened.
    QVector<DictQueryHistoryItem> getDictHistory(bool* ok = nullptr) const;
    // Queued.
    void deleteDictQueryHistory(const DictQueryHistoryItem& item);
    void clearQueryHistory();
    // The JSON answer stored with a word at its first lookup that had one;
    // null when none.
    QString jsonDefinition(const QString& word) const;

    // Opens a new connection for one operation; nullptr when it can't be
    // opened (logged as "Err %d: %@").
    std::unique_ptr<SQLite::Database> getDatabase() const;
    static std::unique_ptr<SQLite::Database> openDatabase(const QString& path, bool readOnly);

    // The clock behind DATE and TIME; tests make lookups a second apart.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // The stored forms.
    static QString storedKey(const QString& word);     // ' -> ""
    static QString displayForm(const QString& stored); // "" -> '
    // A stored definition as listed: without its leading phonetic line.
    static QString listedDefinition(const QString& stored);
    // TIME: fixed-width UTC text that sorts chronologically.
    static QString timeText(const QDateTime& when);

private:
    bool createTables();

    QString path_;
    bool valid_ = false;
    bool readOnly_ = false;
    std::function<QDateTime()> clock_;
};
