#include "wordbook/MVWordBookDb.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <SQLiteCpp/SQLiteCpp.h>

using namespace wbsql;

std::optional<QList<WordBookRecord>> MVWordBookDb::exportRecords(const QString& group, const QString& user,
                                                                 const QString& preUser) const
{
    auto db = dateBase();
    if (!db)
        return std::nullopt;
    // Both read in one transaction: a write between them cannot pair a
    // word with a group it no longer has.
    if (!exec(*db, QStringLiteral("BEGIN")))
        return std::nullopt;
    bool tagsRead = false, wordsRead = false;
    QHash<QString, QString> groupOf;
    for (const Row& r : rows(*db, QStringLiteral("SELECT WORD, TAG FROM TAGTABLE WHERE %1")
                                      .arg(userCondition(QStringLiteral("USERNAME"), user, preUser)), {}, &tagsRead))
        groupOf.insert(r.value(0), getStringFromSafeString(r.value(1)));
    const auto words = tagsRead ? rows(*db, QStringLiteral("SELECT WORD, DATE, INTP FROM WORDBOOK WHERE OP <> 'remove' "
                                                           "AND %1 ORDER BY TIME ASC, WORD ASC")
                                                .arg(userCondition(QStringLiteral("USERNAME"), user, preUser)),
                                       {}, &wordsRead)
                                : std::vector<Row>();
    exec(*db, QStringLiteral("ROLLBACK"), {}, true);  // a read: nothing to undo
    // A file that is not all read is not exported at all.
    if (!wordsRead)
        return std::nullopt;
    QList<WordBookRecord> out;
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

WordBookImportOutcome MVWordBookDb::importRecords(const std::function<bool(QList<WordBookRecord>&)>& nextBatch,
                                                  const QString& user)
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
    Prepared dropKept(*db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter));
    Prepared addWord(*db, QStringLiteral("INSERT INTO WORDBOOK VALUES (?, ?, ?, ?, ?, 'add', ?, '0')"));
    Prepared dropTag(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter));
    Prepared addTag(*db, QStringLiteral("INSERT INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?)"));
    // A word added here is in storedUpper from then on, so a later row with
    // it is skipped before rowsOfUser or taggedOfUser would be asked.
    // False: the store refused a write.
    const auto importOne = [&](const WordBookRecord& r) {
        const QString w = getSafeStringForDb(r.word);
        if (w.isEmpty())
            return false;
        const QString key = asciiUpper(w);
        if (storedUpper.contains(key)) {
            ++outcome.alreadyStored;
            return true;
        }
        // A row kept only to carry a deletion to the service gives way.
        if (rowsOfUser.contains(w) && !dropKept.run({w}))
            return false;
        const QDate day = QDate::fromString(r.dateAdded, Qt::ISODate);
        const QString date = day.isValid() ? day.toString(Qt::ISODate) : wbclock::today();
        const QString time = day.isValid() ? wbclock::describe(day.startOfDay()) : wbclock::nowDescription();
        const QString intp = getSafeStringForDb(
            MVWordBookItem::makeIntp(r.phonetic, wordbooktransfer::definitionForStore(r.definition)));
        if (!addWord.run({w, date, time, intp, ts, user}))
            return false;
        storedUpper.insert(key);
        ++outcome.added;
        if (r.group.isEmpty())
            return true;
        const QString t = getSafeStringForDb(r.group);
        if (!groups.contains(t)) {
            if (!exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?)"),
                      {t, user, QString::number(groupCount++)}))
                return false;
            groups.insert(t);
        }
        return (!taggedOfUser.contains(w) || dropTag.run({w})) && addTag.run({w, t, user});
    };
    QList<WordBookRecord> records;
    while (nextBatch(records)) {
        for (const WordBookRecord& r : std::as_const(records)) {
            if (!importOne(r))
                return fail();
        }
        records.clear();
    }
    if (!commit(*db))
        return WordBookImportOutcome{};
    outcome.ok = true;
    return outcome;
}
