#include "query/MVDictHistory.h"
#include "platform/PrivateFiles.h"

#include "platform/SerialQueue.h"
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

// Never destroyed: tasks still queued at exit must not meet a torn-down
// queue; main() finishes the queued work before returning.
SerialQueue& historyQueue() {
    static SerialQueue* queue = new SerialQueue(QStringLiteral("history"));
    return *queue;
}

// Runs `task` on the history thread after everything queued before it.
void enqueue(std::function<void()> task) {
    if (historyQueue().isCurrent())
        task();
    else
        historyQueue().async(std::move(task));
}

template <typename T>
T onHistoryThread(const std::function<T()>& read) {
    T result{};
    historyQueue().sync([&] { result = read(); });
    return result;
}

struct WordRecord {
    std::string key, date, time, definition;
    QByteArray json;
};

void writeWord(const QString& path, bool readOnly, const WordRecord& w) {
    auto db = MVDictHistory::openDatabase(path, readOnly);
    if (!db) return;
    try {
        // One transaction per lookup: a single sync of the journal.
        SQLite::Transaction transaction(*db);
        SQLite::Statement select(*db, "SELECT * FROM HISTORY WHERE WORD = ? ;");
        select.bind(1, w.key);
        const bool exists = select.executeStep();
        select.reset();
        if (exists) {
            // The definition and answer of the first lookup stay.
            SQLite::Statement update(*db, "UPDATE HISTORY SET DATE = ? , TIME = ? WHERE WORD = ?");
            update.bind(1, w.date);
            update.bind(2, w.time);
            update.bind(3, w.key);
            update.exec();
            // A row written without an answer (by an earlier version's offline
            // lookup, or before the column existed) takes the first one given.
            if (!w.json.isEmpty()) {
                SQLite::Statement fill(*db, "UPDATE HISTORY SET jsonDefinition = ? WHERE WORD = ? AND "
                                            "(jsonDefinition IS NULL OR length(jsonDefinition) = 0)");
                fill.bind(1, w.json.constData(), static_cast<int>(w.json.size()));
                fill.bind(2, w.key);
                fill.exec();
            }
        } else {
            SQLite::Statement insert(*db, "INSERT INTO HISTORY VALUES (?, ?, ?, ?, ?)");
            insert.bind(1, w.key);
            insert.bind(2, w.date);
            insert.bind(3, w.time);
            insert.bind(4, w.definition);
            if (w.json.isEmpty())
                insert.bind(5);  // no answer: none, rather than an empty one
            else
                insert.bind(5, w.json.constData(), static_cast<int>(w.json.size()));
            insert.exec();
        }
        transaction.commit();
    } catch (const SQLite::Exception&) {
        // A locked or damaged file loses this one record, nothing else.
    }
}

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
    // After the queued work, which may still be using the old store.
    historyQueue().sync([] {
        QMutexLocker lock(&sharedMutex());
        sharedStore().reset();
    });
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
    // The lookups are the user's alone, also in a file made under a wider
    // mode before (SQLite gives its journals the file's mode).
    if (!readOnly_) privatefiles::restrictFile(path_);
}

std::unique_ptr<SQLite::Database> MVDictHistory::openDatabase(const QString& path, bool readOnly) {
    try {
        // A later version's file is listed but never written.
        auto db = std::make_unique<SQLite::Database>(
            path.toStdString(), readOnly ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
            kBusyTimeoutMs);
        return db;
    } catch (const SQLite::Exception& e) {
        qWarning().noquote() << QStringLiteral("Err %1: %2")
                                    .arg(e.getErrorCode())
                                    .arg(QString::fromUtf8(e.what()));
        return nullptr;
    }
}

std::unique_ptr<SQLite::Database> MVDictHistory::getDatabase() const { return openDatabase(path_, readOnly_); }

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
    const QDateTime now = clock_();
    WordRecord w{storedKey(word).toStdString(),
                 now.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")).toStdString(),
                 timeText(now).toStdString(), storedKey(definition).toStdString(), json.toUtf8()};
    enqueue([path = path_, readOnly = readOnly_, w = std::move(w)] { writeWord(path, readOnly, w); });
}

void MVDictHistory::recordLookup(const QString& word, const QString& definition, const QString& json) {
    if (mvstring::isEmpty(word)) return;
    enqueue([=] {
        if (MVDictHistory* h = sharedInstance()) h->addWord(word, definition, json);
    });
}

void MVDictHistory::finishQueuedWork() {
    historyQueue().sync([] {});
}

QVector<DictQueryHistoryItem> MVDictHistory::getDictHistory(bool* ok) const {
    bool read = false;
    const auto items = onHistoryThread<QVector<DictQueryHistoryItem>>([path = path_, readOnly = readOnly_, &read] {
        QVector<DictQueryHistoryItem> items;
        auto db = openDatabase(path, readOnly);
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
            read = true;
        } catch (const SQLite::Exception&) {
        }
        return items;
    });
    if (ok) *ok = read;
    return items;
}

void MVDictHistory::deleteDictQueryHistory(const DictQueryHistoryItem& item) {
    enqueue([path = path_, readOnly = readOnly_, key = item.orignWord.toStdString()] {
        auto db = openDatabase(path, readOnly);
        if (!db) return;
        try {
            SQLite::Statement del(*db, "delete from HISTORY where WORD = ?");
            del.bind(1, key);
            del.exec();
        } catch (const SQLite::Exception&) {
        }
    });
}

void MVDictHistory::clearQueryHistory() {
    enqueue([path = path_, readOnly = readOnly_] {
        auto db = openDatabase(path, readOnly);
        if (!db) return;
        try {
            db->exec("DELETE FROM HISTORY;");
        } catch (const SQLite::Exception&) {
        }
    });
}

QString MVDictHistory::jsonDefinition(const QString& word) const {
    return onHistoryThread<QString>([path = path_, readOnly = readOnly_, key = storedKey(word).toStdString()] {
        auto db = openDatabase(path, readOnly);
        if (!db) return QString();
        try {
            // Bound rather than formatted into the statement text.
            SQLite::Statement q(*db, "SELECT jsonDefinition FROM HISTORY WHERE WORD = ?");
            q.bind(1, key);
            // An empty answer is no answer (rows of earlier versions).
            if (q.executeStep() && !q.getColumn(0).isNull() && q.getColumn(0).getBytes() > 0) {
                const SQLite::Column c = q.getColumn(0);
                return QString::fromUtf8(static_cast<const char*>(c.getBlob()), c.getBytes());
            }
        } catch (const SQLite::Exception&) {
        }
        return QString();
    });
}
