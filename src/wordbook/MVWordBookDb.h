#pragma once

#include "wordbook/MVWordBookItem.h"
#include "wordbook/WordBookTransfer.h"
#include "wordbook/WordRows.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace SQLite { class Database; }

// One entry of a word list as the screens show it.
struct WordBookEntry {
    QString word;
    QString intp;
    bool operator==(const WordBookEntry&) const = default;
};

// Section key ("yyyy-MM-dd", "A".."Z", a pinyin initial or "#") → entries in
// query order.
using WordSections = QMap<QString, QList<WordBookEntry>>;
// One word the user added, with the account it was added for.
struct WordBookAdd {
    QString word;
    QString phonetic;
    QString definition;
    QString user;
};

// What an import did: nothing at all unless ok.
struct WordBookImportOutcome {
    bool ok = false;
    int added = 0;
    int alreadyStored = 0;  // left as they were, never overwritten
};

// Received actions, one per word. Ordered by word so that the batches of a
// commit are reproducible.
using SyncActionMap = QMap<QString, MVSyncActionPtr>;

// The word book's SQLite store (wordbook.db). Every operation opens its own
// connection and closes it before returning, so the store can be called from
// any thread; SQLite's locking (with a busy timeout) orders concurrent writers.
// On the main thread that timeout is kMainThreadBusyMs: while another program
// holds the file, a read there fails fast (wbsql::lastFailure says busy)
// instead of freezing the window.
class MVWordBookDb {
public:
    static constexpr int kBusyTimeoutMs = 5000;
    static constexpr int kMainThreadBusyMs = 60;

    // Full path of the database file; the folder must exist. currentUser
    // names the account whose local timestamp is reset when the file has to
    // be created (the facade's signed-in user). Opens the file (see open).
    explicit MVWordBookDb(const QString& dbPath, std::function<QString()> currentUser = {});
    ~MVWordBookDb();

    // The file of that name in the application's data folder.
    static std::unique_ptr<MVWordBookDb> initWithFileName(const QString& fileName,
                                                          std::function<QString()> currentUser = {});

    const QString& dbPath() const { return dbPath_; }
    // Looks the file over (damaged, newer layout) and gives it its tables.
    // False while another program holds it locked: call it again, off the
    // main thread, until it answers true.
    bool open();
    bool isOpen() const { return open_; }
    // False while the file cannot be read (another program holds it).
    bool isReadable() const;
    // The file is of a newer layout (the user was told): opened read-only,
    // every write fails.
    bool isReadOnly() const { return readOnly_; }
    // After a write failed on a damaged file: moves it aside when SQLite
    // confirms the damage, so the next connection makes a fresh one.
    bool setAsideIfDamaged();

    // The account whose local timestamp is reset when the file has to be
    // created again; the facade supplies its current user.
    void setCurrentUserProvider(std::function<QString()> provider);

    QString userSQL() const;
    void setUserSQL(const QString& sql);
    // The three forms of the user filter; ids are written as SQL literals.
    static QString userCondition(const QString& column, const QString& user, const QString& preUser);
    static QString sqlLiteral(const QString& text);

    static bool checkString(const QString& s) { return !s.isEmpty(); }
    static QString getSafeStringForDb(const QString& s);
    static QString getStringFromSafeString(const QString& s);

    // Per-account synchronisation timestamps (user defaults).
    bool setTimeStamp(const QString& ts, const QString& user);
    QString getTimeStampForUser(const QString& user) const;
    bool setRemTimeStamp(const QString& ts, const QString& user);
    QString getRemTimeStampForUser(const QString& user) const;

    // Words.
    bool addWord(const QString& word, const QString& phonetic, const QString& definition, const QString& user);
    // Several adds in one transaction, each as addWord; false (and nothing
    // written) when any of them fails.
    bool addWordList(const QList<WordBookAdd>& adds);
    // Replaces the paraphrase of the word's row and marks it for upload,
    // keeping its date, groups and review record; false when no live row.
    bool rewriteParaphrase(const QString& word, const QString& phonetic, const QString& definition);
    bool deleteWord(const QString& word, const QString& user, const QString& preUser);
    bool deleteWords(const QStringList& words, const QString& user, const QString& preUser);
    // The words with their groups and review records, in one transaction:
    // true only when all of it is in the file.
    bool removeWords(const QStringList& words, const QString& user, const QString& preUser);
    bool hasWord(const QString& word) const;
    bool hasUnSyncedWordsForUser(const QString& user) const;
    int getNumOfSyncedWordForUser(const QString& user) const;

    // Groups.
    QStringList getAllTags() const;
    bool addWordTags(const QStringList& names, const QString& user);
    bool addWords(const QStringList& words, const QString& tag, const QString& user);
    bool deleteTagsForWord(const QString& word);
    bool deleteTagsForWords(const QStringList& words);
    bool deleteTag(const QString& tag);
    // Renames group `from` to `to` (listed first), or with an empty `to`
    // deletes it and leaves its words in no group; its words are marked for
    // upload. One transaction: all of it or nothing.
    bool moveGroup(const QString& from, const QString& to, const QString& user);
    QString getTagsForWord(const QString& word) const;

    // Lists.
    WordSections getWordsSortedByDate(bool byDate, const QString& tag, const QString& user,
                                      const QString& preUser, bool preloading) const;
    WordSections getWordsSortedWithNoTagByDate(bool byDate, const QString& user, const QString& preUser) const;
    static QString getFirstCharCategory(const QString& word);
    // Section keys in the order a list shows them: letters ascending, or
    // the newest day first.
    static QStringList sectionOrder(QStringList keys, bool byDate);
    // A list as the screen shows it: one group's, those in no group
    // (`untagged`), or all for an empty tag, its sections in order.
    WordRows wordRows(bool byDate, const QString& tag, bool untagged, const QString& user,
                      const QString& preUser) const;

    // Files (MVWordBookDbTransfer.cpp). The live words of the account filter
    // with their group, oldest first: one group's, or all for an empty name.
    // Nothing when the file could not be read (wbsql::lastFailure says why).
    std::optional<QList<WordBookRecord>> exportRecords(const QString& group, const QString& user,
                                                       const QString& preUser) const;
    // Adds, for `user`, every record whose word is not in the book yet (its
    // group made when missing), all in one transaction: a failure leaves the
    // book as it was. Stored words keep their paraphrase, date and group.
    // The records come a batch at a time from nextBatch, which answers false
    // when there are no more, so a large file's words are never all held.
    WordBookImportOutcome importRecords(const std::function<bool(QList<WordBookRecord>&)>& nextBatch,
                                        const QString& user);

    // Synchronisation data. A synchronisation passes the user filter it
    // started with (userCondition); a null filter means the current one.
    QList<MVWordBookItemPtr> getAddList(const QString& filter = QString()) const;
    QList<MVWordBookItemPtr> getDelList(const QString& filter = QString()) const;
    QMap<QString, MVWordBookRemItemPtr> getChangedRemList(const QString& filter = QString()) const;
    bool carryWordsFromUser(const QString& from, const QString& to);
    bool clearChangedWordsWithAddList(const QList<MVSyncActionPtr>& addList,
                                      const QList<MVSyncActionPtr>& delList, const QString& filter = QString());
    // False when any batch could not be written; batches before it stay.
    bool commitSyncingActionList(const SyncActionMap& actions, const QString& user,
                                 const QString& filter = QString());
    static constexpr int kCommitBatch = 100;

    // Review plan.
    bool addRemForWords(const QStringList& words, const QString& user);
    bool delRemForWord(const QString& word);
    bool delRemForWords(const QStringList& words);
    bool canAddOneRemWord();
    void markOneRemWordAddedToReviewPlan();
    void markOneRemWordDelFromReviewPlan();
    static double intervalForProgress(int progress);

    // Called after each batch of a commit is durable (tests, measurements).
    void setBatchCommittedHook(std::function<void(int batch)> hook);

private:
    std::unique_ptr<SQLite::Database> dateBase() const;
    bool createSchema(SQLite::Database& db) const;
    bool hasWordWithDb(SQLite::Database& db, const QString& quotedWord) const;
    bool deleteWordWithDb(SQLite::Database& db, const QString& word, const QString& user);
    bool addWordWithDb(SQLite::Database& db, const WordBookAdd& add, const QString& ts);

    QString dbPath_;
    std::atomic<bool> readOnly_ = false;
    std::atomic<bool> open_ = false;
    mutable QMutex mutex_;
    QString userSQL_;
    std::function<QString()> currentUser_;
    std::function<void(int)> batchHook_;
};
