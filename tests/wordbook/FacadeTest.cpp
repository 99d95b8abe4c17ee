#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotices.h"
#include "support/FakeWordBookService.h"
#include "support/TestEnv.h"
#include "wordbook/MVWordBook.h"

#include <QProcess>
#include <atomic>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/mount.h>

namespace {
struct Listener : MVWordBookSyncDelegate {
    QList<quint64> progress;
    int started = 0, succeeded = 0, failed = 0;
    WordBookError error;
    void wordBookSyncStart() override { ++started; }
    void wordBookSyncProcessing(quint64 p) override { progress << p; }
    void wordBookSyncSecuss() override { ++succeeded; }
    void wordBookSyncFailed(const WordBookError& e) override
    {
        ++failed;
        error = e;
    }
    bool ended() const { return succeeded + failed > 0; }
};

QString one(const QString& path, const QString& sql)
{
    SQLite::Database db(path.toStdString());
    SQLite::Statement st(db, sql.toStdString());
    return st.executeStep() && !st.getColumn(0).isNull() ? QString::fromStdString(st.getColumn(0).getString())
                                                         : QString();
}

// Writes on the queue that waited out the whole busy timeout (each is logged).
std::atomic<int> g_lockedOut{0};
QtMessageHandler g_previousHandler = nullptr;
void countLockedOut(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("BEGIN IMMEDIATE - database is locked")))
        ++g_lockedOut;
    g_previousHandler(type, context, text);
}

bool nonDecreasing(const QList<quint64>& v)
{
    return std::is_sorted(v.begin(), v.end());
}

// A small file system of its own (root only: root writes through any mode
// bits), detached at the end.
struct Tmpfs {
    QByteArray path;
    bool ok = false;
    explicit Tmpfs(const QString& where) : path(where.toLocal8Bit())
    {
        QDir().mkpath(where);
        ok = ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=1m,mode=0700") == 0;
    }
    bool makeReadOnly()
    {
        return ::mount("tmpfs", path.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m,mode=0700") == 0;
    }
    ~Tmpfs()
    {
        if (ok)
            ::umount2(path.constData(), MNT_DETACH);
    }
};

// What each write's `done` said, in the order they answered.
struct Answers {
    QList<bool> stored;
    MVWordBook::WriteDone next()
    {
        return [this](bool ok) { stored << ok; };
    }
};
}  // namespace

class FacadeTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeWordBookService> svc_;
    std::unique_ptr<MVWordBook> book_;
    QString path_;

    void runSync(Listener& l, bool merge = false)
    {
        book_->startSyncWithDelegate(&l, merge);
        QTRY_VERIFY_WITH_TIMEOUT(l.ended(), 15000);
        book_->waitForQueuedWork();
    }

private slots:
    void init()
    {
        env_ = std::make_unique<TestEnv>();
        svc_ = std::make_unique<FakeWordBookService>();
        path_ = env_->root() + "/wordbook.db";
        book_ = std::make_unique<MVWordBook>();
        book_->configureWithDbPath(path_, svc_->url());
    }
    void cleanup()
    {
        book_.reset();
        svc_.reset();
        env_.reset();
    }

    void addGoesThroughTheQueueWithDefaultGroupAndReviewPlan()
    {
        QVERIFY(WordPresence::shared() == book_.get());
        UserDefaults::standard().setValue("setting_collect_to_default_group", "exam");
        UserDefaults::standard().setValue("setting_add_word_also_add_review_plan", true);
        QVERIFY(book_->addWord("Apple", "ˈæpl", "n. 苹果"));
        book_->waitForQueuedWork();
        QVERIFY(book_->hasWord("apple"));
        QCOMPARE(book_->loadWordListWithCategory("exam", false), QStringList({"Apple"}));
        QCOMPARE(one(path_, "SELECT PROGRESS FROM REMTABLE WHERE WORD='Apple'"), QStringLiteral("1"));
        UserDefaults::standard().setValue("setting_collect_to_default_group", "所有单词");
        book_->addWord("pear", "", "n.");
        book_->waitForQueuedWork();
        QCOMPARE(book_->loadWordListWithCategory("未分组", false), QStringList({"pear"}));
        QCOMPARE(book_->loadWordListWithCategory("所有单词", false), QStringList({"Apple", "pear"}));
    }

    void writesRunInCallOrder()
    {
        // The delete must win over the add queued before it, and the group
        // move over the add of the same word.
        for (int i = 0; i < 50; ++i)
            book_->addWord(QStringLiteral("w%1").arg(i), "", "d");
        book_->addWord("victim", "", "d");
        QVERIFY(book_->delWord("victim"));
        book_->addWord("mover", "", "d");
        QVERIFY(book_->addWordTags({"g"}));
        QVERIFY(book_->addTag("g", {"mover"}));
        book_->waitForQueuedWork();
        QVERIFY(!book_->hasWord("victim"));
        QCOMPARE(book_->loadWordListWithCategory("g", false), QStringList({"mover"}));
    }

    void groupsRenameAndDelete()
    {
        for (const char* w : {"a", "b", "c"})
            book_->addWord(w, "", "d");
        book_->addWordTags({"old"});
        book_->addTag("old", {"a", "b"});
        QVERIFY(book_->updateWordTag("old", "new"));
        book_->waitForQueuedWork();
        QCOMPARE(book_->loadWordListWithCategory("new", false), QStringList({"a", "b"}));
        QVERIFY(!book_->getTags().contains("old"));
        QVERIFY(book_->deleteWordForTag("new"));
        book_->waitForQueuedWork();
        QCOMPARE(book_->loadWordListWithCategory("未分组", false), QStringList({"a", "b", "c"}));
        QVERIFY(book_->getTags().isEmpty());
    }

    // A delete or group change the file refuses is answered as not stored,
    // told once each, and changes nothing: a rename is all or nothing.
    void refusedDeletesAndGroupChangesAreToldAndChangeNothing()
    {
        Tmpfs disk(env_->root() + "/disk");
        if (!disk.ok)
            QSKIP("a read-only file system needs root");
        const QString path = env_->root() + "/disk/wordbook.db";
        book_->configureWithDbPath(path, QUrl());
        for (const char* w : {"keep", "other"})
            book_->addWord(w, "", "d");
        book_->addWordTags({"old"});
        book_->addTag("old", {"keep", "other"});
        book_->waitForQueuedWork();
        QStringList told;
        usernotices::setPresenter([&](const QString& t) { told << t; });
        {
            // Half a rename: the new group's rows are refused after the old
            // group was taken apart.
            SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
            db.exec("CREATE TRIGGER refuse BEFORE INSERT ON TAGTABLE WHEN NEW.TAG = 'new' "
                    "BEGIN SELECT RAISE(FAIL, 'refused'); END");
        }
        Answers a;
        QVERIFY(book_->updateWordTag("old", "new", this, a.next()));
        QTRY_COMPARE(a.stored, QList<bool>{false});
        QCOMPARE(book_->getTags(), QStringList{"old"});
        QCOMPARE(book_->loadWordListWithCategory("old", false), (QStringList{"keep", "other"}));
        QTRY_COMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith("分组没有重命名"), qPrintable(told.first()));

        QVERIFY(disk.makeReadOnly());
        QVERIFY(book_->delWord("keep", this, a.next()));
        QVERIFY(book_->delWords({"keep", "other"}, this, a.next()));
        QVERIFY(book_->deleteWordForTag("old", this, a.next()));
        QVERIFY(book_->deleteTagsForWord("keep", this, a.next()));
        QTRY_COMPARE(a.stored, (QList<bool>{false, false, false, false, false}));
        QVERIFY(book_->hasWord("keep") && book_->hasWord("other"));
        QCOMPARE(book_->loadWordListWithCategory("old", false), (QStringList{"keep", "other"}));
        QTRY_COMPARE(told.size(), 5);
        QVERIFY2(told[1].startsWith("单词没有从单词本删除：没有权限"), qPrintable(told[1]));
        QVERIFY(told[2].startsWith("单词没有从单词本删除"));
        QVERIFY(told[3].startsWith("分组没有删除"));
        usernotices::setPresenter({});
    }

    // While another program holds the file locked, the main thread never
    // waits on it; what the user did meanwhile is stored once it lets go.
    void anotherProgramsLockFreezesNothingAndLosesNothing()
    {
        book_->addWord("old", "", "d");
        book_->addWordTags({"g"});
        book_->waitForQueuedWork();
        QProcess holder;
        holder.start("sqlite3", {path_});
        if (!holder.waitForStarted())
            QSKIP("no sqlite3 here");
        holder.write("BEGIN EXCLUSIVE;\nSELECT COUNT(*) FROM WORDBOOK;\n.print locked\n");
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += holder.readAllStandardOutput()).contains("locked"),
                                  holder.readAllStandardError().constData(), 10000);

        QStringList told;
        usernotices::setPresenter([&](const QString& t) { told << t; });
        QSignalSpy available(book_.get(), &MVWordBook::storeAvailable);
        qint64 longest = 0;
        auto timed = [&](auto step) {
            QElapsedTimer t;
            t.start();
            step();
            longest = std::max(longest, t.elapsed());
        };
        Answers a;
        MVWordBook next;  // a start while the file is held
        timed([&] { book_->addWord("star", "", "d", this, a.next()); });
        timed([&] { book_->delWord("old", this, a.next()); });
        timed([&] { book_->addTag("g", {"star"}, this, a.next()); });
        timed([&] { book_->hasWord("old"); });
        timed([&] { book_->loadWordListWithCategory("所有单词", false); });
        timed([&] { next.configureWithDbPath(path_, QUrl()); });
        QTRY_COMPARE(told.size(), 2);  // each book says it is busy

        // Held past the queue's busy timeout: the event loop keeps turning
        // all the while, and the writes wait rather than fail.
        QElapsedTimer sinceTick;
        sinceTick.start();
        qint64 longestTick = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longestTick = std::max(longestTick, sinceTick.restart()); });
        ticker.start(5);
        g_lockedOut = 0;
        g_previousHandler = qInstallMessageHandler(countLockedOut);
        QTRY_VERIFY_WITH_TIMEOUT(g_lockedOut > 0, 15000);
        qInstallMessageHandler(g_previousHandler);
        QVERIFY(a.stored.isEmpty());
        holder.write("COMMIT;\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished());

        QTRY_COMPARE_WITH_TIMEOUT(a.stored, (QList<bool>{true, true, true}), 15000);
        QTRY_VERIFY(available.size() >= 1);
        QTRY_VERIFY(next.store()->isOpen());
        ticker.stop();
        qInfo("longest main-thread call %lld ms, longest event-loop gap %lld ms", longest, longestTick);
        QVERIFY2(longest < 150, qPrintable(QString::number(longest)));
        QVERIFY2(longestTick < 150, qPrintable(QString::number(longestTick)));
        QVERIFY(book_->hasWord("star") && !book_->hasWord("old"));
        QCOMPARE(book_->loadWordListWithCategory("g", false), QStringList{"star"});
        // Told once per spell and book, then never again.
        QCOMPARE(told.size(), 2);
        QVERIFY2(told.first().contains("其他程序"), qPrintable(told.first()));
        usernotices::setPresenter({});
    }

    void usersLoginLogoutAndFilter()
    {
        QVERIFY(!book_->didLoginWithUser("alice"));
        QCOMPARE(book_->curUser(), QStringLiteral("alice"));
        QCOMPARE(UserDefaults::standard().stringValue("wb_cur_user_key"), QStringLiteral("alice"));
        book_->addWord("hers", "", "d");
        book_->waitForQueuedWork();
        QVERIFY(book_->hasUnsyncWords());
        book_->didLogout();
        QCOMPARE(book_->preUser(), QStringLiteral("alice"));
        book_->addWord("anon", "", "d");
        book_->waitForQueuedWork();
        QCOMPARE(book_->loadWordListWithCategory("所有单词", false), QStringList({"anon", "hers"}));
        QVERIFY(book_->needMergeUser());
        QVERIFY(book_->didLoginWithUser("bob"));
        QCOMPARE(UserDefaults::standard().stringValue("default_key_local_timestamp_for_bob"), QStringLiteral("0"));
        // A restart reads the users back.
        MVWordBook again;
        QCOMPARE(again.curUser(), QStringLiteral("bob"));
        QCOMPARE(again.preUser(), QStringLiteral("alice"));
    }

    void syncUploadsThenWritesAndClears()
    {
        book_->didLoginWithUser("u");
        book_->addWord("local", "p", "d");
        svc_->queueAnswer(FakeWordBookService::answer(
            0, "100", "200",
            FakeWordBookService::action("add", "remote", "t", "p", 1400000000, "3", ";g") +
                FakeWordBookService::action("add", "remote", QString(), QString(), 1400000000, "-1")));
        Listener l;
        int started = 0, done = 0;
        NotificationCenter::defaultCenter().addObserver(wbnotify::kSyncStart, this, [&](const Notification&) { ++started; });
        NotificationCenter::defaultCenter().addObserver(wbnotify::kSyncDone, this, [&](const Notification&) { ++done; });
        runSync(l);
        NotificationCenter::defaultCenter().removeObserver(this);
        QCOMPARE(l.succeeded, 1);
        QCOMPARE(started, 1);
        QCOMPARE(done, 1);
        QVERIFY(nonDecreasing(l.progress));
        QCOMPARE(l.progress.first(), 10u);
        QCOMPARE(l.progress.last(), 1000u);
        QVERIFY(l.progress.contains(250));
        const auto reqs = svc_->requests();
        QCOMPARE(reqs.size(), size_t(1));
        const QString doc = FakeWordBookService::documentOf(reqs[0]);
        QVERIFY(doc.contains("<operation>commit</operation><maxLocalTimestamp>0</maxLocalTimestamp>"));
        QVERIFY(doc.contains("<word><![CDATA[local]]></word><wordInfo><phonetic><![CDATA[[p]]]>"));
        // Merged: the later action without phonetic keeps the earlier one's, and progress "-1" keeps "3".
        QCOMPARE(one(path_, "SELECT INTP FROM WORDBOOK WHERE WORD='remote'"), QStringLiteral("[p]\\nt"));
        QCOMPARE(one(path_, "SELECT PROGRESS FROM REMTABLE WHERE WORD='remote'"), QStringLiteral("3"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='local'"), QString(""));
        QCOMPARE(book_->store()->getTimeStampForUser("u"), QStringLiteral("100"));
        QCOMPARE(book_->store()->getRemTimeStampForUser("u"), QStringLiteral("200"));
        QVERIFY(!book_->isSyncing());
        QTRY_COMPARE(UserDefaults::standard().integerValue("kSyncWordNum"), 2);
    }

    void updateFirstThenCommitAgain()
    {
        book_->didLoginWithUser("u");
        book_->addWord("w", "", "d");
        svc_->queueAnswer(FakeWordBookService::answer(5));
        svc_->queueAnswer(FakeWordBookService::answer(0, "300", "400",
                                                      FakeWordBookService::action("del", "x")));
        svc_->queueAnswer(FakeWordBookService::answer(1, "301", "401"));
        Listener l;
        runSync(l);
        QCOMPARE(l.succeeded, 1);
        const auto reqs = svc_->requests();
        QCOMPARE(reqs.size(), size_t(3));
        QVERIFY(FakeWordBookService::documentOf(reqs[0]).contains("commit"));
        QVERIFY(FakeWordBookService::documentOf(reqs[1]).contains("<operation>update</operation>"));
        QVERIFY(FakeWordBookService::documentOf(reqs[2]).contains(
            "<operation>commit</operation><maxLocalTimestamp>300</maxLocalTimestamp>"));
        QVERIFY(l.progress.contains(220));
        QCOMPARE(l.progress.count(200), 1);
        QVERIFY(nonDecreasing(l.progress));
        QCOMPARE(book_->store()->getTimeStampForUser("u"), QStringLiteral("301"));
    }

    void needAgainFetchesMoreBeforeWriting()
    {
        book_->didLoginWithUser("u");
        svc_->queueAnswer(FakeWordBookService::answer(3, "1", "1", FakeWordBookService::action("add", "a", "t", "", 1400000000)));
        svc_->queueAnswer(FakeWordBookService::answer(0, "2", "2", FakeWordBookService::action("add", "b", "t", "", 1400000000)));
        Listener l;
        runSync(l);
        QCOMPARE(svc_->requests().size(), size_t(2));
        QVERIFY(FakeWordBookService::documentOf(svc_->requests()[0]).contains("<operation>update</operation>"));
        QVERIFY(book_->hasWord("a") && book_->hasWord("b"));
        QCOMPARE(l.progress.last(), 1000u);
    }

    void failuresKeepMarksAndTimestamps()
    {
        book_->didLoginWithUser("u");
        book_->store()->setTimeStamp("50", "u");
        book_->addWord("w", "", "d");
        // The actions arrive, then the service reports full on the next exchange.
        svc_->queueAnswer(FakeWordBookService::answer(3, "60", "60", FakeWordBookService::action("add", "kept", "t", "", 1400000000)));
        svc_->queueAnswer(FakeWordBookService::answer(4));
        Listener l;
        runSync(l);
        QCOMPARE(l.failed, 1);
        QCOMPARE(l.error.code, -1004);
        QCOMPARE(l.progress.last(), 0u);
        QVERIFY(!book_->isSyncing());
        QCOMPARE(book_->store()->getTimeStampForUser("u"), QStringLiteral("50"));
        QCOMPARE(one(path_, "SELECT OP FROM WORDBOOK WHERE WORD='w'"), QStringLiteral("add"));
        QVERIFY(!book_->hasWord("kept"));
        // The next successful round writes what the failed one received.
        svc_->queueAnswer(FakeWordBookService::answer(1, "70", "70"));
        Listener next;
        runSync(next);
        QCOMPARE(next.succeeded, 1);
        QVERIFY(book_->hasWord("kept"));
    }

    void storeFailureIsReportedAndTimestampsStay()
    {
        book_->didLoginWithUser("u");
        book_->store()->setTimeStamp("50", "u");
        // The answer comes late; meanwhile another program takes the file for
        // writing for longer than the busy timeout.
        svc_->queueAnswer(FakeWordBookService::answer(0, "60", "60", FakeWordBookService::action("add", "x", "t", "", 1400000000)),
                          200, 800);
        SQLite::Database blocker(path_.toStdString(), SQLite::OPEN_READWRITE);
        Listener l;
        book_->startSyncWithDelegate(&l, false);
        QTRY_VERIFY_WITH_TIMEOUT(l.progress.contains(200), 10000);
        blocker.exec("BEGIN EXCLUSIVE");
        QTRY_VERIFY_WITH_TIMEOUT(l.ended(), 15000);
        blocker.exec("ROLLBACK");
        book_->waitForQueuedWork();
        QCOMPARE(l.failed, 1);
        QCOMPARE(l.error.code, wbsync::kStoreError);
        QCOMPARE(book_->store()->getTimeStampForUser("u"), QStringLiteral("50"));
    }

    void unknownAnswerEndsTheSync()
    {
        svc_->queueAnswer(FakeWordBookService::answer(7));
        Listener l;
        runSync(l);
        QCOMPARE(l.failed, 1);
        QCOMPARE(l.error.domain, QStringLiteral("sync"));
        QVERIFY(!book_->isSyncing());
    }

    void secondStartWaitsForTheRunningOne()
    {
        book_->didLoginWithUser("u");
        svc_->queueAnswer(FakeWordBookService::answer(1, "1", "1"), 200, 400);
        svc_->queueAnswer(FakeWordBookService::answer(1, "2", "2"));
        Listener first, second;
        book_->startSyncWithDelegate(&first, false);
        book_->startSyncWithDelegate(&second, false);
        QTRY_VERIFY_WITH_TIMEOUT(first.ended() && second.ended(), 15000);
        QCOMPARE(first.succeeded, 1);
        QCOMPARE(second.succeeded, 1);
        QCOMPARE(svc_->requests().size(), size_t(2));
        QVERIFY(FakeWordBookService::documentOf(svc_->requests()[1]).contains("<maxLocalTimestamp>1<"));
    }

    void newFileResetsTheSignedInTimestamp()
    {
        book_->didLoginWithUser("u");
        book_->store()->setTimeStamp("9", "u");
        MVWordBook next;  // the next start, signed in as u
        next.configureWithDbPath(env_->root() + "/fresh.db", svc_->url());
        QCOMPARE(next.store()->getTimeStampForUser("u"), QStringLiteral("0"));
    }

    void startWithoutStoreFails()
    {
        MVWordBook bare;
        Listener l;
        bare.startSyncWithDelegate(&l, false);
        QCOMPARE(l.failed, 1);
        QCOMPARE(l.error.domain, QStringLiteral("unknown"));
        QCOMPARE(l.error.code, -1);
        QVERIFY(!bare.isSyncing());
        QVERIFY(!bare.addWord("x", "", ""));
    }

    void mergeCarriesPreviousUsersWords()
    {
        book_->didLoginWithUser("alice");
        book_->addWord("hers", "", "d");
        book_->waitForQueuedWork();
        book_->didLogout();
        book_->addWord("anon", "", "d");
        QVERIFY(book_->didLoginWithUser("bob"));
        svc_->queueAnswer(FakeWordBookService::answer(1, "1", "1"));
        Listener l;
        runSync(l, true);
        QCOMPARE(l.succeeded, 1);
        const QString doc = FakeWordBookService::documentOf(svc_->requests()[0]);
        QVERIFY(doc.contains("[CDATA[hers]]") && doc.contains("[CDATA[anon]]"));
        QCOMPARE(book_->preUser(), QStringLiteral("bob"));
        QVERIFY(!book_->needMergeUser());
        QCOMPARE(one(path_, "SELECT COUNT(*) FROM WORDBOOK WHERE USERNAME=''"), QStringLiteral("0"));
    }

    // A logout while a synchronisation runs is not undone by it, later words
    // stay anonymous, and what arrives is filed under the user it was for.
    void logoutDuringSyncWins()
    {
        book_->didLoginWithUser("alice");
        {
            SQLite::Database db(path_.toStdString(), SQLite::OPEN_READWRITE);
            SQLite::Transaction t(db);
            SQLite::Statement st(db, "INSERT INTO WORDBOOK VALUES (?, '2020-01-01', '', 'd', '0', 'add', '', '0')");
            for (int i = 0; i < 50000; ++i) {
                st.bind(1, "anon" + std::to_string(i));
                st.exec();
                st.reset();
            }
            t.commit();
        }
        svc_->queueAnswer(FakeWordBookService::answer(
            0, "100", "200", FakeWordBookService::action("add", "remote", "t", "p", 1400000000, "2")));
        Listener l;
        book_->startSyncWithDelegate(&l, false);
        QTest::qWait(30);
        book_->didLogout();
        book_->addWord("after", "", "d");
        QTRY_VERIFY_WITH_TIMEOUT(l.ended(), 30000);
        book_->waitForQueuedWork();
        QVERIFY2(l.succeeded == 1, qPrintable(QStringLiteral("failed %1 %2").arg(l.error.domain).arg(l.error.code)));
        QCOMPARE(book_->curUser(), QString(""));
        QCOMPARE(book_->preUser(), QStringLiteral("alice"));
        QCOMPARE(UserDefaults::standard().stringValue("wb_cur_user_key"), QString(""));
        QCOMPARE(one(path_, "SELECT USERNAME FROM WORDBOOK WHERE WORD='after'"), QString(""));
        QCOMPARE(one(path_, "SELECT USERNAME FROM WORDBOOK WHERE WORD='remote'"), QStringLiteral("alice"));
        QCOMPARE(one(path_, "SELECT USERNAME FROM REMTABLE WHERE WORD='remote'"), QStringLiteral("alice"));
        QCOMPARE(book_->store()->getTimeStampForUser("alice"), QStringLiteral("100"));
        QVERIFY(book_->store()->getTimeStampForUser("") != QStringLiteral("100"));
        QCOMPARE(UserDefaults::standard().doubleValue("kSyncWordTime"), 0.0);
    }
};

QTEST_GUILESS_MAIN(FacadeTest)
#include "FacadeTest.moc"
