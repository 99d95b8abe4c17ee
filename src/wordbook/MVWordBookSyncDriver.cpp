// The course of a synchronisation: preparation on the work queue, exchanges
// on the main thread, the write of received actions on the pool, the end
// back on the main thread.
#include "wordbook/MVWordBook.h"

#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "wordbook/WordBookClock.h"

#include <QDebug>

namespace {
void post(const QString& name)
{
    NotificationCenter::defaultCenter().post(name);
}
}  // namespace

MVWordBookSyncDelegate* MVWordBook::listener() const
{
    if (delegateIsObject_ && !delegateGuard_)
        return nullptr;
    return delegate_;
}

void MVWordBook::setSyncing(bool on)
{
    if (syncing_ == on)
        return;
    syncing_ = on;
    post(wbnotify::kStatusChanged);
}

void MVWordBook::syncingRateSet(quint64 rate)
{
    if (rate < syncingRate_)
        return;
    syncingRate_ = std::min<quint64>(rate, 1000);
    if (auto* l = listener())
        l->wordBookSyncProcessing(syncingRate_);
    post(wbnotify::kStatusChanged);
}

void MVWordBook::startSyncWithDelegate(MVWordBookSyncDelegate* delegate, bool needMerge)
{
    if (syncing_) {
        // One synchronisation at a time over one set of lists: this one runs
        // when the current one has ended.
        pending_ = true;
        pendingMerge_ = pendingMerge_ || needMerge;
        pendingDelegate_ = delegate;
        pendingGuard_ = dynamic_cast<QObject*>(delegate);
        pendingIsObject_ = !pendingGuard_.isNull();
        return;
    }
    qInfo().noquote() << QStringLiteral("startSync, curUser=%1").arg(curUser());
    setSyncing(true);
    delegate_ = delegate;
    QObject* obj = dynamic_cast<QObject*>(delegate);
    delegateGuard_ = obj;
    delegateIsObject_ = obj != nullptr;
    syncingRate_ = 0;

    // A file of a newer layout is never written, so nothing received could
    // be kept: no synchronisation until the user updates.
    if (wbSync_ && wbdb_ && !wbdb_->isReadOnly() && !syncUrl_.isEmpty()) {
        if (auto* l = listener())
            l->wordBookSyncStart();
        post(wbnotify::kSyncStart);
        syncingRateSet(10);
        const QString cur = curUser();
        const QString pre = preUser();
        syncUser_ = cur;
        syncFilter_ = MVWordBookDb::userCondition(QStringLiteral("USERNAME"), cur, pre);
        tmpLocalTimestamp_ = wbdb_->getTimeStampForUser(cur);
        tmpRemLocalTimestamp_ = wbdb_->getRemTimeStampForUser(cur);
        const QString mergeFrom = needMerge && needMergeUser() ? pre : QString();
        const QString filter = syncFilter_;
        queueWrite([this, cur, mergeFrom, filter] {
            if (!mergeFrom.isEmpty())
                wbdb_->carryWordsFromUser(mergeFrom, cur);
            preprocessingBeforeSync(cur, filter);
        });
        return;
    }
    post(wbnotify::kSyncFailed);
    if (auto* l = listener())
        l->wordBookSyncFailed(WordBookError{QStringLiteral("unknown"), -1});
    setSyncing(false);
    runPendingSync();
}

void MVWordBook::preprocessingBeforeSync(const QString& user, const QString& filter)
{
    if (!user.isEmpty()) {
        // Only while the user is still signed in: after a logout the
        // anonymous words are nobody's yet, and the pair the logout set stays.
        bool current = false;
        {
            QMutexLocker lock(&userMutex_);
            current = curUser_ == user;
        }
        if (current) {
            wbdb_->carryWordsFromUser(QStringLiteral(""), user);
            {
                QMutexLocker lock(&userMutex_);
                if (curUser_ == user)
                    preUser_ = user;
            }
            updateUserName();
        }
    }
    QPointer<MVWordBook> self(this);
    runOnMain([self] {
        if (self)
            self->syncingRateSet(100);
    });
    const QList<MVWordBookItemPtr> adds = wbdb_->getAddList(filter);
    const QList<MVWordBookItemPtr> dels = wbdb_->getDelList(filter);
    QMap<QString, MVWordBookRemItemPtr> rems = wbdb_->getChangedRemList(filter);

    QList<MVSyncActionPtr> addList, delList;
    for (const auto& item : adds) {
        auto a = std::make_shared<MVSyncAction>();
        a->item = item;
        a->withWordInfo = true;
        auto it = rems.find(item->word);
        if (it != rems.end()) {
            a->remItem = it.value();
            a->withRemInfo = true;
            rems.erase(it);
        }
        addList.append(a);
    }
    for (const auto& rem : std::as_const(rems)) {
        auto a = std::make_shared<MVSyncAction>();
        a->remItem = rem;
        a->withRemInfo = true;
        addList.append(a);
    }
    for (const auto& item : dels) {
        auto a = std::make_shared<MVSyncAction>();
        a->item = item;
        a->withWordInfo = true;
        delList.append(a);
    }
    runOnMain([self, addList, delList] {
        if (!self)
            return;
        self->syncingRateSet(150);
        self->addList_ = addList;
        self->delList_ = delList;
        self->startSyncConnection();
    });
}

void MVWordBook::startSyncConnection()
{
    wbSync_->startSyncWithAddList(addList_, delList_, tmpLocalTimestamp_, tmpRemLocalTimestamp_, syncUrl_, this);
}

void MVWordBook::syncDidStart()
{
    syncingRateSet(200);
}

void MVWordBook::syncRecievedAction(const MVSyncActionPtr& action)
{
    if (!action)
        return;
    const QString key = action->item ? action->item->word : (action->remItem ? action->remItem->word : QString());
    auto it = actionList_.find(key);
    if (it == actionList_.end()) {
        actionList_.insert(key, action);
        return;
    }
    const MVSyncActionPtr older = it.value();
    MVSyncAction& n = *action;
    const MVSyncAction& o = *older;
    if (n.item) {
        if (o.item) {
            for (auto field : {&MVWordBookItem::word, &MVWordBookItem::definition, &MVWordBookItem::phonetic,
                               &MVWordBookItem::timeStamp, &MVWordBookItem::date, &MVWordBookItem::time,
                               &MVWordBookItem::tags}) {
                if ((*n.item.*field).isNull())
                    *n.item.*field = *o.item.*field;
            }
        }
    } else {
        n.item = o.item;
    }
    if (n.remItem) {
        if (o.remItem) {
            MVWordBookRemItem& nr = *n.remItem;
            const MVWordBookRemItem& orr = *o.remItem;
            if (nr.word.isNull())
                nr.word = orr.word;
            if (nr.remTimpstamp.isNull())
                nr.remTimpstamp = orr.remTimpstamp;
            if (nr.remModTime.isNull())
                nr.remModTime = orr.remModTime;
            if (nr.progress.isNull() || nr.progress == QLatin1String("-1"))
                nr.progress = orr.progress;
        }
    } else {
        n.remItem = o.remItem;
    }
    n.withWordInfo = n.withWordInfo || o.withWordInfo;
    n.withRemInfo = n.withRemInfo || o.withRemInfo;
    n.isAdd = n.isAdd || o.isAdd;
    it.value() = action;
}

void MVWordBook::syncUpdateTimestamp(const QString& ts, const QString& remTs)
{
    tmpLocalTimestamp_ = ts;
    tmpRemLocalTimestamp_ = remTs;
}

void MVWordBook::syncNeedAgain()
{
    syncingRateSet(syncingRate_ + 20);
    wbSync_->startSyncWithAddList({}, {}, tmpLocalTimestamp_, tmpRemLocalTimestamp_, syncUrl_, this);
}

void MVWordBook::syncNeedUpdateFirst()
{
    syncingRateSet(syncingRate_ + 20);
    needCommitAgain_ = true;
    wbSync_->startSyncWithAddList({}, {}, tmpLocalTimestamp_, tmpRemLocalTimestamp_, syncUrl_, this);
}

void MVWordBook::syncDidFinish()
{
    if (needCommitAgain_) {
        needCommitAgain_ = false;
        const QString user = syncUser_, filter = syncFilter_;
        queueWrite([this, user, filter] { preprocessingBeforeSync(user, filter); });
        return;
    }
    syncingRateSet(250);
    commitActionListToDb();
}

void MVWordBook::commitActionListToDb()
{
    const SyncActionMap actions = actionList_;
    const QString user = syncUser_, filter = syncFilter_;
    auto db = wbdb_;
    QPointer<MVWordBook> self(this);
    pool_.start([self, db, actions, user, filter] {
        const bool ok = actions.isEmpty() || db->commitSyncingActionList(actions, user, filter);
        runOnMain([self, ok] {
            if (!self)
                return;
            if (ok) {
                self->actionList_.clear();
                self->syncReallyFinish();
            } else {
                // Received actions stay for the next round and the
                // timestamps stay where they were, so nothing is skipped.
                self->syncFailed(WordBookError{wbsync::kDomain, wbsync::kStoreError});
            }
        });
    });
}

void MVWordBook::syncReallyFinish()
{
    setSyncing(false);
    if ((!addList_.isEmpty() || !delList_.isEmpty()) && wbdb_) {
        auto db = wbdb_;
        const auto adds = addList_;
        const auto dels = delList_;
        const QString filter = syncFilter_;
        queueWrite([db, adds, dels, filter] { db->clearChangedWordsWithAddList(adds, dels, filter); });
    }
    addList_.clear();
    delList_.clear();
    if (wbdb_) {
        wbdb_->setTimeStamp(tmpLocalTimestamp_, syncUser_);
        wbdb_->setRemTimeStamp(tmpRemLocalTimestamp_, syncUser_);
    }
    // The moment shows for the account that is signed in; a logout since
    // the start has already reset it.
    if (curUser() == syncUser_)
        UserDefaults::standard().setValue(QStringLiteral("kSyncWordTime"),
                                          static_cast<double>(wbclock::now().toMSecsSinceEpoch()) / 1000.0);
    countSyncedWords();
    syncingRateSet(1000);
    if (auto* l = listener())
        l->wordBookSyncSecuss();
    post(wbnotify::kSyncDone);
    runPendingSync();
}

void MVWordBook::syncDidError(const WordBookError& error)
{
    syncFailed(error);
}

void MVWordBook::syncFailed(const WordBookError& error)
{
    if (auto* l = listener())
        l->wordBookSyncFailed(error);
    post(wbnotify::kSyncFailed);
    countSyncedWords();
    setSyncing(false);
    needCommitAgain_ = false;
    addList_.clear();
    delList_.clear();
    syncingRate_ = 0;
    if (auto* l = listener())
        l->wordBookSyncProcessing(0);
    post(wbnotify::kStatusChanged);
    runPendingSync();
}

void MVWordBook::countSyncedWords()
{
    auto db = wbdb_;
    if (!db)
        return;
    const QString user = curUser();
    // Behind the queued writes, so the count sees the marks just cleared.
    queueWrite([this, db, user] {
        pool_.start([db, user] {
            int n = db->getNumOfSyncedWordForUser(user);
            auto& d = UserDefaults::standard();
            d.setValue(QStringLiteral("kSyncWordNum"), std::max(n, 0));
            d.sync();
        });
    });
}

void MVWordBook::runPendingSync()
{
    if (!pending_)
        return;
    // A listener that was a QObject and is gone by now is not called.
    MVWordBookSyncDelegate* d = (pendingIsObject_ && !pendingGuard_) ? nullptr : pendingDelegate_;
    const bool merge = pendingMerge_;
    pending_ = false;
    pendingMerge_ = false;
    pendingDelegate_ = nullptr;
    QPointer<MVWordBook> self(this);
    runOnMain([self, d, merge] {
        if (self)
            self->startSyncWithDelegate(d, merge);
    });
}
