#include "platform/UserDefaults.h"
#include "support/TestEnv.h"
#include "wordbook/MVWordBookDb.h"
#include "wordbook/WordBookClock.h"

#include <QFile>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
QStringList columnsOf(const QString& path, const QString& table)
{
    SQLite::Database db(path.toStdString());
    SQLite::Statement st(db, QStringLiteral("PRAGMA table_info(%1)").arg(table).toStdString());
    QStringList out;
    while (st.executeStep())
        out << QString::fromStdString(st.getColumn(1).getString());
    return out;
}

QList<QStringList> query(const QString& path, const QString& sql)
{
    SQLite::Database db(path.toStdString());
    SQLite::Statement st(db, sql.toStdString());
    QList<QStringList> out;
    while (st.executeStep()) {
        QStringList r;
        for (int i = 0; i < st.getColumnCount(); ++i)
            r << (st.getColumn(i).isNull() ? QString() : QString::fromStdString(st.getColumn(i).getString()));
        out << r;
    }
    return out;
}

QString one(const QString& path, const QString& sql)
{
    const auto r = query(path, sql);
    return r.isEmpty() ? QString() : r.first().value(0);
}

MVSyncActionPtr received(const QString& word, bool add, const QString& tags = QString(),
                         const QString& progress = QStringLiteral("-1"), bool withWord = true)
{
    auto a = std::make_shared<MVSyncAction>();
    a->item = std::make_shared<MVWordBookItem>();
    a->remItem = std::make_shared<MVWordBookRemItem>();
    a->item->word = word;
    a->remItem->word = word;
    a->item->definition = QStringLiteral("def of ") + word;
    a->item->phonetic = QStringLiteral("ph");
    a->item->date = QStringLiteral("2015-03-04");
    a->item->time = QStringLiteral("2015-03-04 05:06:07 +0000");
    a->item->timeStamp = QStringLiteral("77");
    a->item->tags = tags;
    a->remItem->progress = progress;
    a->remItem->remModTime = QStringLiteral("2015-03-04 05:06:07 +0000");
    a->remItem->remTimpstamp = QStringLiteral("88");
    a->isAdd = add;
    a->withWordInfo = withWord;
    a->withRemInfo = true;
    return a;
}
}  // namespace

class StoreTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    QString path_;
    std::unique_ptr<MVWordBookDb> db_;

    void signIn(const QString& user, const QString& pre = QString())
    {
        db_->setUserSQL(MVWordBookDb::userCondition(QStringLiteral("USERNAME"), user, pre));
    }

private slots:
    void init()
    {
        env_ = std::make_unique<TestEnv>();
        path_ = env_->root() + QStringLiteral("/wordbook.db");
        db_ = std::make_unique<MVWordBookDb>(path_);
    }
    void cleanup()
    {
        db_.reset();
        env_.reset();
    }

    void schemaHasTheFixedTablesAndColumnOrder()
    {
        QCOMPARE(columnsOf(path_, "WORDBOOK"),
                 QStringList({"WORD", "DATE", "TIME", "INTP", "TS", "OP", "USERNAME", "SPELLTIME"}));
        QCOMPARE(columnsOf(path_, "USERTS"), QStringList({"USERNAME", "TS"}));
        QCOMPARE(columnsOf(path_, "TAGTABLE"), QStringList({"WORD", "TAG", "USERNAME"}));
        QCOMPARE(columnsOf(path_, "WORDTAGTABLE"), QStringList({"ID", "TAG", "USERNAME", "LISTORDER"}));
        QCOMPARE(columnsOf(path_, "REMTABLE"),
                 QStringList({"WORD", "PROGRESS", "MODTIME", "STATUS", "USERNAME", "REMTS", "REMINDTIME"}));
        // A second start over the same file changes nothing.
        db_ = std::make_unique<MVWordBookDb>(path_);
        QCOMPARE(columnsOf(path_, "WORDBOOK").size(), 8);
    }

    void oldLayoutGainsColumnsWithZero()
    {
        const QString old = env_->root() + QStringLiteral("/old.db");
        {
            SQLite::Database db(old.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec("CREATE TABLE WORDBOOK (WORD TEXT, DATE TEXT, TIME TEXT, INTP TEXT, TS TEXT, OP TEXT, "
                    "USERNAME TEXT, PRIMARY KEY(WORD,USERNAME))");
            db.exec("CREATE TABLE REMTABLE (WORD TEXT, PROGRESS TEXT, MODTIME TEXT, STATUS TEXT, USERNAME TEXT, "
                    "REMTS TEXT, PRIMARY KEY(WORD,USERNAME))");
            db.exec("CREATE TABLE WORDTAGTABLE (ID TEXT, TAG TEXT, USERNAME TEXT)");
            db.exec("INSERT INTO WORDBOOK VALUES ('old','2014-01-01','2014-01-01 00:00:00 +0000','\\nx','0','','')");
            db.exec("INSERT INTO REMTABLE VALUES ('old','3','2014-01-01 00:00:00 +0000','0','','5')");
            db.exec("INSERT INTO WORDTAGTABLE VALUES (NULL,'g','')");
        }
        MVWordBookDb migrated(old);
        QCOMPARE(one(old, "SELECT SPELLTIME FROM WORDBOOK"), QStringLiteral("0"));
        QCOMPARE(one(old, "SELECT REMINDTIME FROM REMTABLE"), QStringLiteral("0"));
        QCOMPARE(one(old, "SELECT LISTORDER FROM WORDTAGTABLE"), QStringLiteral("0"));
        QVERIFY(migrated.hasWord(QStringLiteral("OLD")));
    }

    void quotingRoundTrips()
    {
        QCOMPARE(MVWordBookDb::getSafeStringForDb(QStringLiteral("o'clock")), QStringLiteral("o\"\"clock"));
        QCOMPARE(MVWordBookDb::getStringFromSafeString(QStringLiteral("o\"\"clock")), QStringLiteral("o'clock"));
        QVERIFY(MVWordBookDb::getSafeStringForDb(QString()).isNull());
        QVERIFY(db_->addWord(QStringLiteral("o'clock"), QStringLiteral("ə'klɒk"), QStringLiteral("it's"), ""));
        QCOMPARE(one(path_, "SELECT WORD FROM WORDBOOK"), QStringLiteral("o\"\"clock"));
        const auto list = db_->getWordsSortedByDate(false, QString(), "", "", false);
        QCOMPARE(list.value("O").value(0).word, QStringLiteral("o'clock"));
        QCOMPARE(list.value("O").value(0).intp, QStringLiteral("[ə'klɒk]\\nit's"));
        QVERIFY(db_->hasWord(QStringLiteral("O'CLOCK")));
        // A pair of double quotes comes back as an apostrophe: that is the stored format.
        db_->addWord(QStringLiteral("say \"\"hi"), "", "x", "");
        QVERIFY(db_->hasWord(QStringLiteral("say 'hi")));
    }

    void addReplacesAndMarks()
    {
        signIn("u1");
        QVERIFY(!db_->addWord("", "p", "d", "u1"));
        QVERIFY(db_->addWord("Apple", "ˈæpl", "n. 苹果", "u1"));
        QCOMPARE(one(path_, "SELECT INTP FROM WORDBOOK"), QStringLiteral("[ˈæpl]\\nn. 苹果"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK"), QStringLiteral("add"));
        db_->addWord("Apple", "[x]", "new", "u1");
        QCOMPARE(query(path_, "SELECT INTP FROM WORDBOOK").size(), 1);
        QCOMPARE(one(path_, "SELECT INTP FROM WORDBOOK"), QStringLiteral("[x]\\nnew"));
        db_->addWord("apple", "", "lower", "u1");
        QCOMPARE(query(path_, "SELECT * FROM WORDBOOK").size(), 2);
        QCOMPARE(one(path_, "SELECT INTP FROM WORDBOOK WHERE WORD='apple'"), QStringLiteral("\\nlower"));
        QVERIFY(db_->hasWord("APPLE"));
        QVERIFY(db_->hasUnSyncedWordsForUser("u1"));
        QVERIFY(!db_->hasUnSyncedWordsForUser("u2"));
    }

    void deleteSignedInMarksUploadedWords()
    {
        signIn("u1");
        db_->addWord("fresh", "", "d", "u1");
        db_->addWord("synced", "", "d", "u1");
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("UPDATE WORDBOOK SET OP = '' WHERE WORD = 'synced'");
        }
        QCOMPARE(db_->getNumOfSyncedWordForUser("u1"), 1);
        QVERIFY(db_->deleteWord("fresh", "u1", ""));
        QVERIFY(db_->deleteWord("synced", "u1", ""));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK WHERE WORD='fresh'"), QStringLiteral("0"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='synced'"), QStringLiteral("remove"));
        QVERIFY(!db_->hasWord("synced"));
        QVERIFY(db_->getWordsSortedByDate(true, QString(), "u1", "", false).isEmpty());
        QCOMPARE(db_->getDelList().size(), 1);
    }

    void deleteSignedOutRemovesAndResetsPreviousTimestamps()
    {
        signIn("", "prev");
        db_->setTimeStamp("123", "prev");
        db_->setRemTimeStamp("456", "prev");
        db_->addWord("w", "", "d", "");
        QVERIFY(db_->deleteWords({"w"}, "", "prev"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK"), QStringLiteral("0"));
        QCOMPARE(db_->getTimeStampForUser("prev"), QStringLiteral("0"));
        QCOMPARE(db_->getRemTimeStampForUser("prev"), QStringLiteral("0"));
    }

    void timestampsNeedUserAndValueAndFallBackToOldTable()
    {
        QVERIFY(!db_->setTimeStamp("5", ""));
        QVERIFY(!db_->setTimeStamp("", "u"));
        QCOMPARE(db_->getTimeStampForUser("u"), QStringLiteral("0"));
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("INSERT INTO USERTS VALUES ('u', '42')");
        }
        QCOMPARE(db_->getTimeStampForUser("u"), QStringLiteral("42"));
        QVERIFY(db_->setTimeStamp("43", "u"));
        QCOMPARE(db_->getTimeStampForUser("u"), QStringLiteral("43"));
        QCOMPARE(UserDefaults::standard().stringValue("default_key_local_timestamp_for_u"), QStringLiteral("43"));
    }

    void userIdsWithApostrophesStayInsideTheirLiteral()
    {
        const QString evil = QStringLiteral("o'brien' OR '1'='1");
        db_->addWord("mine", "", "d", "someone");
        signIn(evil);
        db_->addWord("his", "", "d", evil);
        QVERIFY(db_->hasWord("his"));
        QVERIFY(!db_->hasWord("mine"));
        QCOMPARE(one(path_, "SELECT USERNAME FROM WORDBOOK WHERE WORD='his'"), evil);
        const auto all = db_->getWordsSortedByDate(false, QString(), evil, "", false);
        QCOMPARE(all.size(), 1);
        // Signed out after that account: its words and the anonymous ones only.
        const auto after = db_->getWordsSortedWithNoTagByDate(true, "", evil);
        QCOMPARE(after.size(), 1);
        QCOMPARE(after.first().size(), 1);
        QCOMPARE(after.first().first().word, QStringLiteral("his"));
    }

    void groupsMoveWordsAndKeepOrder()
    {
        signIn("u");
        db_->addWord("a", "", "d", "u");
        db_->addWord("b", "", "d", "u");
        QVERIFY(db_->addWordTags({"verbs", "exam"}, "u"));
        QCOMPARE(db_->getAllTags(), QStringList({"verbs", "exam"}));
        QVERIFY(db_->addWordTags({"exam"}, "u"));  // an existing group is not listed twice
        QCOMPARE(db_->getAllTags().size(), 2);
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("UPDATE WORDBOOK SET OP = ''");
        }
        QVERIFY(db_->addWords({"a"}, "verbs", "u"));
        QVERIFY(db_->addWords({"a"}, "exam", "u"));
        QCOMPARE(db_->getTagsForWord("a"), QStringLiteral(";exam"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='a'"), QStringLiteral("add"));
        QCOMPARE(db_->getWordsSortedByDate(false, "exam", "u", "", false).value("A").size(), 1);
        QVERIFY(db_->getWordsSortedByDate(false, "verbs", "u", "", false).isEmpty());
        const auto none = db_->getWordsSortedWithNoTagByDate(false, "u", "");
        QCOMPARE(none.value("B").value(0).word, QStringLiteral("b"));
        QVERIFY(!none.contains("A"));
        QVERIFY(!db_->addWords({"b", ""}, "exam", "u"));
        QVERIFY(db_->deleteTag("exam"));
        QCOMPARE(db_->getAllTags(), QStringList({"verbs"}));
        QCOMPARE(db_->getTagsForWord("a"), QString(""));
    }

    void letterSections()
    {
        QCOMPARE(MVWordBookDb::getFirstCharCategory("apple"), QStringLiteral("A"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory("Zoo"), QStringLiteral("Z"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("Éclair")), QStringLiteral("#"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("émigré")), QStringLiteral("#"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory("3d"), QStringLiteral("#"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(" x"), QStringLiteral("#"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("中国")), QStringLiteral("z"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("爱")), QStringLiteral("a"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("一")), QStringLiteral("y"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("龥")), QStringLiteral("y"));  // U+9FA5
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("ありがとう")), QStringLiteral("#"));
        QCOMPARE(MVWordBookDb::getFirstCharCategory(QStringLiteral("😀")), QStringLiteral("#"));

        for (const char* w : {"apple", "Éclair", "3d", "中国", "ant"})
            db_->addWord(QString::fromUtf8(w), "", "d", "");
        const auto byLetter = db_->getWordsSortedByDate(false, QString(), "", "", false);
        QCOMPARE(byLetter.value("A").size(), 2);
        QCOMPARE(byLetter.value("A").first().word, QStringLiteral("ant"));
        QCOMPARE(byLetter.value("#").size(), 2);
        QCOMPARE(byLetter.value("z").first().word, QStringLiteral("中国"));
        const auto byDate = db_->getWordsSortedByDate(true, QString(), "", "", false);
        QCOMPARE(byDate.size(), 1);
        QCOMPARE(byDate.first().size(), 5);
        QCOMPARE(db_->getWordsSortedByDate(false, QString(), "", "", true).value("A").size(), 2);
    }

    void deletedFileComesBackWithTables()
    {
        db_->setCurrentUserProvider([] { return QStringLiteral("cur"); });
        db_->setTimeStamp("99", "cur");
        UserDefaults::standard().setValue("kSyncWordNum", 12);
        db_->addWord("x", "", "d", "");
        QVERIFY(QFile::remove(path_));
        QVERIFY(db_->addWord("y", "", "d", ""));
        QVERIFY(db_->hasWord("y"));
        QCOMPARE(db_->getTimeStampForUser("cur"), QStringLiteral("0"));
        QCOMPARE(UserDefaults::standard().integerValue("kSyncWordNum"), 0);
    }

    void uploadListsSplitTheParaphrase()
    {
        signIn("u");
        db_->addWord("w", "fəʊ", "line1\\nline2", "u");
        db_->addWords({"w"}, "g", "u");
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("INSERT INTO WORDBOOK VALUES ('plain','2015-01-01','2015-03-04 05:06:07 +0000','no sep','0','add','u','0')");
        }
        const auto adds = db_->getAddList();
        QCOMPARE(adds.size(), 2);
        const auto& w = adds[0]->word == "w" ? adds[0] : adds[1];
        const auto& p = adds[0]->word == "w" ? adds[1] : adds[0];
        QCOMPARE(w->phonetic, QStringLiteral("[fəʊ]"));
        QCOMPARE(w->definition, QStringLiteral("line1 \nline2"));
        QCOMPARE(w->tags, QStringLiteral(";g"));
        QCOMPARE(p->phonetic, QString(""));
        QCOMPARE(p->definition, QStringLiteral("no sep"));
        QCOMPARE(p->time, QStringLiteral("1425445567"));
    }

    void commitAppliesAddsDeletesTagsAndReview()
    {
        signIn("u");
        db_->addWord("gone", "", "d", "u");
        db_->addWords({"gone"}, "g", "u");
        db_->addWord("keepTags", "", "d", "u");
        db_->addWords({"keepTags"}, "old", "u");
        db_->addWord("dropTags", "", "d", "u");
        db_->addWords({"dropTags"}, "old", "u");
        SyncActionMap m;
        m["gone"] = received("gone", false);
        m["keepTags"] = received("keepTags", true, QString());
        m["dropTags"] = received("dropTags", true, QStringLiteral(""));
        m["new"] = received("new", true, QStringLiteral(";x;y;x"), QStringLiteral("3"));
        m["ghost"] = received("ghost", true, QString(), QStringLiteral("3"), false);
        QVERIFY(db_->commitSyncingActionList(m, "u"));
        QVERIFY(!db_->hasWord("gone"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM TAGTABLE WHERE WORD='gone'"), QStringLiteral("0"));
        QCOMPARE(db_->getTagsForWord("keepTags"), QStringLiteral(";old"));
        QCOMPARE(db_->getTagsForWord("dropTags"), QString(""));
        QCOMPARE(db_->getTagsForWord("new"), QStringLiteral(";x;y"));
        QCOMPARE(one(path_, "SELECT OP || '|' || INTP || '|' || TS FROM WORDBOOK WHERE WORD='new'"),
                 QStringLiteral("|[ph]\\ndef of new|77"));
        QCOMPARE(one(path_, "SELECT PROGRESS || STATUS FROM REMTABLE WHERE WORD='new'"), QStringLiteral("30"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM REMTABLE WHERE WORD='ghost'"), QStringLiteral("0"));
        QVERIFY(db_->getAllTags().contains("x"));
    }

    void commitRunsInBatchesOfHundred()
    {
        SyncActionMap m;
        for (int i = 0; i < 250; ++i)
            m[QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0'))] =
                received(QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0')), true);
        QList<int> counts;
        db_->setBatchCommittedHook([&](int) { counts << one(path_, "SELECT COUNT(*) FROM WORDBOOK").toInt(); });
        QVERIFY(db_->commitSyncingActionList(m, ""));
        QCOMPARE(counts, QList<int>({100, 200, 250}));
    }

    void commitReportsAWriteThatCannotHappen()
    {
        SyncActionMap m;
        for (int i = 0; i < 150; ++i)
            m[QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0'))] =
                received(QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0')), true);
        // Another connection holds the write lock for longer than the busy
        // timeout after the first batch: the rest must be reported, not lost silently.
        std::unique_ptr<SQLite::Database> blocker;
        db_->setBatchCommittedHook([&](int batch) {
            if (batch == 0) {
                blocker = std::make_unique<SQLite::Database>(path_.toStdString(), SQLite::OPEN_READWRITE);
                blocker->exec("BEGIN EXCLUSIVE");
            }
        });
        QVERIFY(!db_->commitSyncingActionList(m, ""));
        blocker.reset();
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK").toInt(), 100);
    }

    void clearingMarksSparesWordsChangedAfterUpload()
    {
        signIn("u");
        db_->addWord("same", "", "d", "u");
        db_->addWord("edited", "", "d", "u");
        db_->addWord("moved", "", "d", "u");
        db_->addWord("gone", "", "d", "u");
        db_->addRemForWords({"same", "edited"}, "u");
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("UPDATE WORDBOOK SET OP = '' WHERE WORD = 'gone'");
        }
        db_->deleteWord("gone", "u", "");
        QList<MVSyncActionPtr> adds;
        const auto rems = db_->getChangedRemList();
        for (const auto& item : db_->getAddList()) {
            auto a = std::make_shared<MVSyncAction>();
            a->item = item;
            a->withWordInfo = true;
            a->remItem = rems.value(item->word);
            adds << a;
        }
        QList<MVSyncActionPtr> dels;
        for (const auto& item : db_->getDelList()) {
            auto a = std::make_shared<MVSyncAction>();
            a->item = item;
            dels << a;
        }
        QTest::qSleep(1100);  // a re-add gets a new moment
        db_->addWord("edited", "", "changed", "u");
        db_->addWords({"moved"}, "g", "u");
        db_->addWord("gone", "", "back again", "u");
        QVERIFY(db_->clearChangedWordsWithAddList(adds, dels));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='same'"), QString(""));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='edited'"), QStringLiteral("add"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='moved'"), QStringLiteral("add"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='gone'"), QStringLiteral("add"));
        QCOMPARE(one(path_, "SELECT STATUS FROM REMTABLE WHERE WORD='same'"), QStringLiteral("0"));
    }

    void carryMovesAnonymousWordsOnce()
    {
        db_->addWord("shared", "", "anon", "");
        db_->addWord("mine", "", "anon", "");
        db_->addWordTags({"g"}, "");
        db_->addWords({"mine"}, "g", "");
        db_->addRemForWords({"mine"}, "");
        db_->addWord("shared", "", "account", "acc");
        QVERIFY(db_->carryWordsFromUser("", "acc"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK WHERE USERNAME=''"), QStringLiteral("0"));
        QCOMPARE(one(path_, "SELECT INTP FROM WORDBOOK WHERE WORD='shared'"), QStringLiteral("\\naccount"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='mine'"), QStringLiteral("add"));
        QCOMPARE(one(path_, "SELECT USERNAME || STATUS FROM REMTABLE WHERE WORD='mine'"), QStringLiteral("acc1"));
        QCOMPARE(one(path_, "SELECT TAG FROM TAGTABLE WHERE USERNAME='acc'"), QStringLiteral("g"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDTAGTABLE WHERE USERNAME=''"), QStringLiteral("0"));
        // From a named account the source stays.
        QVERIFY(db_->carryWordsFromUser("acc", "other"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK WHERE USERNAME='acc'"), QStringLiteral("2"));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK WHERE USERNAME='other'"), QStringLiteral("2"));
    }

    void reviewPlanDailyLimitAndRollover()
    {
        QDateTime now = QDateTime(QDate(2024, 5, 1), QTime(23, 0));
        wbclock::setNowForTesting([&] { return now; });
        QStringList words;
        for (int i = 0; i < 31; ++i)
            words << QStringLiteral("r%1").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(db_->addRemForWords(words, ""));
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM REMTABLE WHERE PROGRESS='1'"), QStringLiteral("30"));
        QCOMPARE(one(path_, "SELECT PROGRESS FROM REMTABLE WHERE WORD='r30'"), QStringLiteral("0"));
        QCOMPARE(UserDefaults::standard().stringValue("setting_review_word_limit"), QStringLiteral("30"));
        // Already planned words stay as they are; removed ones come back.
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("UPDATE REMTABLE SET PROGRESS='3' WHERE WORD='r00'");
            db.exec("UPDATE REMTABLE SET PROGRESS='-1' WHERE WORD='r01'");
        }
        now = now.addSecs(2 * 3600);  // the next local day
        QVERIFY(db_->addRemForWords({"r00", "r01", "fresh"}, ""));
        QCOMPARE(one(path_, "SELECT PROGRESS FROM REMTABLE WHERE WORD='r00'"), QStringLiteral("3"));
        QCOMPARE(one(path_, "SELECT PROGRESS FROM REMTABLE WHERE WORD='r01'"), QStringLiteral("1"));
        QCOMPARE(one(path_, "SELECT PROGRESS || STATUS FROM REMTABLE WHERE WORD='fresh'"), QStringLiteral("11"));
        QCOMPARE(UserDefaults::standard().integerValue("review_begin_words_num"), 2);
        QVERIFY(db_->delRemForWords({"r00", "r01", "fresh", "x"}));
        QCOMPARE(UserDefaults::standard().integerValue("review_begin_words_num"), 0);
        wbclock::setNowForTesting(nullptr);
        QCOMPARE(MVWordBookDb::intervalForProgress(2), 1800.0);
        QCOMPARE(MVWordBookDb::intervalForProgress(9), 2592000.0);
        QCOMPARE(MVWordBookDb::intervalForProgress(10), 0.0);
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "StoreTest.moc"
