#include "wordbook/MVWordBookDb.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <QDate>
#include <QHash>
#include <QSet>
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
    // One look at what is stored, then sets: a query per row scans the
    // unindexed tables each time, and a large file would never finish.
    // UPPER() in SQLite folds ASCII only; asciiUpper matches it.
    auto asciiUpper = [](QString s) {
        for (QChar& c : s)
            if (c >= u'a' && c <= u'z')
                c = QChar(c.unicode() - 32);
        return s;
    };
    QSet<QString> storedUpper, rowsOfUser, taggedOfUser, groups;
    for (const Row& r : rows(*db, QStringLiteral("SELECT WORD FROM WORDBOOK WHERE %1 AND OP != 'remove'").arg(userSQL())))
        storedUpper.insert(asciiUpper(r.value(0)));
    for (const Row& r : rows(*db, QStringLiteral("SELECT WORD FROM WORDBOOK WHERE %1").arg(filter)))
        rowsOfUser.insert(r.value(0));
    for (const Row& r : rows(*db, QStringLiteral("SELECT WORD FROM TAGTABLE WHERE %1").arg(filter)))
        taggedOfUser.insert(r.value(0));
    for (const Row& r : rows(*db, QStringLiteral("SELECT DISTINCT TAG FROM WORDTAGTABLE WHERE %1").arg(filter)))
        groups.insert(r.value(0));
    int groupCount = int(groups.size());
    for (const WordBookRecord& r : records) {
        const QString w = getSafeStringForDb(r.word);
        if (w.isEmpty())
            return fail();
        const QString key = asciiUpper(w);
        if (storedUpper.contains(key)) {
            ++outcome.alreadyStored;
            continue;
        }
        // A row kept only to carry a deletion to the service gives way.
        if (rowsOfUser.contains(w) &&
            !exec(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}))
            return fail();
        const QDate day = QDate::fromString(r.dateAdded, Qt::ISODate);
        const QString date = day.isValid() ? day.toString(Qt::ISODate) : wbclock::today();
        const QString time = day.isValid() ? wbclock::describe(day.startOfDay()) : wbclock::nowDescription();
        const QString intp = getSafeStringForDb(
            MVWordBookItem::makeIntp(r.phonetic, wordbooktransfer::definitionForStore(r.definition)));
        if (!exec(*db, QStringLiteral("INSERT INTO WORDBOOK VALUES (?, ?, ?, ?, ?, 'add', ?, '0')"),
                  {w, date, time, intp, ts, user}))
            return fail();
        storedUpper.insert(key);
        rowsOfUser.insert(w);
        if (r.group.isEmpty()) {
            ++outcome.added;
            continue;
        }
        const QString t = getSafeStringForDb(r.group);
        if (!groups.contains(t)) {
            if (!exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?)"),
                      {t, user, QString::number(groupCount++)}))
                return fail();
            groups.insert(t);
        }
        if ((taggedOfUser.contains(w) &&
             !exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w})) ||
            !exec(*db, QStringLiteral("INSERT INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?)"), {w, t, user}))
            return fail();
        taggedOfUser.insert(w);
        ++outcome.added;
    }
    if (!commit(*db))
        return WordBookImportOutcome{};
    outcome.ok = true;
    return outcome;
}
