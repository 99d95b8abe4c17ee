#include "wordbook/MVWordBookDb.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <QDate>
#include <QHash>
#include <SQLiteCpp/SQLiteCpp.h>

using namespace wbsql;

QList<WordBookRecord> MVWordBookDb::exportRecords(const QString& group, const QString& user,
                                                  const QString& preUser) const
{
    QList<WordBookRecord> out;
    auto db = dateBase();
    if (!db)
        return out;
    QHash<QString, QString> groupOf;
    for (const Row& r : rows(*db, QStringLiteral("SELECT WORD, TAG FROM TAGTABLE WHERE %1")
                                      .arg(userCondition(QStringLiteral("USERNAME"), user, preUser))))
        groupOf.insert(r.value(0), getStringFromSafeString(r.value(1)));
    const auto words = rows(*db, QStringLiteral("SELECT WORD, DATE, INTP FROM WORDBOOK WHERE OP <> 'remove' AND %1 "
                                                "ORDER BY TIME ASC, WORD ASC")
                                     .arg(userCondition(QStringLiteral("USERNAME"), user, preUser)));
    for (const Row& r : words) {
        WordBookRecord rec;
        rec.word = getStringFromSafeString(r.value(0));
        rec.group = groupOf.value(r.value(0));
        if (!group.isEmpty() && rec.group != group)
            continue;
        rec.dateAdded = r.value(1);
        wordbooktransfer::splitIntp(getStringFromSafeString(r.value(2)), &rec.phonetic, &rec.definition);
        out.append(rec);
    }
    return out;
}

WordBookImportOutcome MVWordBookDb::importRecords(const QList<WordBookRecord>& records, const QString& user)
{
    WordBookImportOutcome outcome;
    const QString ts = getTimeStampForUser(user);
    const QString filter = user.isEmpty() ? userSQL() : userCondition(QStringLiteral("USERNAME"), user, user);
    auto db = dateBase();
    if (!db || !begin(*db))
        return outcome;
    auto fail = [&] {
        rollback(*db);
        return WordBookImportOutcome{};
    };
    int groupCount = int(rows(*db, QStringLiteral("SELECT DISTINCT TAG FROM WORDTAGTABLE WHERE %1").arg(filter)).size());
    for (const WordBookRecord& r : records) {
        const QString w = getSafeStringForDb(r.word);
        if (w.isEmpty())
            return fail();
        if (hasWordWithDb(*db, w)) {
            ++outcome.alreadyStored;
            continue;
        }
        // A row kept only to carry a deletion to the service gives way.
        if (!exec(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}))
            return fail();
        const QDate day = QDate::fromString(r.dateAdded, Qt::ISODate);
        const QString date = day.isValid() ? day.toString(Qt::ISODate) : wbclock::today();
        const QString time = day.isValid() ? wbclock::describe(day.startOfDay()) : wbclock::nowDescription();
        const QString intp = getSafeStringForDb(
            MVWordBookItem::makeIntp(r.phonetic, wordbooktransfer::definitionForStore(r.definition)));
        if (!exec(*db, QStringLiteral("INSERT INTO WORDBOOK VALUES (?, ?, ?, ?, ?, 'add', ?, '0')"),
                  {w, date, time, intp, ts, user}))
            return fail();
        if (r.group.isEmpty()) {
            ++outcome.added;
            continue;
        }
        const QString t = getSafeStringForDb(r.group);
        if (!exists(*db, QStringLiteral("SELECT * FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {t})) {
            if (!exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?)"),
                      {t, user, QString::number(groupCount++)}))
                return fail();
        }
        if (!exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w}) ||
            !exec(*db, QStringLiteral("INSERT INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?)"), {w, t, user}))
            return fail();
        ++outcome.added;
    }
    if (!commit(*db))
        return WordBookImportOutcome{};
    outcome.ok = true;
    return outcome;
}
