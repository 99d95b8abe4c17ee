#include "wordbook/MVWordBookDb.h"
#include "platform/PrivateFiles.h"

#include "platform/UserDefaults.h"
#include "query/MirvokFileManager.h"
#include "query/StoreFile.h"
#include "wordbook/PinyinInitials.h"
#include "wordbook/WordBookClock.h"
#include "wordbook/WordBookSql.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <cerrno>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

using namespace wbsql;

namespace {
bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

int busyTimeout()
{
    return onMainThread() ? MVWordBookDb::kMainThreadBusyMs : MVWordBookDb::kBusyTimeoutMs;
}

// Every column this version knows; a file with any other is from a later one.
const storefile::Layout& knownLayout()
{
    static const storefile::Layout layout{
        {QStringLiteral("WORDBOOK"),
         {"WORD", "DATE", "TIME", "INTP", "TS", "OP", "USERNAME", "SPELLTIME"}},
        {QStringLiteral("USERTS"), {"USERNAME", "TS"}},
        {QStringLiteral("TAGTABLE"), {"WORD", "TAG", "USERNAME"}},
        {QStringLiteral("WORDTAGTABLE"), {"ID", "TAG", "USERNAME", "LISTORDER"}},
        {QStringLiteral("REMTABLE"),
         {"WORD", "PROGRESS", "MODTIME", "STATUS", "USERNAME", "REMTS", "REMINDTIME"}},
    };
    return layout;
}

QString timestampKey(const char* base, const QString& user)
{
    return QStringLiteral("%1_for_%2").arg(QLatin1String(base), user);
}
}  // namespace

MVWordBookDb::MVWordBookDb(const QString& dbPath, std::function<QString()> currentUser)
    : dbPath_(dbPath), userSQL_(QStringLiteral("USERNAME = ''")), currentUser_(std::move(currentUser))
{
    open();
}

bool MVWordBookDb::open()
{
    if (open_)
        return true;
    const storefile::State state = storefile::prepare(dbPath_, knownLayout(), QStringLiteral("单词本"), busyTimeout()).state;
    if (state == storefile::State::Busy) {
        noteFailure(SQLITE_BUSY, 0);
        return false;
    }
    readOnly_ = state == storefile::State::NewerLayout;
    // The schema is made on every start; an existing column makes its ALTER
    // fail, which is how the layout stays unversioned.
    if (auto db = dateBase(); db && !readOnly_ && !createSchema(*db)
                              && storefile::faultOf(lastFailure().code, 0) == storefile::Fault::Busy)
        return false;
    // Words and account names are the user's alone, also in files made
    // under a wider mode before (SQLite gives its journals the file's mode).
    privatefiles::restrictFile(dbPath_);
    open_ = true;
    return true;
}

bool MVWordBookDb::setAsideIfDamaged()
{
    return !readOnly_
           && storefile::prepare(dbPath_, knownLayout(), QStringLiteral("单词本")).state
                  == storefile::State::SetAside;
}

MVWordBookDb::~MVWordBookDb() = default;

std::unique_ptr<MVWordBookDb> MVWordBookDb::initWithFileName(const QString& fileName,
                                                             std::function<QString()> currentUser)
{
    return std::make_unique<MVWordBookDb>(QDir(MirvokFileManager::getMVLibraryDir()).filePath(fileName),
                                          std::move(currentUser));
}

void MVWordBookDb::setCurrentUserProvider(std::function<QString()> provider)
{
    QMutexLocker lock(&mutex_);
    currentUser_ = std::move(provider);
}

void MVWordBookDb::setBatchCommittedHook(std::function<void(int)> hook)
{
    QMutexLocker lock(&mutex_);
    batchHook_ = std::move(hook);
}

QString MVWordBookDb::userSQL() const
{
    QMutexLocker lock(&mutex_);
    return userSQL_;
}

void MVWordBookDb::setUserSQL(const QString& sql)
{
    QMutexLocker lock(&mutex_);
    userSQL_ = sql;
}

QString MVWordBookDb::sqlLiteral(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QString MVWordBookDb::userCondition(const QString& column, const QString& user, const QString& preUser)
{
    if (!user.isEmpty())
        return QStringLiteral("%1 = %2").arg(column, sqlLiteral(user));
    if (!preUser.isEmpty())
        return QStringLiteral("(%1 = '' OR %1 = %2)").arg(column, sqlLiteral(preUser));
    return QStringLiteral("%1 = ''").arg(column);
}

QString MVWordBookDb::getSafeStringForDb(const QString& s)
{
    if (s.isNull())
        return {};
    QString out = s;
    return out.replace(QLatin1Char('\''), QStringLiteral("\"\""));
}

QString MVWordBookDb::getStringFromSafeString(const QString& s)
{
    if (s.isNull())
        return {};
    QString out = s;
    return out.replace(QStringLiteral("\"\""), QStringLiteral("'"));
}

std::unique_ptr<SQLite::Database> MVWordBookDb::dateBase() const
{
    const bool existed = QFileInfo::exists(dbPath_);
    std::unique_ptr<SQLite::Database> db;
    try {
        // A file of a newer layout is only ever read: SQLite itself refuses
        // any write on it.
        db = std::make_unique<SQLite::Database>(
            dbPath_.toStdString(), readOnly_ ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
            busyTimeout());
    } catch (const SQLite::Exception& e) {
        noteFailure(e.getExtendedErrorCode(), errno);
        qWarning().noquote() << "wordbook: cannot open" << dbPath_ << "-" << e.what();
        return nullptr;
    }
    if (!existed && !readOnly_) {
        privatefiles::restrictFile(dbPath_);
        // A file removed while the application runs comes back empty: give it
        // its tables again before any statement needs them.
        createSchema(*db);
        auto& d = UserDefaults::standard();
        d.setValue(QStringLiteral("kSyncWordTime"), 0.0);
        d.setValue(QStringLiteral("kSyncWordNum"), 0);
        std::function<QString()> cur;
        {
            QMutexLocker lock(&mutex_);
            cur = currentUser_;
        }
        if (cur) {
            const QString user = cur();
            if (!user.isEmpty()) {
                d.setValue(timestampKey("default_key_local_timestamp", user), QStringLiteral("0"));
            }
        }
        d.sync();
    }
    return db;
}

bool MVWordBookDb::createSchema(SQLite::Database& db) const
{
    // Stops at the first table it cannot make: on a file another program
    // holds, every further statement would only wait out the timeout again.
    const bool made =
        exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS WORDBOOK (WORD TEXT, DATE TEXT, TIME TEXT, INTP TEXT, "
                                "TS TEXT, OP TEXT, USERNAME TEXT, PRIMARY KEY(WORD,USERNAME))"))
        && exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS USERTS (USERNAME TEXT, TS TEXT)"))
        && exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS TAGTABLE (WORD TEXT, TAG TEXT, USERNAME TEXT, "
                                   "primary key(WORD, TAG, USERNAME))"))
        && exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS WORDTAGTABLE (ID TEXT, TAG TEXT, USERNAME TEXT)"))
        && exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS REMTABLE (WORD TEXT, PROGRESS TEXT, MODTIME TEXT, "
                                   "STATUS TEXT, USERNAME TEXT, REMTS TEXT, PRIMARY KEY(WORD,USERNAME))"));
    if (!made)
        return false;
    exec(db, QStringLiteral("ALTER TABLE WORDBOOK ADD COLUMN SPELLTIME TEXT DEFAULT '0'"), {}, true);
    exec(db, QStringLiteral("ALTER TABLE REMTABLE ADD COLUMN REMINDTIME TEXT DEFAULT '0'"), {}, true);
    exec(db, QStringLiteral("ALTER TABLE WORDTAGTABLE ADD COLUMN LISTORDER TEXT DEFAULT '0'"), {}, true);
    return true;
}

// ---- timestamps ----

bool MVWordBookDb::setTimeStamp(const QString& ts, const QString& user)
{
    if (user.isEmpty() || ts.isEmpty())
        return false;
    auto& d = UserDefaults::standard();
    d.setValue(timestampKey("default_key_local_timestamp", user), ts);
    d.sync();
    return true;
}

QString MVWordBookDb::getTimeStampForUser(const QString& user) const
{
    const QString v = UserDefaults::standard().stringValue(timestampKey("default_key_local_timestamp", user));
    if (!v.isEmpty())
        return v;
    if (auto db = dateBase()) {
        const auto r = rows(*db, QStringLiteral("SELECT * FROM USERTS WHERE USERNAME = ?"), {user});
        if (!r.empty() && r.front().size() > 1 && !r.front().at(1).isEmpty())
            return r.front().at(1);
    }
    return QStringLiteral("0");
}

bool MVWordBookDb::setRemTimeStamp(const QString& ts, const QString& user)
{
    if (user.isEmpty() || ts.isEmpty())
        return false;
    auto& d = UserDefaults::standard();
    d.setValue(timestampKey("default_key_rem_timestamp", user), ts);
    d.sync();
    return true;
}

QString MVWordBookDb::getRemTimeStampForUser(const QString& user) const
{
    const QString v = UserDefaults::standard().stringValue(timestampKey("default_key_rem_timestamp", user));
    return v.isEmpty() ? QStringLiteral("0") : v;
}

// ---- words ----

bool MVWordBookDb::addWord(const QString& word, const QString& phonetic, const QString& definition,
                           const QString& user)
{
    return addWordList({WordBookAdd{word, phonetic, definition, user}});
}

bool MVWordBookDb::addWordList(const QList<WordBookAdd>& adds)
{
    for (const WordBookAdd& a : adds) {
        if (a.word.isEmpty())
            return false;
    }
    QHash<QString, QString> timestamps;
    for (const WordBookAdd& a : adds) {
        if (!timestamps.contains(a.user))
            timestamps.insert(a.user, getTimeStampForUser(a.user));
    }
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    for (const WordBookAdd& a : adds) {
        if (!addWordWithDb(*db, a, timestamps.value(a.user))) {
            rollback(*db);
            return false;
        }
    }
    return commit(*db);
}

bool MVWordBookDb::addWordWithDb(SQLite::Database& db, const WordBookAdd& add, const QString& ts)
{
    const QString w = getSafeStringForDb(add.word);
    // A signed-in user's add replaces that user's row even when the filter
    // has moved on to another account since the add was asked for.
    const QString filter =
        add.user.isEmpty() ? userSQL() : userCondition(QStringLiteral("USERNAME"), add.user, add.user);
    if (exists(db, QStringLiteral("SELECT * FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}) &&
        !exec(db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(filter), {w}))
        return false;
    const QString intp = getSafeStringForDb(MVWordBookItem::makeIntp(add.phonetic, add.definition));
    return exec(db, QStringLiteral("INSERT INTO WORDBOOK VALUES (?, ?, ?, ?, ?, 'add', ?  ,'0')"),
                {w, wbclock::today(), wbclock::nowDescription(), intp, ts, add.user});
}

bool MVWordBookDb::rewriteParaphrase(const QString& word, const QString& phonetic, const QString& definition)
{
    if (word.isEmpty())
        return false;
    auto db = dateBase();
    if (!db)
        return false;
    const QString intp = getSafeStringForDb(MVWordBookItem::makeIntp(phonetic, definition));
    if (!exec(*db, QStringLiteral("UPDATE WORDBOOK SET INTP = ?, OP = 'add' WHERE WORD = ? AND "
                                  "(OP IS NULL OR OP != 'remove') AND %1").arg(userSQL()),
              {intp, getSafeStringForDb(word)}))
        return false;
    return changes(*db) > 0;
}

bool MVWordBookDb::deleteWordWithDb(SQLite::Database& db, const QString& word, const QString& user)
{
    const QString w = getSafeStringForDb(word);
    if (!user.isEmpty()) {
        bool ok = exec(db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND USERNAME = ? AND OP = 'add'"),
                       {w, user});
        return exec(db, QStringLiteral("UPDATE WORDBOOK SET OP = 'remove' WHERE WORD = ? AND USERNAME = ?"),
                    {w, user}) && ok;
    }
    return exec(db, QStringLiteral("DELETE FROM WORDBOOK WHERE WORD = ? AND %1").arg(userSQL()), {w});
}

bool MVWordBookDb::deleteWord(const QString& word, const QString& user, const QString& preUser)
{
    if (word.isEmpty() || user.isNull())
        return false;
    bool ok = false;
    if (auto db = dateBase())
        ok = deleteWordWithDb(*db, word, user);
    if (user.isEmpty() && !preUser.isEmpty()) {
        setTimeStamp(QStringLiteral("0"), preUser);
        setRemTimeStamp(QStringLiteral("0"), preUser);
    }
    return ok;
}

bool MVWordBookDb::deleteWords(const QStringList& words, const QString& user, const QString& preUser)
{
    if (words.isEmpty() || user.isNull())
        return false;
    bool last = false;
    {
        auto db = dateBase();
        if (!db)
            return false;
        if (!begin(*db))
            return false;
        for (const QString& w : words) {
            if (!w.isEmpty())
                last = deleteWordWithDb(*db, w, user);
        }
        if (!commit(*db))
            return false;
    }
    if (user.isEmpty() && !preUser.isEmpty()) {
        setTimeStamp(QStringLiteral("0"), preUser);
        setRemTimeStamp(QStringLiteral("0"), preUser);
    }
    return user.isEmpty() ? last : true;
}

bool MVWordBookDb::removeWords(const QStringList& words, const QString& user, const QString& preUser)
{
    if (words.isEmpty() || user.isNull())
        return false;
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString filter = userSQL();
    int removed = 0;
    for (const QString& word : words) {
        if (word.isEmpty())
            continue;
        const QString w = getSafeStringForDb(word);
        if (!deleteWordWithDb(*db, word, user)
            || !exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w})
            || !exec(*db, QStringLiteral("DELETE FROM REMTABLE WHERE WORD = ? AND %1").arg(filter), {w})) {
            rollback(*db);
            return false;
        }
        ++removed;
    }
    if (!commit(*db))
        return false;
    for (int i = 0; i < removed; ++i)
        markOneRemWordDelFromReviewPlan();
    if (user.isEmpty() && !preUser.isEmpty()) {
        setTimeStamp(QStringLiteral("0"), preUser);
        setRemTimeStamp(QStringLiteral("0"), preUser);
    }
    return true;
}

bool MVWordBookDb::hasWordWithDb(SQLite::Database& db, const QString& quotedWord) const
{
    return exists(db,
                  QStringLiteral("SELECT * FROM WORDBOOK WHERE UPPER(WORD) = UPPER(?) AND %1 AND OP != 'remove'")
                      .arg(userSQL()),
                  {quotedWord});
}

bool MVWordBookDb::isReadable() const
{
    bool ok = false;
    if (auto db = dateBase())
        rows(*db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master"), {}, &ok);
    return ok;
}

bool MVWordBookDb::hasWord(const QString& word) const
{
    if (word.isEmpty())
        return false;
    auto db = dateBase();
    return db && hasWordWithDb(*db, getSafeStringForDb(word));
}

bool MVWordBookDb::hasUnSyncedWordsForUser(const QString& user) const
{
    auto db = dateBase();
    return db && exists(*db,
                        QStringLiteral("SELECT * FROM WORDBOOK WHERE USERNAME = ? AND (OP = 'add' OR OP = 'remove')"),
                        {user.isNull() ? QStringLiteral("") : user});
}

int MVWordBookDb::getNumOfSyncedWordForUser(const QString& user) const
{
    if (user.isEmpty())
        return 0;
    auto db = dateBase();
    if (!db)
        return 0;
    const auto r = rows(*db, QStringLiteral("SELECT COUNT(*) FROM WORDBOOK WHERE OP = '' AND USERNAME = ?"), {user});
    return r.empty() ? 0 : r.front().value(0).toInt();
}

// ---- groups ----

QStringList MVWordBookDb::getAllTags() const
{
    QStringList out;
    auto db = dateBase();
    if (!db)
        return out;
    for (const auto& r : rows(*db, QStringLiteral("SELECT DISTINCT TAG FROM WORDTAGTABLE WHERE %1 ORDER BY LISTORDER ASC")
                                       .arg(userSQL())))
        out.append(getStringFromSafeString(r.value(0)));
    return out;
}

bool MVWordBookDb::addWordTags(const QStringList& names, const QString& user)
{
    auto db = dateBase();
    if (!db)
        return false;
    const QString filter = userSQL();
    if (!begin(*db))
        return false;
    bool all = true;
    for (int i = 0; i < names.size(); ++i) {
        const QString t = getSafeStringForDb(names[i]);
        const QString order = QString::number(i);
        if (exists(*db, QStringLiteral("SELECT * FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {t}))
            all = exec(*db, QStringLiteral("UPDATE WORDTAGTABLE SET LISTORDER = ? WHERE TAG = ? AND %1").arg(filter),
                       {order, t}) && all;
        else
            all = exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, ?);"),
                       {t, user, order}) && all;
    }
    if (!all) {
        rollback(*db);
        return false;
    }
    return commit(*db);
}

bool MVWordBookDb::addWords(const QStringList& words, const QString& tag, const QString& user)
{
    auto db = dateBase();
    if (!db)
        return false;
    const QString t = getSafeStringForDb(tag);
    const QString filter = userSQL();
    for (const QString& word : words) {
        if (word.isEmpty())
            return false;
        const QString w = getSafeStringForDb(word);
        // One word's move is one transaction: it never ends up in no group or
        // in two because of a failure half-way.
        if (!begin(*db))
            return false;
        const bool ok =
            exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w}) &&
            // The empty name means no group: the word is listed with the ungrouped ones.
            (t.isEmpty() ||
             exec(*db, QStringLiteral("INSERT INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?);"), {w, t, user})) &&
            exec(*db, QStringLiteral("UPDATE WORDBOOK SET OP = 'add' WHERE WORD = ? AND %1").arg(filter), {w});
        if (!ok) {
            rollback(*db);
            return false;
        }
        if (!commit(*db))
            return false;
    }
    return true;
}

bool MVWordBookDb::deleteTagsForWord(const QString& word)
{
    if (word.isEmpty())
        return false;
    auto db = dateBase();
    return db && exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(userSQL()),
                      {getSafeStringForDb(word)});
}

bool MVWordBookDb::deleteTagsForWords(const QStringList& words)
{
    if (words.isEmpty())
        return false;
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString filter = userSQL();
    for (const QString& w : words) {
        if (!w.isEmpty()
            && !exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {getSafeStringForDb(w)})) {
            rollback(*db);
            return false;
        }
    }
    return commit(*db);
}

bool MVWordBookDb::deleteTag(const QString& tag)
{
    if (tag.isEmpty())
        return false;
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString t = getSafeStringForDb(tag);
    const QString filter = userSQL();
    const bool ok = exec(*db, QStringLiteral("delete from tagtable where tag = ? and %1").arg(filter), {t}) &&
                    exec(*db, QStringLiteral("DELETE FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {t});
    if (!ok) {
        rollback(*db);
        return false;
    }
    return commit(*db);
}

bool MVWordBookDb::moveGroup(const QString& from, const QString& to, const QString& user)
{
    if (from.isEmpty())
        return false;
    auto db = dateBase();
    if (!db || !begin(*db))
        return false;
    const QString f = getSafeStringForDb(from);
    const QString t = getSafeStringForDb(to);
    const QString filter = userSQL();
    bool ok = false;
    const auto words = rows(*db,
                            QStringLiteral("SELECT DISTINCT WORD FROM WORDBOOK WHERE OP <> 'remove' AND %1 AND WORD IN "
                                           "(SELECT WORD FROM TAGTABLE WHERE TAG = ?)").arg(filter),
                            {f}, &ok);
    ok = ok && exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE TAG = ? AND %1").arg(filter), {f})
         && exec(*db, QStringLiteral("DELETE FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {f});
    if (ok && !t.isEmpty()) {
        ok = exists(*db, QStringLiteral("SELECT * FROM WORDTAGTABLE WHERE TAG = ? AND %1").arg(filter), {t})
                 ? exec(*db, QStringLiteral("UPDATE WORDTAGTABLE SET LISTORDER = '0' WHERE TAG = ? AND %1").arg(filter), {t})
                 : exec(*db, QStringLiteral("INSERT INTO WORDTAGTABLE(TAG, USERNAME, LISTORDER) VALUES (?, ?, '0')"),
                        {t, user});
    }
    for (const auto& r : words) {
        if (!ok)
            break;
        const QString w = r.value(0);
        ok = exec(*db, QStringLiteral("DELETE FROM TAGTABLE WHERE WORD = ? AND %1").arg(filter), {w})
             && (t.isEmpty()
                 || exec(*db, QStringLiteral("INSERT INTO TAGTABLE(WORD, TAG, USERNAME) VALUES (?, ?, ?)"), {w, t, user}))
             && exec(*db, QStringLiteral("UPDATE WORDBOOK SET OP = 'add' WHERE WORD = ? AND %1").arg(filter), {w});
    }
    if (!ok) {
        rollback(*db);
        return false;
    }
    return commit(*db);
}

QString MVWordBookDb::getTagsForWord(const QString& word) const
{
    QString out = QStringLiteral("");
    if (word.isEmpty())
        return out;
    auto db = dateBase();
    if (!db)
        return out;
    for (const auto& r : rows(*db, QStringLiteral("SELECT TAG FROM TAGTABLE WHERE WORD = ? AND %1").arg(userSQL()),
                              {getSafeStringForDb(word)})) {
        const QString name = getStringFromSafeString(r.value(0));
        if (!name.isEmpty())
            out += QLatin1Char(';') + name;
    }
    return out;
}

// ---- lists ----

QString MVWordBookDb::getFirstCharCategory(const QString& word)
{
    if (word.isEmpty())
        return QStringLiteral("#");
    const char16_t c = word.at(0).unicode();
    if (c < 0x100) {
        const QChar up = QChar(c).toUpper();
        if (up >= QLatin1Char('A') && up <= QLatin1Char('Z'))
            return QString(up);
        return QStringLiteral("#");
    }
    if (const char initial = pinyin::initialOf(c))
        return QString(QLatin1Char(initial));
    return QStringLiteral("#");
}

QStringList MVWordBookDb::sectionOrder(QStringList keys, bool byDate)
{
    std::sort(keys.begin(), keys.end());  // the letter order
    if (byDate) {
        // Newest day first; keys that are no day after every day.
        std::stable_sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) {
            const QDate da = QDate::fromString(a, QStringLiteral("yyyy-MM-dd"));
            const QDate db = QDate::fromString(b, QStringLiteral("yyyy-MM-dd"));
            if (da.isValid() != db.isValid())
                return da.isValid();
            return da > db;
        });
    }
    return keys;
}

namespace {
// Reads the live rows (word, day, stored paraphrase) of a list: one group's,
// those in no group, or all for an empty tag; each row as its word and
// paraphrase read back from their stored form, with its section key.
bool eachListRow(SQLite::Database& db, bool byDate, const QString& tag, bool untagged, const QString& userFilter,
                 const std::function<bool(const QString&, const QString&, const QString&)>& take)
{
    const QString order = byDate ? QStringLiteral("TIME DESC") : QStringLiteral("WORD ASC");
    QString sql;
    QStringList binds;
    if (untagged) {
        sql = QStringLiteral("SELECT DISTINCT WORDBOOK.WORD, WORDBOOK.DATE, WORDBOOK.INTP FROM WORDBOOK WHERE "
                             "WORDBOOK.OP <> 'remove' AND %1 AND WORDBOOK.WORD NOT IN (SELECT DISTINCT TAGTABLE.WORD "
                             "FROM TAGTABLE) ORDER BY WORDBOOK.%2");
    } else if (!tag.isEmpty()) {
        sql = QStringLiteral("SELECT DISTINCT WORDBOOK.WORD, WORDBOOK.DATE, WORDBOOK.INTP FROM WORDBOOK, TAGTABLE "
                             "WHERE WORDBOOK.OP <> 'remove' AND %1 AND TAGTABLE.TAG = ? AND TAGTABLE.WORD = "
                             "WORDBOOK.WORD ORDER BY WORDBOOK.%2");
        binds << MVWordBookDb::getSafeStringForDb(tag);
    } else {
        sql = QStringLiteral("SELECT DISTINCT WORDBOOK.WORD, WORDBOOK.DATE, WORDBOOK.INTP FROM WORDBOOK WHERE "
                             "WORDBOOK.OP <> 'remove' AND %1 ORDER BY WORDBOOK.%2");
    }
    return wbsql::eachRow(db, sql.arg(userFilter, order), binds, [&](const wbsql::Row& r) {
        const QString word = MVWordBookDb::getStringFromSafeString(r.value(0));
        if (word.isEmpty())
            return true;
        const QString key = byDate ? r.value(1) : MVWordBookDb::getFirstCharCategory(word);
        return take(word, MVWordBookDb::getStringFromSafeString(r.value(2)), key);
    });
}
}  // namespace

WordSections MVWordBookDb::getWordsSortedByDate(bool byDate, const QString& tag, const QString& user,
                                                const QString& preUser, bool preloading) const
{
    auto db = dateBase();
    if (!db)
        return {};
    // Sections made as the rows are read: a large book's rows are never held
    // beside them.
    WordSections out;
    int n = 0;
    eachListRow(*db, byDate, tag, false, userCondition(QStringLiteral("WORDBOOK.USERNAME"), user, preUser),
                [&](const QString& word, const QString& intp, const QString& key) {
                    out[key].append(WordBookEntry{word, intp});
                    return !(preloading && ++n >= 50);
                });
    return out;
}

WordSections MVWordBookDb::getWordsSortedWithNoTagByDate(bool byDate, const QString& user,
                                                         const QString& preUser) const
{
    auto db = dateBase();
    if (!db)
        return {};
    WordSections out;
    eachListRow(*db, byDate, QString(), true, userCondition(QStringLiteral("WORDBOOK.USERNAME"), user, preUser),
                [&](const QString& word, const QString& intp, const QString& key) {
                    out[key].append(WordBookEntry{word, intp});
                    return true;
                });
    return out;
}

WordRows MVWordBookDb::wordRows(bool byDate, const QString& tag, bool untagged, const QString& user,
                                const QString& preUser) const
{
    WordRows out;
    auto db = dateBase();
    if (!db)
        return out;
    eachListRow(*db, byDate, tag, untagged, userCondition(QStringLiteral("WORDBOOK.USERNAME"), user, preUser),
                [&](const QString& word, const QString& intp, const QString& key) {
                    out.append(word, intp, key);
                    return true;
                });
    out.finish(sectionOrder(out.sections(), byDate));
    return out;
}
