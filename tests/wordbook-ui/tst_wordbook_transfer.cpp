// Word book export and import: the files as other programs read them, the
// round trip into an empty book, merging, and nothing half-imported.
#include "ScreenFixture.h"
#include "support/GuiTestHelpers.h"

#include "window/MVAlertWndController.h"
#include "wordbook-ui/WBTransferController.h"

#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <sys/stat.h>

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Imports through the screen's controller and waits for what the user is told.
QList<QVariant> importAndWait(WordBookViewController& screen, const QString& path)
{
    QSignalSpy done(&screen.transfer(), &WBTransferController::importFinished);
    screen.transfer().importFromFile(path);
    if (done.isEmpty() && !done.wait(10000))
        return {};
    return done.takeFirst();
}

// Exports through the screen's controller; null when it says the file is
// written, else what it said.
QString exportAndWait(WordBookViewController& screen, const QString& path, const QString& group,
                      WBTransferController::Format format = WBTransferController::Format::Csv)
{
    QSignalSpy done(&screen.transfer(), &WBTransferController::exportFinished);
    screen.transfer().exportToFile(path, group, format);
    if (done.isEmpty() && !done.wait(10000))
        return QStringLiteral("no answer");
    const QList<QVariant> told = done.takeFirst();
    return told.value(0).toBool() ? QString() : QStringLiteral("failed: ") + told.value(1).toString();
}

// Another program (a backup, a database browser) holding the book locked.
struct BookHolder {
    QProcess sqlite;
    explicit BookHolder(const QString& db)
    {
        sqlite.start("sqlite3", {db});
        sqlite.write("BEGIN EXCLUSIVE;\nSELECT COUNT(*) FROM WORDBOOK;\n.print locked\n");
    }
    bool holds()
    {
        QByteArray said;
        return sqlite.waitForStarted() && QTest::qWaitFor([&] {
                   return (said += sqlite.readAllStandardOutput()).contains("locked");
               }, 10000);
    }
    void release()
    {
        sqlite.write("COMMIT;\n");
        sqlite.closeWriteChannel();
        sqlite.waitForFinished();
    }
    ~BookHolder()
    {
        if (sqlite.state() != QProcess::NotRunning) {
            sqlite.kill();
            sqlite.waitForFinished();
        }
    }
};

QProgressDialog* exportWait(QWidget& screen)
{
    for (auto* d : screen.findChildren<QProgressDialog*>())
        if (d->windowTitle() == QStringLiteral("导出单词本") && d->isVisible())
            return d;
    return nullptr;
}
}  // namespace

class TestWordBookTransfer : public QObject {
    Q_OBJECT
private slots:
    void menuOffersExportAndImport();
    void roundTripIntoAnEmptyBook();
    void ankiNotesTakeNoStructureFromTheText();
    void importMergesWithoutOverwriting();
    void badRowsAreNamedAndNothingIsImported();
    void aFailureHalfwayLeavesTheBookAsItWas();
    void formulaCellsOpenAsTextAndComeBackAsTheyWere();
    void aPipeOverTheLimitIsRefused();
    void aLargeFileIsReadWithoutStallingTheWindow();
    void aFileOfBadRowsKeepsACountNotAMessageARow();
    void aHeldBookNeitherFreezesNorLosesTheExport();
};

void TestWordBookTransfer::menuOffersExportAndImport()
{
    ScreenFixture f;
    QStringList titles;
    for (QAction* a : f.open().manageMenu()->actions())
        titles << a->text();
    QVERIFY(titles.contains(QStringLiteral("导出…")));
    QVERIFY(titles.contains(QStringLiteral("导入…")));
}

void TestWordBookTransfer::roundTripIntoAnEmptyBook()
{
    ScreenFixture f;
    wbclock::setNowForTesting([] { return QDateTime::fromString("2025-03-07T12:00:00Z", Qt::ISODate); });
    // Text a careless writer would break: separators, quotes, the store's
    // own escaping of apostrophes, several senses, Chinese.
    f.book->addWord("rock 'n' roll", "[rɒk ən rəʊl]", "n. 摇滚乐\\nadj. 摇滚的, \"经典\"");
    f.book->addWord("你好", "nǐ hǎo", "hello\\nhi");
    f.book->waitForQueuedWork();  // the date is taken when the queue writes
    wbclock::setNowForTesting([] { return QDateTime::fromString("2025-04-01T12:00:00Z", Qt::ISODate); });
    f.book->addWord("plain", QString(), "simple");
    f.book->waitForQueuedWork();
    wbclock::setNowForTesting(nullptr);
    QVERIFY(f.book->addWordTags({"Music, etc."}));
    QVERIFY(f.book->addTag("Music, etc.", {"rock 'n' roll"}));
    auto& screen = f.open();

    const QString all = f.env.root() + "/all.csv";
    QCOMPARE(exportAndWait(screen, all, MVWordBook::kAllWords), QString());
    const QByteArray csv = readFile(all);
    QVERIFY(csv.startsWith("\xEF\xBB\xBFword,phonetic,definition,group,date added\r\n"));
    QVERIFY2(csv.contains(QStringLiteral("rock 'n' roll,rɒk ən rəʊl,\"n. 摇滚乐\nadj. 摇滚的, \"\"经典\"\"\","
                                        "\"Music, etc.\",2025-03-07\r\n").toUtf8()), csv.constData());
    const QString group = f.env.root() + "/group.csv";
    QCOMPARE(exportAndWait(screen, group, "Music, etc."), QString());
    QCOMPARE(wordbooktransfer::fromCsv(readFile(group)).records.size(), 1);

    MVWordBook empty;
    empty.configureWithDbPath(f.env.root() + "/empty.db", QUrl());
    WordBookViewController second(empty, &f.shell);
    const QList<QVariant> told = importAndWait(second, all);
    QCOMPARE(told.value(0).toBool(), true);
    QCOMPARE(told.value(1).toString(), QStringLiteral("已导入 3 个单词"));
    QCOMPARE(empty.exportWords(QString()), f.book->exportWords(QString()));
    QCOMPARE(empty.getTags(), QStringList{"Music, etc."});
    QCOMPARE(empty.loadWordListWithCategory("Music, etc.", false), QStringList{"rock 'n' roll"});
    // What the second book writes is the file it read.
    QCOMPARE(exportAndWait(second, f.env.root() + "/again.csv", QString()), QString());
    QCOMPARE(readFile(f.env.root() + "/again.csv"), csv);
    empty.waitForQueuedWork();
}

void TestWordBookTransfer::ankiNotesTakeNoStructureFromTheText()
{
    const QByteArray anki = wordbooktransfer::toAnki(
        {{"a<b", "ə", "one\ntwo\tthree \"q\"", "", "2025-01-01"}, {"plain", "", "x", "G", ""}});
    QCOMPARE(anki, QByteArray("#separator:tab\n#html:true\n"
                              "a&lt;b [ə]\tone<br>two three &quot;q&quot;\n"
                              "plain\tx\n"));
}

void TestWordBookTransfer::importMergesWithoutOverwriting()
{
    ScreenFixture f;
    f.book->addWord("apple", "ˈæpl", "苹果");
    f.book->waitForQueuedWork();
    auto& screen = f.open();
    const QString path = f.env.root() + "/in.csv";
    // Columns in another order, a word in another case, a repeated row.
    writeFile(path, "group,word,definition\r\nFruit,APPLE,overwritten?\r\nFruit,pear,梨\r\n,pear,twice\r\n");
    const QList<QVariant> told = importAndWait(screen, path);
    QCOMPARE(told.value(1).toString(), QStringLiteral("已导入 1 个单词，2 个已在单词本中，保持不变"));
    const QList<WordBookRecord> now = f.book->exportWords(QString());
    QCOMPARE(now.size(), 2);
    QCOMPARE(now[0].word, QStringLiteral("apple"));
    QCOMPARE(now[0].definition, QStringLiteral("苹果"));
    QCOMPARE(now[0].group, QString());
    QCOMPARE(now[1].word, QStringLiteral("pear"));
    QCOMPARE(now[1].definition, QStringLiteral("梨"));
    QCOMPARE(f.book->loadWordListWithCategory("Fruit", false), QStringList{"pear"});
    QCOMPARE(f.listed().size(), 2);  // the screen shows what came in
}

void TestWordBookTransfer::badRowsAreNamedAndNothingIsImported()
{
    ScreenFixture f;
    auto& screen = f.open();
    const QString path = f.env.root() + "/bad.csv";
    // Line 3 holds a quoted line break, so rows and lines part ways.
    writeFile(path, "word,definition,date added\n"
                    "good,fine,2025-01-02\n"
                    "multi,\"first\nsecond\",2025-1-2\n"
                    ",no word,\n"
                    "late,x,2025-02-30\n"
                    "wide,x,2025-01-01,extra\n");
    const QList<QVariant> told = importAndWait(screen, path);
    QCOMPARE(told.value(0).toBool(), false);
    const QString message = told.value(1).toString();
    QVERIFY2(message.contains("第 5 行：没有单词"), qPrintable(message));
    QVERIFY2(message.contains("第 6 行：日期"), qPrintable(message));
    QVERIFY2(message.contains("第 7 行：有 4 列"), qPrintable(message));
    QVERIFY(!message.contains("第 2 行") && !message.contains("第 3 行"));
    QCOMPARE(MVAlertWndController::sharedInstance().alertMessageLabel()->text(), message);
    QVERIFY(f.book->exportWords(QString()).isEmpty());

    for (const QByteArray& broken : {QByteArray("word\n\"open,\n"), QByteArray("word\n\"a\"b\n"),
                                     QByteArray("word\n\xC4\xE3\xBA\xC3\n"), QByteArray("name,definition\nx,y\n")}) {
        const auto read = wordbooktransfer::fromCsv(broken);
        QVERIFY2(!read.errors.isEmpty(), broken.constData());
        QVERIFY(read.errors.first().startsWith(QStringLiteral("第 ")));
    }
    QCOMPARE(wordbooktransfer::fromCsv("word\n\xC4\xE3\n").errors, QStringList{"第 2 行：文件不是 UTF-8 编码"});
}

void TestWordBookTransfer::aFailureHalfwayLeavesTheBookAsItWas()
{
    ScreenFixture f;
    auto& screen = f.open();
    {
        // The store refuses the second word, as a full disk would.
        SQLite::Database db((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec("CREATE TRIGGER refuse BEFORE INSERT ON WORDBOOK WHEN NEW.WORD = 'boom' "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    const QString path = f.env.root() + "/in.csv";
    writeFile(path, "word,group\nfirst,New\nboom,New\nthird,\n");
    const QList<QVariant> told = importAndWait(screen, path);
    QCOMPARE(told.value(0).toBool(), false);
    QVERIFY(told.value(1).toString().contains(QStringLiteral("没有导入任何单词")));
    QVERIFY(f.book->exportWords(QString()).isEmpty());
    QVERIFY(f.book->getTags().isEmpty());
}

void TestWordBookTransfer::formulaCellsOpenAsTextAndComeBackAsTheyWere()
{
    ScreenFixture f;
    // What a spreadsheet would run, what merely looks like it, and words
    // that begin with apostrophes of their own (one before "=" too).
    const QStringList words = {"=HYPERLINK(\"http://x.invalid\",\"y\")", "=1+1", "+1+1", "-2+3", "@SUM(A1)",
                               "\tcmd", "'tis", "'=x", "''-y", "a=b", "  padded  "};
    for (const QString& w : words)
        f.book->addWord(w, "-ə", " -ing form, kept spaced ");
    f.book->waitForQueuedWork();
    QVERIFY(f.book->addWordTags({"=group"}));
    QVERIFY(f.book->addTag("=group", {"=1+1"}));
    const QList<WordBookRecord> stored = f.book->exportWords(QString());
    QCOMPARE(stored.size(), words.size());
    auto& screen = f.open();
    const QString path = f.env.root() + "/nasty.csv";
    QCOMPARE(exportAndWait(screen, path, MVWordBook::kAllWords), QString());
    const QByteArray csv = readFile(path);
    for (const char* line : {"\r\n\"'=HYPERLINK(\"\"http://x.invalid\"\",\"\"y\"\")\",'-ə,\" -ing form, kept spaced \",,",
                             "\r\n'=1+1,'-ə,\" -ing form, kept spaced \",'=group,", "\r\n'+1+1,", "\r\n'-2+3,",
                             "\r\n'@SUM(A1),", "\r\n\"'\tcmd\",", "\r\n'tis,", "\r\n''=x,", "\r\n'''-y,", "\r\na=b,",
                             "\r\n\"  padded  \","})
        QVERIFY2(csv.contains(line), line);

    MVWordBook empty;
    empty.configureWithDbPath(f.env.root() + "/empty.db", QUrl());
    WordBookViewController second(empty, &f.shell);
    QCOMPARE(importAndWait(second, path).value(0).toBool(), true);
    // The export lists words by the time they were added; the originals may
    // span several seconds, the imported ones share their day's start.
    const auto byWord = [](QList<WordBookRecord> records) {
        std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.word < b.word; });
        return records;
    };
    QCOMPARE(byWord(empty.exportWords(QString())), byWord(stored));
    empty.waitForQueuedWork();
}

void TestWordBookTransfer::aPipeOverTheLimitIsRefused()
{
    ScreenFixture f;
    auto& screen = f.open();
    // A FIFO states no size: only the bytes read can tell.
    const QString fifo = f.env.root() + "/in.csv";
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QProcess writer;
    writer.start("sh", {"-c", "{ printf 'word\\n'; head -c 70000000 /dev/zero | tr '\\0' 'a'; } > \"$0\"", fifo});
    QVERIFY(writer.waitForStarted());
    const QList<QVariant> told = importAndWait(screen, fifo);
    QCOMPARE(told.value(0).toBool(), false);
    QCOMPARE(told.value(1).toString(), QStringLiteral("导入失败：文件太大，不像是单词本文件"));
    writer.kill();
    writer.waitForFinished();
}

void TestWordBookTransfer::aLargeFileIsReadWithoutStallingTheWindow()
{
    ScreenFixture f;
    auto& screen = f.open();
    const QString path = f.env.root() + "/big.csv";
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QByteArray rows = "word,phonetic,definition,group,date added\r\n";
        for (int i = 0; i < 400000; ++i) {
            rows += "word" + QByteArray::number(i) + ",ˈwɜːd,\"n. 单词, 字\",Group " + QByteArray::number(i % 50) +
                    ",2025-03-07\r\n";
            if (rows.size() > (1 << 20)) {
                out.write(rows);
                rows.clear();
            }
        }
        // Read to the end, then refused: the whole file is checked.
        out.write(rows + "last,x,y,z,2025-02-30\r\n");
    }
    QSignalSpy done(&screen.transfer(), &WBTransferController::importFinished);
    QSignalSpy progress(&screen.transfer(), &WBTransferController::importProgress);
    guitest::LoopGapWatch gaps;
    QTimer::singleShot(0, &screen.transfer(), [&] { screen.transfer().importFromFile(path); });
    QVERIFY(done.wait(120000));
    const qint64 longest = gaps.stop();
    QCOMPARE(done.first().value(0).toBool(), false);
    QVERIFY2(done.first().value(1).toString().contains(QStringLiteral("第 400002 行：日期")),
             qPrintable(done.first().value(1).toString()));
    QVERIFY(progress.size() > 2);
    qInfo("longest wait of the event loop: %lld ms", longest);
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
}

// A few megabytes of rows without a word took a message each, gigabytes for
// a file under the size limit, while the user is shown eight.
void TestWordBookTransfer::aFileOfBadRowsKeepsACountNotAMessageARow()
{
    ScreenFixture f;
    auto& screen = f.open();
    const QString path = f.env.root() + "/nowords.csv";
    constexpr int kRows = 1500000;
    QByteArray rows = "word,definition\n";
    for (int i = 0; i < kRows; ++i)
        rows += ",x\n";
    writeFile(path, rows);
    rows.clear();
    rows.squeeze();
    const auto peakKb = [] {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return qint64(-1);
        for (const QByteArray& l : status.readAll().split('\n'))
            if (l.startsWith("VmHWM:"))
                return l.mid(6).trimmed().split(' ').value(0).toLongLong();
        return qint64(-1);
    };
    QFile reset("/proc/self/clear_refs");  // the peak starts again from here
    QVERIFY(reset.open(QIODevice::WriteOnly) && reset.write("5") == 1);
    reset.close();
    const qint64 before = peakKb();
    const QList<QVariant> told = importAndWait(screen, path);
    const qint64 grown = peakKb() - before;
    qInfo("peak grew %lld KB", grown);
    QCOMPARE(told.value(0).toBool(), false);
    const QString message = told.value(1).toString();
    QVERIFY2(message.startsWith(QStringLiteral("文件有误，没有导入任何单词：\n第 2 行：没有单词\n")), qPrintable(message));
    QVERIFY2(message.endsWith(QStringLiteral("第 9 行：没有单词\n……还有 1499992 处")), qPrintable(message.right(80)));
    // Freed blocks stay in the address sanitizer's quarantine.
    if (!MIRVOK_SANITIZED)
        QVERIFY2(grown < 50 * 1024, qPrintable(QString::number(grown)));
}

// While another program held the book the export froze the window for as
// long as the lock lasted, and the screen showed the empty book's page; a
// read that failed still wrote a file without the words and called it done.
void TestWordBookTransfer::aHeldBookNeitherFreezesNorLosesTheExport()
{
    ScreenFixture f;
    f.addWords({"kept", "words"});
    auto& screen = f.open();
    QCOMPARE(screen.wordList().size(), 2);
    const int defaultPages = f.shell.defaultPages;
    const QString path = f.env.root() + "/out.csv";
    writeFile(path, "an earlier export\n");
    auto* busy = screen.findChild<QLabel*>("wordBookBusyNotice");
    QVERIFY(busy && busy->isHidden());
    QSignalSpy done(&screen.transfer(), &WBTransferController::exportFinished);
    {
        BookHolder held(f.env.root() + "/wordbook.db");
        if (!held.holds())
            QSKIP("no sqlite3 here");
        guitest::LoopGapWatch gaps;
        // The list asked for again says the book is busy, and keeps its words.
        screen.showStoredList();
        QTRY_VERIFY_WITH_TIMEOUT(!busy->isHidden(), 15000);
        QCOMPARE(screen.wordList().size(), 2);
        QCOMPARE(f.shell.defaultPages, defaultPages);
        // The export shows that it waits, and can be cancelled.
        screen.transfer().exportToFile(path, MVWordBook::kAllWords, WBTransferController::Format::Csv);
        QTRY_VERIFY(exportWait(screen));
        QVERIFY(done.isEmpty());
        exportWait(screen)->findChild<QPushButton*>()->click();  // 取消
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.takeFirst().value(0).toBool(), false);
        screen.transfer().exportToFile(path, MVWordBook::kAllWords, WBTransferController::Format::Csv);
        QTRY_VERIFY(exportWait(screen));
        QVERIFY(done.isEmpty());
        QCOMPARE(readFile(path), QByteArray("an earlier export\n"));
        const qint64 longest = gaps.stop();
        QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
        held.release();
    }
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 15000);
    QCOMPARE(done.first().value(1).toString(), QStringLiteral("已导出 2 个单词"));
    QCOMPARE(wordbooktransfer::fromCsv(readFile(path)).records.size(), 2);
    QTRY_VERIFY(busy->isHidden());
    // The cancelled one wrote nothing and told nothing.
    f.settle();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(done.size(), 1);

    // A book that cannot be read is no export: the file stays as it was.
    const QByteArray exported = readFile(path);
    {
        SQLite::Database db((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec("DROP TABLE TAGTABLE");
    }
    QCOMPARE(exportAndWait(screen, path, MVWordBook::kAllWords),
             QStringLiteral("failed: 导出失败：无法读取单词本，没有写入文件"));
    QCOMPARE(readFile(path), exported);
}

QTEST_MAIN(TestWordBookTransfer)
#include "tst_wordbook_transfer.moc"
