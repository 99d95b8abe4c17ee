#include "query/MVDictHistory.h"

#include "query/MirvokFileManager.h"
#include "query/StoreFile.h"
#include "query/StringAdditions.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDebug>
#include <QDir>
#include <QMutex>

#include <sqlite3.h>

namespace {

constexpr int kBusyTimeoutMs = 5000;

QMutex& sharedMutex() {
    static QMutex m;
    return m;
}
std::unique_ptr<MVDictHistory>& sharedStore() {
    static std::unique_ptr<MVDictHistory> store;
    return store;
}

const QString kSeparator = QStringLiteral("\\n");

}  // namespace

MVDictHistory* MVDictHistory::sharedInstance() {
    QMutexLocker lock(&sharedMutex());
    auto& store = sharedStore();
    if (!store) {
        auto made = std::make_unique<MVDictHistory>(MirvokFileManager::getMVLibraryDir() +
                                                    QStringLiteral("history.db"));
        if (made->isValid()) store = std::move(made);
    }
    return store.get();
}

void MVDictHistory::resetSharedInstance() {
    QMutexLocker lock(&sharedMutex());
    sharedStore().reset();
}

MVDictHistory::MVDictHistory(const QString& databasePath)
    : path_(databasePath), clock_([] { return QDateTime::currentDateTime(); }) {
    static const storefile::Layout layout{
        {QStringLiteral("HISTORY"), {"WORD", "DATE", "TIME", "RESULT", "jsonDefinition"}},
        {QStringLiteral("TRANHISTORY"), {"SENTENCE", "RESULT", "LANGUAGE", "DATE", "TIME"}},
        {QStringLiteral("WIKIHISTORY"), {"WORD", "DATE", "TIME", "RESULT"}},
    };
    // A damaged file is moved aside here, so a fresh one records lookups again.
    readOnly_ = storefile::prepare(path_, layout, QStringLiteral("查询历史")).state == storefile::State::NewerLayout;
    valid_ = readOnly_ || createTables();
}

std::unique_ptr<SQLite::Database> MVDictHistory::getDatabase() const {
    try {
        // A later version's file is listed but never written.
        auto db = std::make_unique<SQLite::Database>(
            path_.toStdString(), readOnly_ ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
            kBusyTimeoutMs);
        return db;
    } catch (const SQLite::Exception& e) {
        qWarning().noquote() << QStringLiteral("Err %1: %2")
                                    .arg(e.getErrorCode())
                                    .arg(QString::fromUtf8(e.what()));
        return nullptr;
    }
}

bool MVDictHistory::createTables() {
    auto db = getDatabase();
    if (!db) return false;
    const char* statements[] = {
        "CREATE TABLE IF NOT EXISTS HISTORY (WORD TEXT PRIMARY KEY, DATE TEXT, TIME TEXT, RESULT TEXT)",
        // Files made before the JSON column existed gain it here; on an
        // up-to-date file the statement fails harmlessly.
        "ALTER TABLE HISTORY ADD jsonDefinition BLOB",
        ("CREATE TABLE IF NOT EXISTS TRANHISTORY (SENTENCE TEXT, RESULT TEXT, LANGUAGE INTEGER, "
         "DATE TEXT, TIME TEXT, PRIMARY KEY(SENTENCE,LANGUAGE));"),
        "CREATE TABLE IF NOT EXISTS WIKIHISTORY (WORD TEXT PRIMARY KEY, DATE TEXT, TIME TEXT, RESULT BLOB)",
    };
    for (const char* sql : statements) {
        try {
            db->exec(sql);
        } catch (const SQLite::Exception&) {
        }
    }
    // A file that is not a database at all fails every statement: no store.
    try {
        SQLite::Statement probe(*db, "SELECT count(*) FROM HISTORY");
        probe.executeStep();
    } catch (const SQLite::Exception& e) {
        qWarning().noquote() << QStringLiteral("Err %1: %2")
                                    .arg(e.getErrorCode())
                                    .arg(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

QString MVDictHistory::storedKey(const QString& word) {
    QString s = word;
    return s.replace(QLatin1Char('\''), QStringLiteral("\"\""));
}

QString MVDictHistory::displayForm(const QString& stored) {
    QString s = stored;
    return s.replace(QStringLiteral("\"\""), QStringLiteral("'"));
}

QString MVDictHistory::listedDefinition(const QString& stored) {
    const qsizetype sep = stored.indexOf(kSeparator);
    if (stored.contains(QLatin1Char(']')) && sep >= 0 && sep != stored.size() - 2)
        return stored.mid(sep + 2);
    return stored;
}

QString MVDictHistory::timeText(const QDateTime& when) {
    return when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

void MVDictHistory::addWord(const QString& word, const QString& definition, const QString& json) {
    if (mvstring::isEmpty(word)) return;
    auto db = getDatabase();
    if (!db) return;
    const QDateTime now = clock_();
    const std::string key = storedKey(word).toStdString();
    const std::string date = now.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    const std::string time = timeText(now).toStdString();
    try {
        SQLite::Statement select(*db, "SELECT * FROM HISTORY WHERE WORD = ? ;");
        select.bind(1, key);
        const bool exists = select.executeStep();
        select.reset();
        if (exists) {
            // The definition and answer of the first lookup stay.
            SQLite::Statement update(*db, "UPDATE HISTORY SET DATE = ? , TIME = ? WHERE WORD = ?");
            update.bind(1, date);
            update.bind(2, time);
            update.bind(3, key);
            update.exec();
        } else {
            SQLite::Statement insert(*db, "INSERT INTO HISTORY VALUES (?, ?, ?, ?, ?)");
            insert.bind(1, key);
            insert.bind(2, date);
            insert.bind(3, time);
            insert.bind(4, storedKey(definition).toStdString());
            const QByteArray bytes = json.toUtf8();
            insert.bind(5, bytes.constData(), static_cast<int>(bytes.size()));
            insert.exec();
        }
    } catch (const SQLite::Exception&) {
        // A locked or damaged file loses this one record, nothing else.
    }
}

QVector<DictQueryHistoryItem> MVDictHistory::getDictHistory(bool* ok) const {
    QVector<DictQueryHistoryItem> items;
    if (ok) *ok = false;
    auto db = getDatabase();
    if (!db) return items;
    try {
        SQLite::Statement q(*db, "SELECT WORD, RESULT FROM HISTORY ORDER BY TIME DESC");
        while (q.executeStep()) {
            const SQLite::Column word = q.getColumn(0);
            const SQLite::Column result = q.getColumn(1);
            if (word.isNull() || result.isNull()) continue;
            DictQueryHistoryItem item;
            item.orignWord = QString::fromUtf8(word.getText());
            item.displayWord = displayForm(item.orignWord);
            item.definition = listedDefinition(displayForm(QString::fromUtf8(result.getText())));
            items.append(item);
        }
        if (ok) *ok = true;
    } catch (const SQLite::Exception&) {
    }
    return items;
}

void MVDictHistory::deleteDictQueryHistory(const DictQueryHistoryItem& item) {
    auto db = getDatabase();
    if (!db) return;
    try {
        SQLite::Statement del(*db, "delete from HISTORY where WORD = ?");
        del.bind(1, item.orignWord.toStdString());
        del.exec();
    } catch (const SQLite::Exception&) {
    }
}

void MVDictHistory::clearQueryHistory() {
    auto db = getDatabase();
    if (!db) return;
    try {
        db->exec("DELETE FROM HISTORY;");
    } catch (const SQLite::Exception&) {
    }
}

QString MVDictHistory::jsonDefinition(const QString& word) const {
    auto db = getDatabase();
    if (!db) return QString();
    try {
        // Bound rather than formatted into the statement text.
        SQLite::Statement q(*db, "SELECT jsonDefinition FROM HISTORY WHERE WORD = ?");
        q.bind(1, storedKey(word).toStdString());
        if (q.executeStep() && !q.getColumn(0).isNull()) {
            const SQLite::Column c = q.getColumn(0);
            return QString::fromUtf8(static_cast<const char*>(c.getBlob()), c.getBytes());
        }
    } catch (const SQLite::Exception&) {
    }
    return QString();
}
