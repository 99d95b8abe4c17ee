#include "wordbook/MVWordBook.h"

#include "platform/CookieJar.h"
#include "platform/HeapTrim.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotices.h"
#include "query/MirvokFileManager.h"
#include "query/StoreFile.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <future>
#include <thread>

namespace {
const QString kCurUserKey = QStringLiteral("wb_cur_user_key");
const QString kCurUserMirror = QStringLiteral("default_key_current_user");
const QString kPreUserKey = QStringLiteral("wb_pre_user_key");
const QString kPreUserMirror = QStringLiteral("kLastLoginUser");
const QString kSyncWordTime = QStringLiteral("kSyncWordTime");
const QString kSyncWordNum = QStringLiteral("kSyncWordNum");
const QString kDefaultGroup = QStringLiteral("setting_collect_to_default_group");
const QString kAlsoReview = QStringLiteral("setting_add_word_also_add_review_plan");

QString storedUser(const QString& key, const QString& fallback)
{
    auto& d = UserDefaults::standard();
    return d.contains(key) ? d.stringValue(key) : d.stringValue(fallback);
}

storefile::Fault lastFault()
{
    const wbsql::Failure f = wbsql::lastFailure();
    const storefile::Fault fault = storefile::faultOf(f.code, f.sysErrno);
    return fault == storefile::Fault::None ? storefile::Fault::Other : fault;
}

// What a failed write tells the user: `failed` says what did not happen.
QString faultText(const QString& failed, storefile::Fault fault, const QString& folder)
{
    switch (fault) {
    case storefile::Fault::DiskFull:
        return QStringLiteral("%1：磁盘已满。请清理磁盘空间后再试。").arg(failed);
    case storefile::Fault::NoPermission:
        return QStringLiteral("%1：没有权限写入文件夹“%2”。请检查它的权限后再试。")
            .arg(failed, QDir::toNativeSeparators(folder));
    case storefile::Fault::Damaged:
        return QStringLiteral("%1：单词本文件已损坏，且无法另存。请检查文件夹“%2”。")
            .arg(failed, QDir::toNativeSeparators(folder));
    case storefile::Fault::NewerLayout:
        return QStringLiteral("%1：单词本文件来自更新版本的 Mirvok，本版本不会修改它。请更新 Mirvok。").arg(failed);
    case storefile::Fault::Busy:
        return QStringLiteral("%1：单词本文件正被其他程序占用。").arg(failed);
    default:
        return QStringLiteral("%1：无法写入单词本文件。").arg(failed);
    }
}

const QString kNotAdded = QStringLiteral("单词没有加入单词本");
const QString kNotDeleted = QStringLiteral("单词没有从单词本删除");
const QString kNotEdited = QStringLiteral("释义没有保存");
const QString kGroupNotMade = QStringLiteral("分组没有创建");
const QString kGroupNotChanged = QStringLiteral("单词的分组没有修改");
const QString kGroupNotDeleted = QStringLiteral("分组没有删除");
const QString kGroupNotRenamed = QStringLiteral("分组没有重命名");

bool heldByAnother()
{
    const wbsql::Failure f = wbsql::lastFailure();
    return storefile::faultOf(f.code, f.sysErrno) == storefile::Fault::Busy;
}

}  // namespace

MVWordBook::MVWordBook()
    : wbSync_(new MVWordBookSync(this)), queue_(std::make_unique<SerialQueue>(QStringLiteral("operation.wordbook")))
{
    curUser_ = storedUser(kCurUserKey, kCurUserMirror);
    preUser_ = storedUser(kPreUserKey, kPreUserMirror);
    pool_.setMaxThreadCount(2);
}

MVWordBook::~MVWordBook()
{
    if (WordPresence::shared() == this)
        WordPresence::setShared(nullptr);
    // Writes still waiting for another program's lock give up.
    stopping_ = true;
    queue_.reset();
    pool_.waitForDone();
}

MVWordBook& MVWordBook::sharedInstance()
{
    static MVWordBook* book = new MVWordBook();
    return *book;
}

void MVWordBook::configureWithDbFileName(const QString& fileName, const QUrl& syncUrl)
{
    const QString folder = MirvokFileManager::getMVLibraryDir();
    if (CookieJar::shared().storagePath().isEmpty())
        CookieJar::shared().setStorageFolder(folder);
    configureWithDbPath(QDir(folder).filePath(fileName), syncUrl);
}

void MVWordBook::configureWithDbPath(const QString& path, const QUrl& syncUrl)
{
    auto db = std::make_shared<MVWordBookDb>(path, [this] { return curUser(); });
    closeAddBatch();
    queue_->sync([&] { wbdb_ = db; });
    // Another program holds the file: it is looked over on the queue, before
    // any write, once it is free.
    if (!db->isOpen())
        refillWhenFree();
    updateUserName();
    syncUrl_ = syncUrl;
    WordPresence::setShared(this);
}

// ---- users ----

QString MVWordBook::curUser() const
{
    QMutexLocker lock(&userMutex_);
    return curUser_;
}

QString MVWordBook::preUser() const
{
    QMutexLocker lock(&userMutex_);
    return preUser_;
}

void MVWordBook::setUsers(const QString& cur, const QString& pre)
{
    QMutexLocker lock(&userMutex_);
    curUser_ = cur;
    preUser_ = pre;
}

void MVWordBook::updateUserName()
{
    // Called from the main thread and from a synchronisation's preparation:
    // without this lock an older pair could be written over a newer one.
    QMutexLocker publish(&publishMutex_);
    QString cur, pre;
    {
        QMutexLocker lock(&userMutex_);
        if (curUser_.isNull())
            curUser_ = QStringLiteral("");
        if (preUser_.isNull())
            preUser_ = QStringLiteral("");
        cur = curUser_;
        pre = preUser_;
    }
    auto& d = UserDefaults::standard();
    d.setValue(kCurUserKey, cur);
    d.setValue(kCurUserMirror, cur);
    d.setValue(kPreUserKey, pre);
    d.setValue(kPreUserMirror, pre);
    d.sync();
    if (wbdb_)
        wbdb_->setUserSQL(MVWordBookDb::userCondition(QStringLiteral("USERNAME"), cur, pre));
}

bool MVWordBook::needMergeUser() const
{
    const QString cur = curUser(), pre = preUser();
    return wbdb_ && !pre.isEmpty() && pre != cur;
}

bool MVWordBook::didLoginWithUser(const QString& user)
{
    setUsers(user, preUser());
    updateUserName();
    if (wbdb_)
        wbdb_->setTimeStamp(QStringLiteral("0"), user);
    const QString pre = preUser();
    return !user.isEmpty() && !pre.isEmpty() && user != pre;
}

void MVWordBook::didLogout()
{
    setUsers(QStringLiteral(""), curUser());
    updateUserName();
    auto& d = UserDefaults::standard();
    d.setValue(kSyncWordTime, 0.0);
    d.setValue(kSyncWordNum, 0);
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty())
        QFile::remove(QDir(docs).filePath(QStringLiteral("MVWBCardWordState")));
    d.remove(QStringLiteral("MVWBCardLastImage"));
    d.sync();
}

// ---- words ----

bool MVWordBook::addWord(const QString& word, const QString& phonetic, const QString& definition,
                         QObject* context, AddDone done)
{
    if (!wbdb_)
        return false;
    // The word belongs to whoever is signed in when the user adds it, even
    // if a logout is handled before the queue reaches it.
    QueuedAdd add{WordBookAdd{word, phonetic, definition, curUser()}, context, context != nullptr,
                  std::move(done)};
    ++pendingWrites_;
    std::shared_ptr<QList<QueuedAdd>> batch;
    {
        QMutexLocker lock(&batchMutex_);
        if (openBatch_) {
            openBatch_->append(std::move(add));
            return true;
        }
        openBatch_ = batch = std::make_shared<QList<QueuedAdd>>();
        batch->append(std::move(add));
    }
    auto db = wbdb_;
    queue_->async([this, db, batch] {
        auto queued = std::make_shared<QList<QueuedAdd>>();
        {
            QMutexLocker lock(&batchMutex_);
            if (openBatch_ == batch)
                openBatch_.reset();
            queued->swap(*batch);
        }
        QList<WordBookAdd> adds;
        for (const QueuedAdd& q : std::as_const(*queued))
            adds.append(q.add);
        int fault = 0;
        QList<bool> stored;
        retryWhileBusy([&] {
            fault = 0;
            stored = writeAdds(*db, adds, &fault);
            return fault != int(storefile::Fault::Busy);
        });
        pendingWrites_ -= static_cast<int>(adds.size());
        if (fault)
            usernotices::post(faultText(kNotAdded, storefile::Fault(fault), QFileInfo(db->dbPath()).absolutePath()));
        runOnMain([queued, stored] {
            for (qsizetype i = 0; i < queued->size(); ++i) {
                const QueuedAdd& q = queued->at(i);
                if (q.done && (!q.guarded || q.context))
                    q.done(stored.at(i));
            }
        });
    });
    return true;
}

QList<bool> MVWordBook::writeAdds(MVWordBookDb& db, const QList<WordBookAdd>& adds, int* fault)
{
    QList<bool> stored(adds.size(), true);
    auto fail = [&](qsizetype i, storefile::Fault why) {
        stored[i] = false;
        if (!*fault)
            *fault = int(why);
        qWarning().noquote() << "wordbook: could not add" << adds[i].word;
    };
    if (db.isReadOnly()) {
        for (qsizetype i = 0; i < adds.size(); ++i)
            fail(i, storefile::Fault::NewerLayout);
        return stored;
    }
    wbsql::clearFailure();
    bool together = db.addWordList(adds);
    if (!together && heldByAnother()) {
        // All of them again once the file is free, not one by one now.
        *fault = int(storefile::Fault::Busy);
        return QList<bool>(adds.size(), false);
    }
    // A file that turned out damaged is moved aside and the adds go into a
    // fresh one, rather than failing every add until the next start.
    if (!together && lastFault() == storefile::Fault::Damaged && db.setAsideIfDamaged())
        together = db.addWordList(adds);
    if (!together) {
        // One bad add must not take the others with it.
        for (qsizetype i = 0; i < adds.size(); ++i) {
            wbsql::clearFailure();
            if (!db.addWord(adds[i].word, adds[i].phonetic, adds[i].definition, adds[i].user))
                fail(i, lastFault());
        }
    }
    QList<WordBookAdd> kept;
    for (qsizetype i = 0; i < adds.size(); ++i)
        if (stored[i])
            kept.append(adds[i]);
    const QString group = UserDefaults::standard().stringValue(kDefaultGroup);
    const bool review = UserDefaults::standard().boolValue(kAlsoReview);
    if ((group.isEmpty() || group == kAllWords) && !review)
        return stored;
    // Group and review entries go in per account, in the order of the adds.
    for (qsizetype i = 0; i < kept.size();) {
        const QString user = kept[i].user;
        QStringList words;
        for (; i < kept.size() && kept[i].user == user; ++i)
            words.append(kept[i].word);
        if (!group.isEmpty() && group != kAllWords)
            db.addWords(words, group, user);
        if (review)
            db.addRemForWords(words, user);
    }
    return stored;
}

void MVWordBook::closeAddBatch()
{
    QMutexLocker lock(&batchMutex_);
    openBatch_.reset();
}

template <typename T, typename Read>
T MVWordBook::readStore(Read read, bool* held) const
{
    wbsql::clearFailure();
    T out = read();
    const bool busy = heldByAnother();
    if (held)
        *held = busy;
    if (busy && wbsql::writeOpenElsewhere())
        refreshAfterOwnWrite();
    else if (busy)
        refillWhenFree();
    return out;
}

bool MVWordBook::delWord(const QString& word, QObject* context, WriteDone done)
{
    return !word.isEmpty() && delWords({word}, context, std::move(done));
}

bool MVWordBook::delWords(const QStringList& words, QObject* context, WriteDone done)
{
    if (!wbdb_ || words.isEmpty())
        return false;
    // Through the queue, so that an add asked for earlier cannot bring the
    // word back after it was deleted.
    const QString user = curUser(), pre = preUser();
    queueStoreWrite(kNotDeleted, [words, user, pre](MVWordBookDb& db) { return db.removeWords(words, user, pre); },
                    context, std::move(done));
    return true;
}

bool MVWordBook::rewriteParaphrase(const QString& word, const QString& phonetic, const QString& definition,
                                   QObject* context, WriteDone done)
{
    if (!wbdb_ || word.isEmpty())
        return false;
    const QString user = curUser();
    queueStoreWrite(kNotEdited, [=](MVWordBookDb& db) {
        if (db.rewriteParaphrase(word, phonetic, definition))
            return true;
        if (wbsql::lastFailure().code != 0)
            return false;
        // The word left the book meanwhile (a synchronisation): it comes
        // back as edited.
        int fault = 0;
        return writeAdds(db, {WordBookAdd{word, phonetic, definition, user}}, &fault).value(0);
    }, context, std::move(done));
    return true;
}

bool MVWordBook::hasWord(const QString& word) const
{
    return wbdb_ && readStore<bool>([&] { return wbdb_->hasWord(word); });
}

bool MVWordBook::hasUnsyncWords() const
{
    return wbdb_ && readStore<bool>([&] { return wbdb_->hasUnSyncedWordsForUser(curUser()); });
}

// ---- groups ----

QStringList MVWordBook::getTags() const
{
    return wbdb_ ? readStore<QStringList>([&] { return wbdb_->getAllTags(); }) : QStringList();
}

bool MVWordBook::addWordTags(const QStringList& names, QObject* context, WriteDone done)
{
    if (!wbdb_ || names.isEmpty())
        return false;
    const QString user = curUser();
    queueStoreWrite(kGroupNotMade, [names, user](MVWordBookDb& db) { return db.addWordTags(names, user); }, context,
                    std::move(done));
    return true;
}

bool MVWordBook::addTag(const QString& tag, const QStringList& words, QObject* context, WriteDone done)
{
    if (!wbdb_ || words.isEmpty())
        return false;
    const QString user = curUser();
    queueStoreWrite(kGroupNotChanged, [tag, words, user](MVWordBookDb& db) { return db.addWords(words, tag, user); },
                    context, std::move(done));
    return true;
}

bool MVWordBook::deleteTagsForWord(const QString& word, QObject* context, WriteDone done)
{
    return !word.isEmpty() && deleteTagsForWords({word}, context, std::move(done));
}

bool MVWordBook::deleteTagsForWords(const QStringList& words, QObject* context, WriteDone done)
{
    if (!wbdb_ || words.isEmpty())
        return false;
    queueStoreWrite(kGroupNotChanged, [words](MVWordBookDb& db) { return db.deleteTagsForWords(words); }, context,
                    std::move(done));
    return true;
}

bool MVWordBook::deleteWordForTag(const QString& tag, QObject* context, WriteDone done)
{
    if (!wbdb_ || tag.isEmpty())
        return false;
    const QString user = curUser();
    queueStoreWrite(kGroupNotDeleted, [tag, user](MVWordBookDb& db) { return db.moveGroup(tag, QString(), user); },
                    context, std::move(done));
    return true;
}

bool MVWordBook::updateWordTag(const QString& from, const QString& to, QObject* context, WriteDone done)
{
    if (!wbdb_ || from.isEmpty() || to.isEmpty())
        return false;
    const QString user = curUser();
    queueStoreWrite(kGroupNotRenamed, [from, to, user](MVWordBookDb& db) { return db.moveGroup(from, to, user); },
                    context, std::move(done));
    return true;
}

// ---- the queue ----

void MVWordBook::queueStoreWrite(const QString& failed, std::function<bool(MVWordBookDb&)> write, QObject* context,
                                 WriteDone done)
{
    auto db = wbdb_;
    QPointer<QObject> guard(context);
    const bool guarded = context != nullptr;
    queueWrite([this, db, failed, write = std::move(write), guard, guarded, done = std::move(done)] {
        bool stored = false;
        storefile::Fault fault = storefile::Fault::NewerLayout;
        wbsql::clearFailure();
        if (!db->isReadOnly()) {
            stored = retryWhileBusy([&] { return write(*db); });
            fault = wbsql::lastFailure().code ? lastFault() : storefile::Fault::None;
        }
        if (!stored && fault != storefile::Fault::None) {
            qWarning().noquote() << "wordbook:" << failed;
            usernotices::post(faultText(failed, fault, QFileInfo(db->dbPath()).absolutePath()));
        }
        if (done) {
            runOnMain([guard, guarded, done, stored] {
                if (!guarded || guard)
                    done(stored);
            });
        }
    });
}

bool MVWordBook::retryWhileBusy(const std::function<bool()>& attempt, const std::atomic_bool* cancelled)
{
    for (;;) {
        wbsql::clearFailure();
        if (attempt()) {
            busyTold_ = false;
            return true;
        }
        if (!heldByAnother() || stopping_ || (cancelled && *cancelled))
            return false;
        // The lock may be a write of ours on the other thread (an import, a
        // commit of received words): not another program's.
        if (!wbsql::writeOpenElsewhere())
            noteBusy();
        // Each try has waited out the busy timeout; this only keeps a file
        // that fails at once from spinning the queue.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void MVWordBook::noteBusy() const
{
    if (!busyTold_.exchange(true))
        usernotices::post(QStringLiteral("单词本文件正被其他程序使用。它可用后，Mirvok 会保存你的修改并刷新单词本。"));
}

void MVWordBook::refreshAfterOwnWrite() const
{
    if (refreshQueued_.exchange(true))
        return;
    auto db = wbdb_;
    auto* self = const_cast<MVWordBook*>(this);
    // Behind the write on the queue; one on the pool may still hold the file.
    queue_->async([self, db] {
        self->retryWhileBusy([&] { return db->isReadable(); });
        self->refreshQueued_ = false;
        QPointer<MVWordBook> guard(self);
        runOnMain([guard] {
            if (guard)
                emit guard->storeAvailable();
        });
    });
}

void MVWordBook::refillWhenFree() const
{
    noteBusy();
    if (refillQueued_.exchange(true))
        return;
    auto db = wbdb_;
    auto* self = const_cast<MVWordBook*>(this);
    queue_->async([self, db] {
        self->retryWhileBusy([&] { return db->open() && db->isReadable(); });
        self->refillQueued_ = false;
        QPointer<MVWordBook> guard(self);
        runOnMain([guard] {
            if (guard)
                emit guard->storeAvailable();
        });
    });
}

// ---- lists ----

WordSections MVWordBook::wordListWithCategory(const QString& tag, bool byDate) const
{
    return wbdb_ ? readStore<WordSections>([&] {
        return wbdb_->getWordsSortedByDate(byDate, tag, curUser(), preUser(), false);
    }) : WordSections();
}

WordSections MVWordBook::wordListWithNoCategorySortedByDate(bool byDate) const
{
    return wbdb_ ? readStore<WordSections>([&] { return wbdb_->getWordsSortedWithNoTagByDate(byDate, curUser(), preUser()); })
                 : WordSections();
}

QStringList MVWordBook::loadWordListWithCategory(const QString& category, bool byDate) const
{
    WordSections sections;
    if (category == kNoGroup)
        sections = wordListWithNoCategorySortedByDate(byDate);
    else if (category == kAllWords)
        sections = wordListWithCategory(QString(), byDate);
    else
        sections = wordListWithCategory(category, byDate);
    QStringList out;
    for (const QString& k : MVWordBookDb::sectionOrder(sections.keys(), byDate))
        for (const WordBookEntry& e : sections.value(k))
            out.append(e.word);
    return out;
}

void MVWordBook::readWordRows(const QString& category, bool byDate, QObject* context, RowsRead done) const
{
    QPointer<QObject> guard(context);
    const bool guarded = context != nullptr;
    if (!wbdb_) {
        runOnMain([guard, guarded, done = std::move(done)] {
            if (!guarded || guard)
                done(WordRows(), false);
        });
        return;
    }
    auto db = wbdb_;
    auto* self = const_cast<MVWordBook*>(this);
    self->closeAddBatch();  // the adds asked for before are in the list
    const bool untagged = category == kNoGroup;
    const QString tag = untagged || category == kAllWords ? QString() : category;
    queue_->async([self, db, byDate, tag, untagged, user = curUser(), pre = preUser(), guard, guarded,
                   done = std::move(done)]() mutable {
        bool held = false;
        auto rows = std::make_shared<WordRows>(
            self->readStore<WordRows>([&] { return db->wordRows(byDate, tag, untagged, user, pre); }, &held));
        runOnMain([guard, guarded, rows, held, done = std::move(done)] {
            if (!guarded || guard)
                done(std::move(*rows), held);
        });
    });
}

std::function<std::optional<QList<WordBookRecord>>(const std::atomic_bool*)> MVWordBook::exportReader(
    const QString& group)
{
    closeAddBatch();  // the adds asked for before are in the file
    const bool untagged = group == kNoGroup;
    const QString tag = untagged || group.isEmpty() || group == kAllWords ? QString() : group;
    return [this, db = wbdb_, tag, untagged, user = curUser(), pre = preUser()](const std::atomic_bool* cancelled) {
        std::optional<QList<WordBookRecord>> out;
        retryWhileBusy(
            [&] {
                out = db->exportRecords(tag, user, pre);
                return out.has_value();
            },
            cancelled);
        if (cancelled && *cancelled)
            out.reset();
        if (out && untagged)
            out->removeIf([](const WordBookRecord& r) { return !r.group.isEmpty(); });
        return out;
    };
}

void MVWordBook::readExport(const QString& group, QObject* context, std::shared_ptr<const std::atomic_bool> cancelled,
                            ExportRead done)
{
    QPointer<QObject> guard(context);
    const bool guarded = context != nullptr;
    if (!wbdb_) {
        runOnMain([guard, guarded, done = std::move(done)] {
            if (!guarded || guard)
                done(std::nullopt);
        });
        return;
    }
    queue_->async([read = exportReader(group), cancelled = std::move(cancelled), guard, guarded,
                   done = std::move(done)] {
        auto shared = std::make_shared<std::optional<QList<WordBookRecord>>>(read(cancelled.get()));
        runOnMain([guard, guarded, shared, done] {
            if (!guarded || guard)
                done(std::move(*shared));
        });
    });
}

QList<WordBookRecord> MVWordBook::exportWords(const QString& group)
{
    if (!wbdb_)
        return {};
    std::optional<QList<WordBookRecord>> out;
    queue_->sync([&, read = exportReader(group)] { out = read(nullptr); });
    return out.value_or(QList<WordBookRecord>());
}

void MVWordBook::importCsv(QByteArray csv, QObject* receiver, std::function<void(const WordBookImportOutcome&)> done)
{
    auto answer = [receiver = QPointer<QObject>(receiver), done](const WordBookImportOutcome& outcome) {
        QMetaObject::invokeMethod(
            qApp, [receiver, done, outcome] {
                if (receiver && done)
                    done(outcome);
            },
            Qt::QueuedConnection);
    };
    if (!wbdb_)
        return answer({});
    auto db = wbdb_;
    const QString user = curUser();
    queueWrite([db, user, csv = std::move(csv), answer]() mutable {
        constexpr qsizetype kPiece = 1 << 20;
        wordbooktransfer::CsvParser parser;
        qsizetype at = 0;
        bool finished = false;
        const auto nextBatch = [&](QList<WordBookRecord>& batch) {
            while (batch.isEmpty() && !finished) {
                if (at < csv.size()) {
                    const qsizetype n = qMin(kPiece, csv.size() - at);
                    parser.feed(QByteArrayView(csv.constData() + at, n));
                    at += n;
                    batch = parser.takeRecords();
                } else {
                    finished = true;
                    batch = parser.finish().records;
                }
            }
            // The list's own names stand for "no group" in a file too.
            for (WordBookRecord& r : batch) {
                if (r.group == kAllWords || r.group == kNoGroup)
                    r.group.clear();
            }
            return !batch.isEmpty();
        };
        const WordBookImportOutcome outcome = db->importRecords(nextBatch, user);
        parser = {};
        csv = QByteArray();
        // A large file's bytes and look-up sets were freed here: give the
        // pages back before the screen lists the words it added.
        heaptrim::now();
        answer(outcome);
    });
}

void MVWordBook::queueWrite(std::function<void()> task)
{
    closeAddBatch();
    ++pendingWrites_;
    queue_->async([this, task = std::move(task)] {
        task();
        --pendingWrites_;
    });
}

void MVWordBook::waitForQueuedWork()
{
    closeAddBatch();
    queue_->sync([] {});
    pool_.waitForDone();
}

bool MVWordBook::finishQueuedWork(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (const int pending = pendingWrites_.load(); pending > 0)
        qInfo().noquote() << QStringLiteral("wordbook: writing %1 queued words before quitting").arg(pending);
    // A commit on the pool queues its follow-up work and the other way
    // round, so both are waited for until neither has anything left.
    for (;;) {
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> reached = done->get_future();
        queue_->async([done] { done->set_value(); });
        if (reached.wait_for(std::chrono::milliseconds(deadline.remainingTime())) != std::future_status::ready)
            break;
        if (!pool_.waitForDone(static_cast<int>(deadline.remainingTime())))
            break;
        if (pendingWrites_.load() == 0 && pool_.activeThreadCount() == 0)
            return true;
    }
    qWarning().noquote() << QStringLiteral("wordbook: %1 queued writes still not in the file after %2 ms at quit")
                                .arg(pendingWrites_.load())
                                .arg(timeoutMs);
    return false;
}
