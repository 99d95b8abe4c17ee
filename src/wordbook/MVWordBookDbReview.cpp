// The review plan's live part: entering words under the daily limit and
// removing them with their words.
#include "wordbook/MVWordBookDb.h"

#include "platform/UserDefaults.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <SQLiteCpp/SQLiteCpp.h>

using namespace wbsql;

namespace {
const QString kBeginTime = QStringLiteral("review_begin_words_time");
const QString kBeginNum = QStringLiteral("review_begin_words_num");
const QString kLimit = QStringLiteral("setting_review_word_limit");
}  // namespace

double MVWordBookDb::intervalForProgress(int progress)
{
    static const double seconds[] = {0, 1800, 43200, 86400, 172800, 345600, 604800, 1296000, 2592000};
    return (progress >= 1 && progress <= 9) ? seconds[progress - 1] : 0;
}

bool MVWordBookDb::canAddOneRemWord()
{
    auto& d = UserDefaults::standard();
    const QString today = wbclock::today();
    const QString day = d.stringValue(kBeginTime);
    if (!day.isEmpty() && day == today) {
        qint64 limit = d.integerValue(kLimit);
        if (limit == 0) {
            d.setValue(kLimit, QStringLiteral("30"));
            d.sync();
            limit = 30;
        }
        return d.integerValue(kBeginNum) < limit;
    }
    d.setValue(kBeginTime, today);
    d.setValue(kBeginNum, 0);
    d.sync();
    return true;
}

void MVWordBookDb::markOneRemWordAddedToReviewPlan()
{
    auto& d = UserDefaults::standard();
    d.setValue(kBeginNum, d.integerValue(kBeginNum) + 1);
    d.sync();
}

void MVWordBookDb::markOneRemWordDelFromReviewPlan()
{
    auto& d = UserDefaults::standard();
    const qint64 n = d.integerValue(kBeginNum);
    if (n > 0)
        d.setValue(kBeginNum, n - 1);
    d.sync();
}

bool MVWordBookDb::addRemForWords(const QStringList& words, const QString& user)
{
    if (words.isEmpty())
        return false;
    const QString remTs = getRemTimeStampForUser(user);
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString now = wbclock::nowDescription();
    const QString filter = userSQL();
    bool ok = true;
    for (const QString& word : words) {
        if (word.isEmpty())
            continue;
        const QString w = getSafeStringForDb(word);
        if (exists(*db, QStringLiteral("SELECT * FROM REMTABLE WHERE PROGRESS <> '-1' AND WORD = ? AND %1").arg(filter), {w}))
            continue;
        exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND (PROGRESS = '10' OR PROGRESS = '-1') AND %1")
                      .arg(filter),
             {w});
        if (canAddOneRemWord()) {
            if (exec(*db, QStringLiteral("INSERT INTO REMTABLE VALUES (?, '1', ?, '1', ?, ?, '0')"), {w, now, user, remTs}))
                markOneRemWordAddedToReviewPlan();
            else
                ok = false;
        } else {
            ok = exec(*db, QStringLiteral("INSERT INTO REMTABLE VALUES (?, '0', ?, '1', ?, ?, '0')"), {w, now, user, remTs}) && ok;
        }
    }
    if (!commit(*db))
        return false;
    return ok;
}

bool MVWordBookDb::delRemForWord(const QString& word)
{
    if (word.isEmpty())
        return false;
    bool ok = false;
    if (auto db = dateBase())
        ok = exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(userSQL()), {getSafeStringForDb(word)});
    markOneRemWordDelFromReviewPlan();
    return ok;
}

bool MVWordBookDb::delRemForWords(const QStringList& words)
{
    if (words.isEmpty())
        return false;
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString filter = userSQL();
    for (const QString& w : words) {
        if (w.isEmpty())
            continue;
        exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(filter), {getSafeStringForDb(w)});
        markOneRemWordDelFromReviewPlan();
    }
    if (!commit(*db))
        rollback(*db);
    return true;
}
