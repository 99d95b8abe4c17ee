#pragma once

#include "platform/SerialQueue.h"
#include "query/WordPresence.h"
#include "wordbook/MVWordBookDb.h"
#include "wordbook/MVWordBookSync.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Notifications posted by the word book (no object, no user info).
namespace wbnotify {
inline const QString kStatusChanged = QStringLiteral("kWordBookStatusChanged");
inline const QString kSyncStart = QStringLiteral("wb_notification_sync_start");
inline const QString kSyncFailed = QStringLiteral("wb_notification_sync_failed");
inline const QString kSyncDone = QStringLiteral("wb_notification_sync_done");
}  // namespace wbnotify

// Listener of a whole synchronisation; every call arrives on the main thread.
// A listener that is also a QObject is dropped when it is destroyed.
class MVWordBookSyncDelegate {
public:
    virtual ~MVWordBookSyncDelegate() = default;
    virtual void wordBookSyncStart() {}
    virtual void wordBookSyncProcessing(quint64 progress) { Q_UNUSED(progress); }
    virtual void wordBookSyncSecuss() {}
    virtual void wordBookSyncFailed(const WordBookError& error) { Q_UNUSED(error); }
};

// The word book's single entry point: words, groups and lists of the signed-in
// user (or of nobody), and synchronisation with the service. Call it from the
// main thread. Writes run on one work queue in the order they were asked
// for and answer at once whether they were queued; their `done` says, on the
// main thread, whether the change is in the file (and runs only while its
// `context`, when given, exists). A write that failed tells the user why,
// once, through usernotices. While another program holds the file, writes
// wait on the queue until it is free, reads on the main thread answer empty
// at once, and storeAvailable() says when to read again. While a write of
// our own holds it (a large import), reads on the main thread answer empty
// too, without blaming another program, and storeAvailable() follows once
// that write is done.
class MVWordBook : public QObject, public MVSyncDelegate, public WordPresence {
    Q_OBJECT
public:
    static inline const QString kAllWords = QStringLiteral("所有单词");
    static inline const QString kNoGroup = QStringLiteral("未分组");

    MVWordBook();
    ~MVWordBook() override;
    static MVWordBook& sharedInstance();

    // The file in the application's data folder; also registers the word
    // book for hasWord questions of the lookup engine.
    void configureWithDbFileName(const QString& fileName, const QUrl& syncUrl);
    void configureWithDbPath(const QString& path, const QUrl& syncUrl);
    bool isConfigured() const { return wbdb_ != nullptr; }
    MVWordBookDb* store() const { return wbdb_.get(); }
    MVWordBookSync* syncClient() const { return wbSync_; }

    // Users.
    QString curUser() const;
    QString preUser() const;
    void updateUserName();
    bool needMergeUser() const;
    bool didLoginWithUser(const QString& user);
    void didLogout();

    // Told on the main thread whether the change is in the file.
    using WriteDone = std::function<void(bool stored)>;
    using AddDone = WriteDone;

    // Words. Adds asked for one after another are written together; a
    // failed add tells the user why once per failing batch.
    bool addWord(const QString& word, const QString& phonetic, const QString& definition,
                 QObject* context = nullptr, AddDone done = {});
    // The word with its groups and review record.
    bool delWord(const QString& word, QObject* context = nullptr, WriteDone done = {});
    bool delWords(const QStringList& words, QObject* context = nullptr, WriteDone done = {});
    // An edited definition: the row keeps its date, groups and review record;
    // a word that left the book meanwhile comes back as edited.
    bool rewriteParaphrase(const QString& word, const QString& phonetic, const QString& definition,
                           QObject* context = nullptr, WriteDone done = {});
    bool hasWord(const QString& word) const override;
    bool hasUnsyncWords() const;

    // Groups.
    QStringList getTags() const;
    bool addWordTags(const QStringList& names, QObject* context = nullptr, WriteDone done = {});
    bool addTag(const QString& tag, const QStringList& words, QObject* context = nullptr, WriteDone done = {});
    bool deleteTagsForWord(const QString& word, QObject* context = nullptr, WriteDone done = {});
    bool deleteTagsForWords(const QStringList& words, QObject* context = nullptr, WriteDone done = {});
    // The group goes, its words stay in no group.
    bool deleteWordForTag(const QString& tag, QObject* context = nullptr, WriteDone done = {});
    // All of the rename or nothing.
    bool updateWordTag(const QString& from, const QString& to, QObject* context = nullptr, WriteDone done = {});

    // Lists.
    WordSections wordListWithCategory(const QString& tag, bool byDate) const;
    WordSections wordListWithNoCategorySortedByDate(bool byDate) const;
    QStringList loadWordListWithCategory(const QString& category, bool byDate) const;
    // The same list with each word's stored paraphrase, read on the store's
    // queue after every write asked for before; `done` runs on the main
    // thread while `context` (if given) lives. Empty, and `held`, while
    // another program holds the file (storeAvailable() follows once it is
    // free).
    using RowsRead = std::function<void(WordRows rows, bool held)>;
    void readWordRows(const QString& category, bool byDate, QObject* context, RowsRead done) const;

    // Files. The signed-in account's words, one group's (or all for an empty
    // name or kAllWords; kNoGroup: those in none), after every write asked
    // for before. Read on the store's queue, waiting there while another
    // program holds the file, until it is free or `cancelled` is set; `done`
    // runs on the main thread while `context` lives, with nothing when the
    // words could not be read (or the wait was cancelled).
    using ExportRead = std::function<void(std::optional<QList<WordBookRecord>> records)>;
    void readExport(const QString& group, QObject* context, std::shared_ptr<const std::atomic_bool> cancelled,
                    ExportRead done);
    // The same, waited for: empty when the words could not be read. It waits
    // on the queue, so never from the window's thread (tests, workers).
    QList<WordBookRecord> exportWords(const QString& group);
    // Merges the words of a CSV file that was read and checked whole before
    // (wordbooktransfer::CsvParser found no error in it), after every write
    // asked for before: words not yet in the book are added, stored ones are
    // left untouched, and a failure adds none. The bytes are parsed again on
    // the store's queue as they are written, so a large file's words are
    // never held all at once. `done` hears the outcome on the main thread
    // unless `receiver` is gone by then.
    void importCsv(QByteArray csv, QObject* receiver, std::function<void(const WordBookImportOutcome&)> done);

    // Synchronisation. A start while one runs is run once the running one ends.
    void startSyncWithDelegate(MVWordBookSyncDelegate* delegate, bool needMerge);
    bool isSyncing() const { return wbSync_ && syncing_; }
    void cancelSyncing() {}
    quint64 syncingRate() const { return syncingRate_; }

    // Waits until every write queued so far has run (tests).
    void waitForQueuedWork();
    // Writes answered "done" but not yet in the file (the quit guard asks).
    bool hasPendingWrites() const { return pendingWrites_.load() > 0; }
    // At quit: waits at most timeoutMs for the queued writes and a running
    // commit of received actions; false (and logged) when time ran out.
    bool finishQueuedWork(int timeoutMs);

    // MVSyncDelegate
    void syncDidStart() override;
    void syncDidError(const WordBookError& error) override;
    void syncNeedAgain() override;
    void syncNeedUpdateFirst() override;
    void syncRecievedAction(const MVSyncActionPtr& action) override;
    void syncUpdateTimestamp(const QString& ts, const QString& remTs) override;
    void syncDidFinish() override;

signals:
    // The file answers again after another program held it: lists and
    // stars read meanwhile may have come back empty.
    void storeAvailable();

private:
    // Queues a write (see queueWrite); `failed` opens what the user is told
    // when it could not be stored.
    void queueStoreWrite(const QString& failed, std::function<bool(MVWordBookDb&)> write, QObject* context,
                         WriteDone done);
    // On the queue: runs the attempt again for as long as another program
    // holds the file (each try waits out the busy timeout), or until
    // `cancelled` is set.
    bool retryWhileBusy(const std::function<bool()>& attempt, const std::atomic_bool* cancelled = nullptr);
    // The export's read of `group`, its filter taken now, to run on the
    // queue: nothing when the words could not be read or it was cancelled.
    std::function<std::optional<QList<WordBookRecord>>(const std::atomic_bool* cancelled)> exportReader(
        const QString& group);
    // Tells the user once per spell that another program holds the file.
    void noteBusy() const;
    // A read on the main thread met the lock of a write of our own: reads
    // again once it is done, then storeAvailable().
    void refreshAfterOwnWrite() const;
    // After a read found the file held: reads again on the queue until it
    // answers, then storeAvailable().
    void refillWhenFree() const;
    // `held`, when given, says whether another program held the file.
    template <typename T, typename Read>
    T readStore(Read read, bool* held = nullptr) const;

    void setSyncing(bool on);
    void syncingRateSet(quint64 rate);
    void preprocessingBeforeSync(const QString& user, const QString& filter);
    void startSyncConnection();
    void commitActionListToDb();
    void syncReallyFinish();
    void syncFailed(const WordBookError& error);
    void countSyncedWords();
    void runPendingSync();
    MVWordBookSyncDelegate* listener() const;
    void setUsers(const QString& cur, const QString& pre);
    // Every write that answers before it has run goes through here.
    void queueWrite(std::function<void()> task);
    // Adds asked for one after another, with nothing else queued between
    // them, are written in one transaction: a burst of adds reaches the file
    // in a fraction of the time. Anything else queued closes the batch.
    void closeAddBatch();
    struct QueuedAdd {
        WordBookAdd add;
        QPointer<QObject> context;
        bool guarded = false;
        AddDone done;
    };
    // Per add whether its row is in the file; the cause of the first failure.
    static QList<bool> writeAdds(MVWordBookDb& db, const QList<WordBookAdd>& adds, int* fault);

    mutable QMutex userMutex_;
    // Held while the user pair is published, so the last change always wins.
    QMutex publishMutex_;
    QString curUser_;
    QString preUser_;

    std::shared_ptr<MVWordBookDb> wbdb_;
    MVWordBookSync* wbSync_;
    QUrl syncUrl_;

    // Synchronisation state: main thread only.
    MVWordBookSyncDelegate* delegate_ = nullptr;
    QPointer<QObject> delegateGuard_;
    bool delegateIsObject_ = false;
    bool syncing_ = false;
    quint64 syncingRate_ = 0;
    bool needCommitAgain_ = false;
    // The account the running synchronisation works for, and its filter on
    // the store: a login or logout while it runs changes neither.
    QString syncUser_;
    QString syncFilter_;
    QString tmpLocalTimestamp_;
    QString tmpRemLocalTimestamp_;
    QList<MVSyncActionPtr> addList_;
    QList<MVSyncActionPtr> delList_;
    SyncActionMap actionList_;
    bool pending_ = false;
    bool pendingMerge_ = false;
    MVWordBookSyncDelegate* pendingDelegate_ = nullptr;
    QPointer<QObject> pendingGuard_;
    bool pendingIsObject_ = false;

    std::atomic<int> pendingWrites_{0};
    std::atomic<bool> stopping_{false};
    mutable std::atomic<bool> busyTold_{false};
    mutable std::atomic<bool> refillQueued_{false};
    mutable std::atomic<bool> refreshQueued_{false};
    QMutex batchMutex_;
    std::shared_ptr<QList<QueuedAdd>> openBatch_;
    QThreadPool pool_;
    // Last member: destroyed first, running what is queued while the rest
    // of the facade still exists.
    std::unique_ptr<SerialQueue> queue_;
};
