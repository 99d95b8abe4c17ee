#include "platform/UserNotices.h"
#include "query/HistoryRecordingFlags.h"
#include "query/MVDictHistory.h"
#include "query/QueryHistoryManager.h"
#include "support/TestEnv.h"

#include <sys/stat.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <ctime>

namespace {

// Lookups one second apart, so TIME orders them.
struct SteppingClock {
    QDateTime t = QDateTime(QDate(2026, 3, 1), QTime(23, 30, 0), Qt::UTC);
    std::function<QDateTime()> fn() {
        return [this] { t = t.addSecs(1); return t; };
    }
};

QStringList words(const QVector<DictQueryHistoryItem>& items) {
    QStringList out;
    for (const auto& i : items) out << i.displayWord;
    return out;
}

}  // namespace

class TestQueryHistory : public QObject {
    Q_OBJECT
private slots:
    void schemaAndMigration();
    void apostrophesRoundTrip();
    void repeatLookupKeepsFirstDefinition();
    void definitionStripping_data();
    void definitionStripping();
    void blankWordsAndUnopenableFile();
    void lookupDoesNotWaitForALockedFile();
    void unreadableFileIsSetAsideAndReplaced_data();
    void unreadableFileIsSetAsideAndReplaced();
    void newerLayoutIsNeverWritten();
    void sharedStoreLivesInDataFolder();
    void backForwardSequences();
    void capacityOfTwenty();
    void recordingFlagEvents();
};

void TestQueryHistory::schemaAndMigration() {
    TestEnv env;
    const QString path = env.root() + "/old.db";
    {
        // A file from before the JSON column.
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("CREATE TABLE HISTORY (WORD TEXT PRIMARY KEY, DATE TEXT, TIME TEXT, RESULT TEXT)");
        db.exec("INSERT INTO HISTORY VALUES ('old', '2020-01-01', '2020-01-01 00:00:00 +0000', 'x')");
    }
    MVDictHistory store(path);
    QVERIFY(store.isValid());
    MVDictHistory again(path);  // the ALTER fails harmlessly the second time
    QVERIFY(again.isValid());

    SQLite::Database db(path.toStdString());
    auto columns = [&db](const char* table) {
        QStringList names;
        SQLite::Statement q(db, std::string("PRAGMA table_info(") + table + ")");
        while (q.executeStep())
            names << QString::fromStdString(q.getColumn(1).getString()) + ":" +
                         QString::fromStdString(q.getColumn(2).getString()) + ":" +
                         QString::number(q.getColumn(5).getInt());
        return names;
    };
    QCOMPARE(columns("HISTORY"), QStringList({"WORD:TEXT:1", "DATE:TEXT:0", "TIME:TEXT:0",
                                              "RESULT:TEXT:0", "jsonDefinition:BLOB:0"}));
    QCOMPARE(columns("TRANHISTORY"), QStringList({"SENTENCE:TEXT:1", "RESULT:TEXT:0",
                                                  "LANGUAGE:INTEGER:2", "DATE:TEXT:0", "TIME:TEXT:0"}));
    QCOMPARE(columns("WIKIHISTORY"),
             QStringList({"WORD:TEXT:1", "DATE:TEXT:0", "TIME:TEXT:0", "RESULT:BLOB:0"}));
    QCOMPARE(words(store.getDictHistory()), QStringList({"old"}));
}

void TestQueryHistory::apostrophesRoundTrip() {
    TestEnv env;
    MVDictHistory store(env.root() + "/h.db");
    SteppingClock clock;
    store.setClock(clock.fn());
    store.addWord("don't", "[dəʊnt]\\nv. 不要 'quoted'", "{\"q\":\"don't\"}");
    store.addWord("say \"\"hi\"\"", "[x]\\nline", "{}");
    MVDictHistory::finishQueuedWork();

    {
        SQLite::Database db((env.root() + "/h.db").toStdString());
        SQLite::Statement q(db, "SELECT WORD, RESULT, typeof(jsonDefinition) FROM HISTORY ORDER BY TIME");
        QVERIFY(q.executeStep());
        QCOMPARE(QString::fromStdString(q.getColumn(0).getString()), QStringLiteral("don\"\"t"));
        QCOMPARE(QString::fromStdString(q.getColumn(1).getString()),
                 QStringLiteral("[dəʊnt]\\nv. 不要 \"\"quoted\"\""));
        QCOMPARE(QString::fromStdString(q.getColumn(2).getString()), QStringLiteral("blob"));
    }

    const auto items = store.getDictHistory();
    QCOMPARE(items.size(), 2);
    // A word that itself held two double quotes comes back with an apostrophe.
    QCOMPARE(items[0].displayWord, QStringLiteral("say 'hi'"));
    QCOMPARE(items[1].orignWord, QStringLiteral("don\"\"t"));
    QCOMPARE(items[1].displayWord, QStringLiteral("don't"));
    QCOMPARE(items[1].definition, QStringLiteral("v. 不要 'quoted'"));
    QCOMPARE(store.jsonDefinition("don't"), QStringLiteral("{\"q\":\"don't\"}"));

    store.deleteDictQueryHistory(items[1]);
    QCOMPARE(words(store.getDictHistory()), QStringList({"say 'hi'"}));
    store.clearQueryHistory();
    QVERIFY(store.getDictHistory().isEmpty());
}

void TestQueryHistory::repeatLookupKeepsFirstDefinition() {
    TestEnv env;
    MVDictHistory store(env.root() + "/h.db");
    SteppingClock clock;
    store.setClock(clock.fn());
    store.addWord("alpha", "first", "{\"n\":1}");
    store.addWord("beta", "b", "{}");
    store.addWord("alpha", "second", "{\"n\":2}");
    const auto items = store.getDictHistory();
    QCOMPARE(words(items), QStringList({"alpha", "beta"}));
    QCOMPARE(items[0].definition, QStringLiteral("first"));
    QCOMPARE(store.jsonDefinition("alpha"), QStringLiteral("{\"n\":1}"));
    // A row an earlier version wrote with an empty answer has none, and
    // takes the next lookup's answer while keeping its definition.
    {
        SQLite::Database db((env.root() + "/h.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec("INSERT INTO HISTORY VALUES ('legacy', '2026-03-01', '2026-03-01 00:00:00 +0000', 'g', x'')");
    }
    QVERIFY(store.jsonDefinition("legacy").isNull());
    store.addWord("legacy", "later", "{\"n\":3}");
    QCOMPARE(store.jsonDefinition("legacy"), QStringLiteral("{\"n\":3}"));
    QCOMPARE(store.getDictHistory().front().definition, QStringLiteral("g"));
    store.addWord("unanswered", "u", QString());
    QVERIFY(store.jsonDefinition("unanswered").isNull());

    // DATE is the local day, TIME the UTC instant (23:30 UTC may be another day locally).
    {
        SQLite::Database db((env.root() + "/h.db").toStdString());
        SQLite::Statement q(db, "SELECT DATE, TIME FROM HISTORY WHERE WORD = 'alpha'");
        QVERIFY(q.executeStep());
        QCOMPARE(QString::fromStdString(q.getColumn(1).getString()),
                 QStringLiteral("2026-03-01 23:30:03 +0000"));
        QCOMPARE(QString::fromStdString(q.getColumn(0).getString()),
                 clock.t.toLocalTime().date().toString("yyyy-MM-dd"));
    }
    {
        // East of Greenwich 23:30 UTC is already the next day: DATE says so.
        const QByteArray savedTz = qgetenv("TZ");
        qputenv("TZ", "Asia/Shanghai");
        tzset();
        store.addWord("gamma", "g", "{}");
        MVDictHistory::finishQueuedWork();
        SQLite::Database db((env.root() + "/h.db").toStdString());
        SQLite::Statement q(db, "SELECT DATE FROM HISTORY WHERE WORD = 'gamma'");
        QVERIFY(q.executeStep());
        const QString date = QString::fromStdString(q.getColumn(0).getString());
        if (savedTz.isNull()) qunsetenv("TZ"); else qputenv("TZ", savedTz);
        tzset();
        QCOMPARE(date, QStringLiteral("2026-03-02"));
    }
}

void TestQueryHistory::definitionStripping_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("listed");
    QTest::newRow("phonetic line") << "[ə]\\nn. 一" << "n. 一";
    QTest::newRow("no bracket") << "n. 一\\nv. 二" << "n. 一\\nv. 二";
    QTest::newRow("separator last") << "[ə]\\n" << "[ə]\\n";
    QTest::newRow("bracket later") << "n. 一\\nv. [二]" << "v. [二]";
    QTest::newRow("no separator") << "[ə] n. 一" << "[ə] n. 一";
    QTest::newRow("real line feed is not the separator") << "[ə]\nn. 一" << "[ə]\nn. 一";
}

void TestQueryHistory::definitionStripping() {
    QFETCH(QString, stored);
    QFETCH(QString, listed);
    QCOMPARE(MVDictHistory::listedDefinition(stored), listed);
}

void TestQueryHistory::blankWordsAndUnopenableFile() {
    TestEnv env;
    MVDictHistory store(env.root() + "/h.db");
    store.addWord("", "d", "{}");
    store.addWord(" \n\t ", "d", "{}");
    store.addWord(QString(), "d", "{}");
    bool ok = false;
    QVERIFY(store.getDictHistory(&ok).isEmpty());
    QVERIFY(ok);
    // A word looked up without a definition is listed with an empty one.
    store.addWord("bare", "", "{}");
    QCOMPARE(store.getDictHistory().size(), 1);
    QCOMPARE(store.getDictHistory().at(0).definition, QString(""));
    QCOMPARE(store.jsonDefinition("bare"), QStringLiteral("{}"));

    // A folder where the file should be, and a file that is not a database.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Err \\d+: "));
    MVDictHistory noFile(env.root());
    QVERIFY(!noFile.isValid());
}

void TestQueryHistory::unreadableFileIsSetAsideAndReplaced_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("random bytes") << "garbage";
    QTest::newRow("truncated") << "truncated";
}

// A damaged file used to be kept in place and history stayed off for good.
void TestQueryHistory::unreadableFileIsSetAsideAndReplaced() {
    QFETCH(QString, damage);
    TestEnv env;
    QStringList told;
    usernotices::setPresenter([&](const QString& t) { told << t; });
    const QString path = env.root() + "/history.db";
    {
        MVDictHistory full(path);
        for (int i = 0; i < 400; ++i) full.addWord(QStringLiteral("word%1").arg(i), QString(300, 'd'), "{}");
        MVDictHistory::finishQueuedWork();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (damage == "garbage") file.write(QByteArray(8192, '\x5a'));
    else file.resize(file.size() / 2);
    file.close();
    const QByteArray damaged = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^store: .* is damaged"));
    MVDictHistory store(path);
    QVERIFY(store.isValid());
    store.addWord("fresh", "d", "{}");
    QCOMPARE(words(store.getDictHistory()), QStringList{"fresh"});
    const QStringList aside = QDir(env.root()).entryList({"history.db.damaged-*"});
    QCOMPARE(aside.size(), 1);
    QVERIFY(QRegularExpression("^history\\.db\\.damaged-\\d{8}-\\d{6}$").match(aside.first()).hasMatch());
    QFile kept(env.root() + "/" + aside.first());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), damaged);
    QTRY_COMPARE(told.size(), 1);
    QVERIFY2(told.first().contains(aside.first()) && told.first().contains("查询历史"), qPrintable(told.first()));
    usernotices::setPresenter({});
}

// A later version's file (a column this one does not know) is read, never written.
void TestQueryHistory::newerLayoutIsNeverWritten() {
    TestEnv env;
    QStringList told;
    usernotices::setPresenter([&](const QString& t) { told << t; });
    const QString path = env.root() + "/history.db";
    {
        MVDictHistory old(path);
        old.addWord("kept", "d", "{}");
        MVDictHistory::finishQueuedWork();
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
        db.exec("ALTER TABLE HISTORY ADD COLUMN SOURCE TEXT");
    }
    const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^store: .* newer layout"));
    MVDictHistory store(path);
    QCOMPARE(words(store.getDictHistory()), QStringList{"kept"});
    store.addWord("new", "d", "{}");
    MVDictHistory::finishQueuedWork();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QTRY_COMPARE(told.size(), 1);
    QVERIFY(told.first().contains("更新"));
    usernotices::setPresenter({});
}

// Another program holding the file must neither stall the lookup that
// records a word (it would wait out the busy timeout and lose the record)
// nor cost the record: it lands once the file is free, in order.
void TestQueryHistory::lookupDoesNotWaitForALockedFile() {
    TestEnv env;
    const QString path = env.root() + "/h.db";
    MVDictHistory store(path);
    SteppingClock clock;
    store.setClock(clock.fn());
    {
        SQLite::Database other(path.toStdString(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        store.addWord("held", "first", "{}");
        store.addWord("held", "second", "{}");
        store.addWord("next", "n", "{}");
        SQLite::Statement q(other, "SELECT count(*) FROM HISTORY");
        QVERIFY(q.executeStep());
        QCOMPARE(q.getColumn(0).getInt(), 0);
        other.exec("COMMIT");
    }
    const auto items = store.getDictHistory();
    QCOMPARE(words(items), QStringList({"next", "held"}));
    QCOMPARE(items[1].definition, QStringLiteral("first"));
}

// The lookups are the user's alone under the usual umask 022: the folder is
// 0700 and the file 0600 (they were 0755 and 0644).
void TestQueryHistory::sharedStoreLivesInDataFolder() {
    TestEnv env;
    MVDictHistory::resetSharedInstance();
    const mode_t umaskBefore = ::umask(022);
    MVDictHistory* store = MVDictHistory::sharedInstance();
    ::umask(umaskBefore);
    QVERIFY(store);
    QCOMPARE(store->databasePath(), env.dataHome() + "/com.mirvok.dict/history.db");
    auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    QCOMPARE(mode(store->databasePath()), 0600);
    QCOMPARE(mode(env.dataHome() + "/com.mirvok.dict"), 0700);
    MVDictHistory::resetSharedInstance();
}

void TestQueryHistory::backForwardSequences() {
    QueryHistoryManager list;
    QVERIFY(!list.isPrevItem());
    QVERIFY(!list.isNextItem());
    QCOMPARE(list.getHistoryList().size(), 1);
    QVERIFY(!list.getPrevItem());
    QVERIFY(!list.getNextItem());

    list.appendQuery("a", 0);
    list.appendQuery("a", 0);  // same word, same tab: once
    QCOMPARE(list.getHistoryList().size(), 2);
    list.appendQuery("a", 1);  // another tab: a second item
    list.appendQuery("b", 0);
    QCOMPARE(list.getHistoryList().size(), 4);

    list.setScrollPosition(120);
    const QueryHistoryItem* prev = list.getPrevItem();
    QVERIFY(prev);
    QCOMPARE(prev->query, QStringLiteral("a"));
    QCOMPARE(prev->tab, 1);
    prev = list.getPrevItem();
    QCOMPARE(prev->tab, 0);
    QVERIFY(list.isNextItem());
    const QueryHistoryItem* next = list.getNextItem();
    QCOMPARE(next->tab, 1);
    QCOMPARE(list.getHistoryList().last().scrollPosition, 120);

    // A new lookup after going back drops the forward part.
    list.getPrevItem();
    list.getPrevItem();
    QCOMPARE(list.currentIndex(), 0);
    QCOMPARE(list.getHistoryList().at(0).query, QString(""));  // the home page
    list.appendQuery("c", 2);
    QCOMPARE(list.getHistoryList().size(), 2);
    QCOMPARE(list.getHistoryList().last().query, QStringLiteral("c"));
    QVERIFY(!list.isNextItem());

    // The same query as the item we went back to is not appended twice.
    list.appendQuery("d", 0);
    list.getPrevItem();
    list.appendQuery("c", 2);
    QCOMPARE(list.getHistoryList().size(), 2);
    QCOMPARE(list.currentIndex(), 1);
}

void TestQueryHistory::capacityOfTwenty() {
    QueryHistoryManager& shared = QueryHistoryManager::getInstance();
    QCOMPARE(shared.maxCount(), 20);
    QueryHistoryManager list;
    for (int i = 1; i <= 19; ++i) list.appendQuery(QString::number(i), 0);
    QCOMPARE(list.getHistoryList().size(), 20);
    QCOMPARE(list.getHistoryList().first().query, QString(""));
    list.appendQuery("20", 0);
    QCOMPARE(list.getHistoryList().size(), 20);
    QCOMPARE(list.getHistoryList().first().query, QStringLiteral("1"));
    QCOMPARE(list.currentIndex(), 19);
    list.setScrollPosition(7);
    QCOMPARE(list.getHistoryList().last().scrollPosition, 7);
}

void TestQueryHistory::recordingFlagEvents() {
    HistoryRecordingFlags f;
    QVERIFY(!f.shouldRecordHistory());
    QVERIFY(!f.needToRecordHistory());
    f.applicationStarted();
    QVERIFY(f.shouldRecordHistory() && f.needToRecordHistory());

    // Browsing the history tab keeps every later lookup out.
    f.switchedToHistory();
    f.consume();
    QVERIFY(!f.shouldRecordHistory());
    f.historyRowClicked();
    f.consume();
    QVERIFY(!f.shouldRecordHistory());
    // Leaving the screen records the very next lookup.
    f.screenDisappeared();
    QVERIFY(f.shouldRecordHistory());
    f.consume();
    QVERIFY(f.shouldRecordHistory());

    // One lookup kept out, the next recorded again.
    f.setShouldRecordHistory(false);
    f.consume();
    QVERIFY(f.shouldRecordHistory());

    // Appearing on the favourites tab records every lookup, on the history tab none.
    f.screenAppeared(false);
    f.consume();
    QVERIFY(!f.shouldRecordHistory());
    f.screenAppeared(true);
    QVERIFY(f.shouldRecordHistory());
    QVERIFY(f.needToRecordHistory());
    f.switchedToFavourites();
    QVERIFY(f.needToRecordHistory());
    f.favouriteRowClicked();
    QVERIFY(f.shouldRecordHistory() && f.needToRecordHistory());
}

QTEST_GUILESS_MAIN(TestQueryHistory)
#include "tst_query_history.moc"
