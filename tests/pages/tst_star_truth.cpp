// The result page's star over the real word book and real files: it fills
// only once the word is in wordbook.db, and every way the file can refuse
// the word leaves it empty with one alert that names the cause.
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include "platform/Reachability.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/offline/OfflineDict.h"
#include "window/NoticeAlerts.h"
#include "window/MVAlertWndController.h"
#include "window/pages/MainViewController.h"
#include "window/pages/PageOwner.h"
#include "wordbook/MVWordBook.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <atomic>
#include <cerrno>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace {
class Owner : public PageOwner {
public:
    void jumpToTab(int, const QString&) override {}
    void chaciClick() override {}
    bool isShowingWordBookView() const override { return false; }
    bool isShowingFanyiView() const override { return false; }
    ManagingViewController* currentViewController() const override { return nullptr; }
    void setToolbarBackEnabled(bool) override {}
    void setToolbarForwardEnabled(bool) override {}
};

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool holdsWord(const QString& db, const QString& word)
{
    try {
        SQLite::Database file(db.toStdString(), SQLite::OPEN_READONLY);
        SQLite::Statement q(file, "SELECT COUNT(*) FROM WORDBOOK WHERE WORD = ?");
        q.bind(1, word.toStdString());
        return q.executeStep() && q.getColumn(0).getInt() == 1;
    } catch (const std::exception&) {
        return false;
    }
}

// A word book of the current layout with enough rows to span many pages.
void writeFullBook(const QString& path)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("CREATE TABLE WORDBOOK (WORD TEXT, DATE TEXT, TIME TEXT, INTP TEXT, TS TEXT, OP TEXT, USERNAME TEXT, "
            "SPELLTIME TEXT DEFAULT '0', PRIMARY KEY(WORD,USERNAME))");
    SQLite::Transaction t(db);
    for (int i = 0; i < 400; ++i)
        db.exec(QStringLiteral("INSERT INTO WORDBOOK VALUES ('w%1','2026-01-01','t','%2','0','add','','0')")
                    .arg(i)
                    .arg(QString(300, 'd'))
                    .toStdString());
    t.commit();
}

// A small file system of its own (root only), taken away at the end.
struct Tmpfs {
    QString path;
    bool ok = false;
    Tmpfs(const QString& where, const char* options) : path(where)
    {
        QDir().mkpath(where);
        ok = ::mount("tmpfs", where.toLocal8Bit().constData(), "tmpfs", 0, options) == 0;
    }
    bool remount(unsigned long flags, const char* options)
    {
        return ::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | flags, options) == 0;
    }
    ~Tmpfs()
    {
        if (ok)
            ::umount2(path.toLocal8Bit().constData(), MNT_DETACH);
    }
};

// Adds the word book has refused so far (it logs each one).
std::atomic<int> g_refused{0};
QtMessageHandler g_previous = nullptr;
void countRefusals(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QLatin1String("wordbook: could not add")))
        ++g_refused;
    g_previous(type, context, text);
}

// Fills the file system that holds `file` to the last byte.
void fill(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(4096, 'f');
    while (f.write(block) == block.size() && f.flush()) {
    }
}
}  // namespace

class TestStarTruth : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        env_ = std::make_unique<TestEnv>();
        OfflineDict::install();
        Reachability::setShared(std::make_unique<FakeReachability>(false));
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:9"));
        noticealerts::install();
        g_previous = qInstallMessageHandler(countRefusals);
        input_ = new QLineEdit;
        page_ = new MainViewController;
        page_->setOwner(&owner_);
        page_->setInput(input_);
        page_->resize(800, 600);
        page_->show();
    }
    void cleanupTestCase()
    {
        MVWordBook::sharedInstance().waitForQueuedWork();
        delete page_;
        delete input_;
    }
    void cleanup()
    {
        MVWordBook::sharedInstance().waitForQueuedWork();
        dismissAlerts();
        QVERIFY(noticealerts::shown().isEmpty());
    }

    void damagedBookIsSetAsideAndTheStarWorks_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("random bytes") << "garbage";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("damaged while running") << "running";
    }
    void damagedBookIsSetAsideAndTheStarWorks()
    {
        QFETCH(QString, damage);
        const QString folder = freshFolder();
        const QString db = folder + "/wordbook.db";
        if (damage == "truncated") {
            writeFullBook(db);
            QFile f(db);
            QVERIFY(f.resize(f.size() / 2));
        } else if (damage == "garbage") {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(16384, '\x5a'));
        }
        const QByteArray original = bytesOf(db);
        if (damage != "running")
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^store: .* is damaged"));
        configure(db);
        // Set aside at the open already, before anything is written.
        QCOMPARE(QDir(folder).entryList({"wordbook.db.damaged-*"}).size(), damage == "running" ? 0 : 1);
        if (damage == "running") {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(16384, '\x5a'));
        }
        const QByteArray damagedBytes = bytesOf(db);
        showApple();
        clickStar();
        QTRY_COMPARE(star(), QStringLiteral("★"));
        QVERIFY(holdsWord(db, "apple"));
        const QStringList aside = QDir(folder).entryList({"wordbook.db.damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(bytesOf(folder + "/" + aside.first()), damage == "running" ? damagedBytes : original);
        // Told once where the old file went.
        QTRY_COMPARE(noticealerts::shown().size(), 1);
        QVERIFY2(noticealerts::shown().first().contains(aside.first()), qPrintable(noticealerts::shown().first()));
    }

    void newerLayoutIsNeverWritten()
    {
        const QString folder = freshFolder();
        const QString db = folder + "/wordbook.db";
        writeFullBook(db);
        {
            SQLite::Database file(db.toStdString(), SQLite::OPEN_READWRITE);
            file.exec("ALTER TABLE WORDBOOK ADD COLUMN LEVEL TEXT");
        }
        const QByteArray before = bytesOf(db);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^store: .* newer layout"));
        configure(db);
        QVERIFY(MVWordBook::sharedInstance().hasWord("w1"));
        showApple();
        expectRefusal("更新");
        // No other write reaches it either.
        MVWordBook::sharedInstance().delWord("w1");
        MVWordBook::sharedInstance().addTag("group", {"w2"});
        MVWordBook::sharedInstance().waitForQueuedWork();
        QCOMPARE(bytesOf(db), before);
        QVERIFY(QDir(folder).entryList({"wordbook.db.*"}).isEmpty());
    }

    void readOnlyFolderLeavesTheStarEmpty()
    {
        const QString folder = freshFolder();
        const QString db = folder + "/wordbook.db";
        configure(db);
        std::unique_ptr<Tmpfs> mountPoint;
        if (::geteuid() == 0) {
            // Root writes through any mode bits: a read-only file system stands in.
            mountPoint = std::make_unique<Tmpfs>(folder, "size=1m,mode=0700");
            if (!mountPoint->ok)
                QSKIP("no tmpfs mount for root here");
            configure(db);
            QVERIFY(mountPoint->remount(MS_RDONLY, "size=1m,mode=0700"));
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        showApple();
        expectRefusal("没有权限");
        QVERIFY(!holdsWord(db, "apple"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The filled star of a stored word stays filled when the file refuses
    // the delete, with one alert that names the cause.
    void refusedDeleteKeepsTheStarFilled()
    {
        const QString folder = freshFolder();
        Tmpfs disk(folder, "size=1m,mode=0700");
        if (!disk.ok)
            QSKIP("a read-only file system needs root");
        const QString db = folder + "/wordbook.db";
        configure(db);
        showApple();
        clickStar();
        QTRY_COMPARE(star(), QStringLiteral("★"));
        QVERIFY(disk.remount(MS_RDONLY, "size=1m,mode=0700"));
        clickStar();
        QTRY_COMPARE(noticealerts::shown().size(), 1);
        QVERIFY2(noticealerts::shown().first().startsWith(QStringLiteral("单词没有从单词本删除：没有权限")),
                 qPrintable(noticealerts::shown().first()));
        MVWordBook::sharedInstance().waitForQueuedWork();
        QCoreApplication::processEvents();
        QCOMPARE(star(), QStringLiteral("★"));
        QVERIFY(holdsWord(db, "apple"));
        QVERIFY(MVWordBook::sharedInstance().hasWord("apple"));
    }

    void fullDiskLeavesTheStarEmptyUntilSpaceIsFreed()
    {
        const QString folder = freshFolder();
        Tmpfs disk(folder, "size=256k,mode=0700");
        if (!disk.ok)
            QSKIP("a small file system needs root");
        const QString db = folder + "/wordbook.db";
        configure(db);
        fill(folder + "/filler");
        showApple();
        expectRefusal("磁盘已满");
        // A second try while the alert is up adds no second alert.
        const int refused = g_refused;
        clickStar();
        QTRY_COMPARE(g_refused.load(), refused + 1);
        QCoreApplication::processEvents();
        QCOMPARE(noticealerts::shown().size(), 1);
        dismissAlerts();
        // Space freed: the next click works without a restart.
        QVERIFY(QFile::remove(folder + "/filler"));
        clickStar();
        QTRY_COMPARE(star(), QStringLiteral("★"));
        QVERIFY(holdsWord(db, "apple"));
        QVERIFY(noticealerts::shown().isEmpty());
    }

    // During a large import of our own (one transaction) a stored word
    // looked up showed its star empty, and the user was told that another
    // program held the book.
    void ownImportIsNotAnotherProgram()
    {
        const QString folder = freshFolder();
        configure(folder + "/wordbook.db");
        MVWordBook& book = MVWordBook::sharedInstance();
        showApple();
        clickStar();
        QTRY_COMPARE(star(), QStringLiteral("★"));
        QByteArray csv = "word\n";
        for (int i = 0; i < 200000; ++i)
            csv += "import" + QByteArray::number(i) + '\n';
        std::optional<bool> imported;
        book.importCsv(csv, this, [&](const WordBookImportOutcome& o) { imported = o.ok; });
        // A lookup meets the import's lock (the main thread's reads give up
        // at once) before the import is in.
        QTRY_VERIFY_WITH_TIMEOUT(imported || !book.hasWord("apple"), 60000);
        QVERIFY2(!imported, "the import ended before a lookup met its lock");
        js("document.getElementById('result') && (document.getElementById('result').innerHTML='')");
        page_->performQuery();
        QTRY_VERIFY_WITH_TIMEOUT(!star().isEmpty(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(imported.has_value(), 120000);
        QVERIFY(*imported);
        QTRY_COMPARE(star(), QStringLiteral("★"));
        QCoreApplication::processEvents();
        QVERIFY2(noticealerts::shown().isEmpty(), qPrintable(noticealerts::shown().join('|')));
    }

private:
    QString freshFolder()
    {
        const QString folder = QStringLiteral("%1/case%2").arg(env_->root()).arg(++cases_);
        QDir().mkpath(folder);
        return folder;
    }
    void configure(const QString& db)
    {
        MVWordBook::sharedInstance().configureWithDbPath(db, QUrl());
    }
    QVariant js(const QString& script)
    {
        auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
        page_->webView()->page()->runJavaScript(script, [state](const QVariant& v) {
            state->second = v;
            state->first = true;
        });
        if (!QTest::qWaitFor([&] { return state->first; }, 10000))
            qWarning("script did not answer: %s", qPrintable(script));
        return state->second;
    }
    QString star()
    {
        return js("(function(){var s=document.querySelector('[data-word=\"apple\"].wordbook-toggle');"
                  "return s?s.textContent:'';})()")
            .toString();
    }
    void clickStar() { js("document.querySelector('[data-word=\"apple\"].wordbook-toggle').click()"); }
    // The offline entry for "apple", its star empty.
    void showApple()
    {
        js("document.getElementById('result') && (document.getElementById('result').innerHTML='')");
        input_->setText("apple");
        page_->performQuery();
        QTRY_COMPARE_WITH_TIMEOUT(star(), QStringLiteral("☆"), 15000);
    }
    // A click that the file refuses: one alert naming the cause, the star empty.
    void expectRefusal(const char* cause)
    {
        const int refused = g_refused;
        clickStar();
        QTRY_VERIFY(g_refused > refused);
        const auto refusal = [] {
            for (const QString& t : noticealerts::shown())
                if (t.startsWith(QStringLiteral("单词没有加入单词本")))
                    return t;
            return QString();
        };
        QTRY_VERIFY(!refusal().isEmpty());
        QVERIFY2(refusal().contains(QString::fromUtf8(cause)), qPrintable(noticealerts::shown().join('|')));
        QCOMPARE(star(), QStringLiteral("☆"));
        QVERIFY(!MVWordBook::sharedInstance().hasWord("apple"));
    }
    void dismissAlerts()
    {
        for (int round = 0; round < 5 && !noticealerts::shown().isEmpty(); ++round)
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->objectName() == QLatin1String("MVAlertWindow"))
                    if (auto* b = w->findChildren<QPushButton*>().value(1))
                        b->click();
            }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::unique_ptr<TestEnv> env_;
    Owner owner_;
    MainViewController* page_ = nullptr;
    QLineEdit* input_ = nullptr;
    int cases_ = 0;
};

QTEST_MAIN(TestStarTruth)
#include "tst_star_truth.moc"
