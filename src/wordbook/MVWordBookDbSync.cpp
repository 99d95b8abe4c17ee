// The store's side of a synchronisation: reading local changes, carrying words
// between accounts, clearing marks after an upload and writing what the
// service sent.
#include "wordbook/MVWordBookDb.h"

#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <SQLiteCpp/SQLiteCpp.h>

using namespace wbsql;

namespace {
const QString kSep = QStringLiteral("\\n");

QString tagsForWord(SQLite::Database& db, const QString& quotedWord, const QString& filter)
{
    QString out = QStringLiteral("");
    for (const auto& r : rows(db, QStringLiteral("SELECT TAG FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter),
                              {quotedWord})) {
        const QString name = MVWordBookDb::getStringFromSafeString(r.value(0));
        if (!name.isEmpty())
            out += QLatin1Char(';') + name;
    }
    return out;
}
}  // namespace

QList<MVWordBookItemPtr> MVWordBookDb::getAddList(const QString& filterArg) const
{
    QList<MVWordBookItemPtr> out;
    auto db = dateBase();
    if (!db)
        return out;
    const QString filter = filterArg.isNull() ? userSQL() : filterArg;
    for (const auto& r : rows(*db, QStringLiteral("SELECT * FROM WORDBOOK WHERE OP = 'add' AND %1").arg(filter))) {
        auto item = std::make_shared<MVWordBookItem>();
        item->word = getStringFromSafeString(r.value(0));
        item->rowTime = r.value(2);
        item->rowIntp = r.value(3);
        const QString intp = getStringFromSafeString(r.value(3));
        if (!intp.isEmpty()) {
            const int at = intp.indexOf(kSep);
            if (at >= 0) {
                item->phonetic = intp.left(at);
                item->definition = intp.mid(at + kSep.size()).replace(kSep, QStringLiteral(" \n"));
            } else {
                item->phonetic = QStringLiteral("");
                item->definition = intp;
            }
        }
        item->tags = tagsForWord(*db, r.value(0), filter);
        const QDateTime t = wbclock::dateFromTime(r.value(2));
        item->time = QString::number(t.isValid() ? static_cast<int>(t.toSecsSinceEpoch()) : 0);
        out.append(item);
    }
    return out;
}

QList<MVWordBookItemPtr> MVWordBookDb::getDelList(const QString& filter) const
{
    QList<MVWordBookItemPtr> out;
    auto db = dateBase();
    if (!db)
        return out;
    for (const auto& r : rows(*db, QStringLiteral("SELECT WORD FROM WORDBOOK WHERE OP = 'remove' AND %1")
                                         .arg(filter.isNull() ? userSQL() : filter))) {
        auto item = std::make_shared<MVWordBookItem>();
        item->word = getStringFromSafeString(r.value(0));
        out.append(item);
    }
    return out;
}

QMap<QString, MVWordBookRemItemPtr> MVWordBookDb::getChangedRemList(const QString& filter) const
{
    QMap<QString, MVWordBookRemItemPtr> out;
    auto db = dateBase();
    if (!db)
        return out;
    for (const auto& r : rows(*db, QStringLiteral("SELECT * FROM REMTABLE WHERE STATUS = '1' AND %1")
                                         .arg(filter.isNull() ? userSQL() : filter))) {
        auto rem = std::make_shared<MVWordBookRemItem>();
        rem->word = getStringFromSafeString(r.value(0));
        rem->progress = r.value(1);
        rem->remModTime = r.value(2);
        rem->remTimpstamp = r.value(5);
        out.insert(rem->word, rem);
    }
    return out;
}

bool MVWordBookDb::carryWordsFromUser(const QString& from, const QString& to)
{
    if (from.isNull() || to.isNull())
        return false;
    const QString ts = getTimeStampForUser(to);
    const QString remTs = getRemTimeStampForUser(to);
    auto db = dateBase();
    if (!db)
        return true;
    const bool anonymous = from.isEmpty();

    // Each table moves in one transaction together with the removal of the
    // anonymous rows, so an interruption neither loses nor doubles words.
    auto step = [&](const QString& select, const QString& insert, auto bindsOf, const QString& cleanup) {
        if (!begin(*db))
            return;
        bool ok = true;
        const auto found = rows(*db, select, {from}, &ok);
        for (const auto& r : found) {
            if (!ok)
                break;
            ok = exec(*db, insert, bindsOf(r));
        }
        if (ok && anonymous)
            ok = exec(*db, cleanup);
        if (!ok || !commit(*db))
            rollback(*db);
    };
    step(QStringLiteral("SELECT * FROM WORDBOOK WHERE USERNAME = ? AND OP <> 'remove'"),
         // The target keeps its own row of a word it already has.
         QStringLiteral("INSERT OR IGNORE INTO WORDBOOK VALUES (?, ?, ?, ?, ?, 'add', ?  ,'0')"),
         [&](const Row& r) { return QStringList{r.value(0), r.value(1), r.value(2), r.value(3), ts, to}; },
         QStringLiteral("DELETE FROM WORDBOOK WHERE USERNAME = ''"));
    step(QStringLiteral("SELECT * FROM REMTABLE WHERE USERNAME = ? AND PROGRESS <> '-1'"),
         QStringLiteral("INSERT OR IGNORE INTO REMTABLE VALUES (?, ?, ?, '1', ?, ?, '0')"),
         [&](const Row& r) { return QStringList{r.value(0), r.value(1), r.value(2), to, remTs}; },
         QStringLiteral("DELETE FROM REMTABLE WHERE USERNAME = ''"));
    step(QStringLiteral("SELECT * FROM TAGTABLE WHERE USERNAME = ?"),
         QStringLiteral("INSERT OR IGNORE INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?);"),
         [&](const Row& r) { return QStringList{r.value(0), r.value(1), to}; },
         QStringLiteral("DELETE FROM TAGTABLE WHERE USERNAME = ''"));
    step(QStringLiteral("SELECT * FROM WORDTAGTABLE WHERE USERNAME = ?"),
         QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?);"),
         [&](const Row& r) { return QStringList{r.value(1), to, QStringLiteral("")}; },
         QStringLiteral("DELETE FROM WORDTAGTABLE WHERE USERNAME = ''"));
    return true;
}

bool MVWordBookDb::clearChangedWordsWithAddList(const QList<MVSyncActionPtr>& addList,
                                                const QList<MVSyncActionPtr>& delList, const QString& filterArg)
{
    auto db = dateBase();
    if (!db)
        return true;
    const QString filter = filterArg.isNull() ? userSQL() : filterArg;
    // Only rows still exactly as they were uploaded lose their marks: a word
    // the user changed again since then must go up with the next round.
    if (!addList.isEmpty() && begin(*db)) {
        for (const auto& a : addList) {
            if (!a)
                continue;
            if (a->item) {
                const QString w = getSafeStringForDb(a->item->word);
                if (a->item->rowTime.isNull()) {
                    exec(*db, QStringLiteral("UPDATE WORDBOOK SET OP = '' WHERE WORD = ? AND %1").arg(filter), {w});
                } else if (tagsForWord(*db, w, filter) == a->item->tags) {
                    exec(*db,
                         QStringLiteral("UPDATE WORDBOOK SET OP = '' WHERE WORD = ? AND %1 AND OP = 'add' "
                                        "AND TIME IS ? AND INTP IS ?")
                             .arg(filter),
                         {w, a->item->rowTime, a->item->rowIntp});
                }
            }
            if (a->remItem) {
                const QString r = getSafeStringForDb(a->remItem->word);
                const QStringList binds{r, a->remItem->progress, a->remItem->remModTime};
                if (a->remItem->progress == QLatin1String("-1"))
                    exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1 AND STATUS = '1' "
                                             "AND PROGRESS IS ? AND MODTIME IS ?")
                                  .arg(filter),
                         binds);
                else
                    exec(*db, QStringLiteral("UPDATE REMTABLE SET STATUS = '0' WHERE WORD = ? AND %1 AND "
                                             "STATUS = '1' AND PROGRESS IS ? AND MODTIME IS ?")
                                  .arg(filter),
                         binds);
            }
        }
        if (!commit(*db))
            rollback(*db);
    }
    if (!delList.isEmpty() && begin(*db)) {
        for (const auto& a : delList) {
            if (!a || !a->item)
                continue;
            const QString w = getSafeStringForDb(a->item->word);
            exec(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1 AND OP = 'remove'").arg(filter), {w});
            // A word added back since the upload keeps its groups and plan.
            if (!exists(*db, QStringLiteral("SELECT * FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w})) {
                exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w});
                exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(filter), {w});
            }
        }
        if (!commit(*db))
            rollback(*db);
    }
    return true;
}

bool MVWordBookDb::commitSyncingActionList(const SyncActionMap& actions, const QString& user,
                                           const QString& filterArg)
{
    if (actions.isEmpty())
        return true;
    auto db = dateBase();
    if (!db)
        return false;
    std::function<void(int)> hook;
    {
        QMutexLocker lock(&mutex_);
        hook = batchHook_;
    }
    const QString filter = filterArg.isNull() ? userSQL() : filterArg;
    int n = 0;
    int batch = 0;
    bool ok = true;
    for (auto it = actions.cbegin(); it != actions.cend() && ok; ++it) {
        if (n == 0 && !(ok = begin(*db)))
            break;
        ++n;
        const MVSyncActionPtr& a = it.value();
        if (a) {
            const bool withContent = a->isAdd && a->withWordInfo && a->item;
            if (withContent) {
                const MVWordBookItem& item = *a->item;
                const QString w = getSafeStringForDb(item.word);
                ok = exec(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}) &&
                     exec(*db, QStringLiteral("INSERT INTO WORDBOOK VALUES (?, ?, ?, ?, ?, '', ?, '0')"),
                          {w, item.date, item.time, getSafeStringForDb(item.intp()), item.timeStamp, user});
                if (ok && !item.tags.isNull()) {
                    ok = exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w});
                    for (const QString& name : item.tags.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                        if (!ok)
                            break;
                        const QString t = getSafeStringForDb(name);
                        // A name listed twice is one membership.
                        ok = exec(*db, QStringLiteral("INSERT OR IGNORE INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?);"),
                                  {w, t, user});
                        if (ok && !exists(*db, QStringLiteral("SELECT * FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {t}))
                            ok = exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?);"),
                                      {t, user, QStringLiteral("0")});
                    }
                }
            }
            if (ok && a->isAdd && a->remItem && !a->remItem->progress.isEmpty()) {
                const MVWordBookRemItem& rem = *a->remItem;
                const QString r = getSafeStringForDb(rem.word);
                if (withContent || hasWordWithDb(*db, r)) {
                    ok = exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(filter), {r});
                    if (ok && rem.progress != QLatin1String("-1"))
                        ok = exec(*db, QStringLiteral("INSERT INTO REMTABLE VALUES (?, ?, ?, '0', ?, ?, '0')"),
                                  {r, rem.progress, rem.remModTime, user, rem.remTimpstamp});
                }
            }
            if (ok && !a->isAdd && a->item) {
                const QString w = getSafeStringForDb(a->item->word);
                ok = exec(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}) &&
                     exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w}) &&
                     exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(filter), {w});
            }
        }
        if (ok && n == kCommitBatch) {
            ok = commit(*db);
            n = 0;
            if (ok && hook)
                hook(batch);
            ++batch;
        }
    }
    if (ok && n != 0) {
        ok = commit(*db);
        if (ok && hook)
            hook(batch);
    }
    if (!ok)
        rollback(*db);
    return ok;
}
