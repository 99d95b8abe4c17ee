// Word book export and import: the files as other programs read them, the
// round trip into an empty book, merging, and nothing half-imported.
#include "ScreenFixture.h"

#include "window/MVAlertWndController.h"
#include "wordbook-ui/WBTransferController.h"

#include <QMenu>
#include <QSignalSpy>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>

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
    QVERIFY(screen.transfer().exportToFile(all, MVWordBook::kAllWords, WBTransferController::Format::Csv).isNull());
    const QByteArray csv = readFile(all);
    QVERIFY(csv.startsWith("\xEF\xBB\xBFword,phonetic,definition,group,date added\r\n"));
    QVERIFY2(csv.contains(QStringLiteral("rock 'n' roll,rɒk ən rəʊl,\"n. 摇滚乐\nadj. 摇滚的, \"\"经典\"\"\","
                                        "\"Music, etc.\",2025-03-07\r\n").toUtf8()), csv.constData());
    const QString group = f.env.root() + "/group.csv";
    QVERIFY(screen.transfer().exportToFile(group, "Music, etc.", WBTransferController::Format::Csv).isNull());
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
    QVERIFY(second.transfer().exportToFile(f.env.root() + "/again.csv", QString(), WBTransferController::Format::Csv)
                .isNull());
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

QTEST_MAIN(TestWordBookTransfer)
#include "tst_wordbook_transfer.moc"
