// Word book screen figures over 20,000 words (offscreen): opening the tab to
// the first row and its stored entry, switching group and sort, a row click,
// and the sync button to 2,000 received words listed. Medians of 10.
#include "pages/FakePage.h"
#include "platform/UserDefaults.h"
#include "support/FakeWordBookService.h"
#include "window/ShellServices.h"
#include "wordbook-ui/WordBookQueryController.h"
#include "wordbook-ui/WordBookShell.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>

namespace {
class BenchShell : public WordBookShell {
public:
    BenchShell()
    {
        controller.setPage(&page);
        page.url = QStringLiteral("file:///res/pages/result.html");
        controller.reloadResponseData();
    }
    bool lookupPageIsCurrent() const override { return true; }
    bool isShowingWordBookView() const override { return true; }
    void changeQueryController(int) override {}
    QObject* currentQueryController() const override { return const_cast<WordBookQueryController*>(&controller); }
    void doQuery(const QString&) override {}
    void doQueryAddHistory(const QString&, bool) override {}
    void loadDefaultPage() override {}
    void showUserInfoPanel() override {}
    QWidget* window() const override { return nullptr; }
    FakePage page;
    WordBookQueryController controller;
};

class SignedIn : public AccountServices {
public:
    bool hasLogined() const override { return true; }
};

MVSyncActionPtr action(const QString& word, int i)
{
    auto a = std::make_shared<MVSyncAction>();
    a->item = std::make_shared<MVWordBookItem>();
    a->item->word = word;
    a->item->phonetic = QStringLiteral("[fəˈnetɪk]");
    a->item->definition = QStringLiteral("n. 释义 %1\\nv. 第二行").arg(i);
    a->item->date = QStringLiteral("2020-%1-%2").arg(1 + i % 12, 2, 10, QLatin1Char('0')).arg(1 + i % 28, 2, 10, QLatin1Char('0'));
    a->item->time = QStringLiteral("2020-01-01 00:00:%1 +0000").arg(i % 60, 2, 10, QLatin1Char('0'));
    a->item->timeStamp = QString::number(i);
    a->item->tags = (i % 3) ? QStringLiteral(";g%1").arg(i % 7) : QString();
    a->isAdd = true;
    a->withWordInfo = true;
    return a;
}

qint64 median(QList<qint64> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

void report(const char* what, qint64 ms, const char* target)
{
    std::printf("%-52s %7lld ms   (target %s)\n", what, static_cast<long long>(ms), target);
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(v, dir.filePath(QString::fromLatin1(v)).toUtf8());
    UserDefaults::resetStandard();
    UserDefaults::standard().setValue(QStringLiteral("MVServiceHost"), QStringLiteral("127.0.0.1:9"));
    const QString path = dir.filePath("wordbook.db");
    FakeWordBookService service;
    SignedIn account;
    ShellServices::setAccount(&account);
    {
        MVWordBookDb db(path);
        SyncActionMap seed;
        for (int i = 0; i < 20000; ++i) {
            const QString w = QStringLiteral("word%1").arg(i);
            seed.insert(w, action(w, i));
        }
        db.commitSyncingActionList(seed, QStringLiteral("u"));
    }
    MVWordBook book;
    book.configureWithDbPath(path, service.url());
    book.didLoginWithUser(QStringLiteral("u"));
    BenchShell shell;

    QList<qint64> open, group, sort, click;
    QElapsedTimer t;
    for (int round = 0; round < 10; ++round) {
        t.start();
        WordBookViewController screen(book, &shell);
        screen.resize(228, 700);
        screen.show();
        screen.showParaphaseForFirstWord();
        open << t.elapsed();
        if (!shell.page.resultHtml.contains(QStringLiteral("fsearch")))
            std::printf("  (no stored entry shown)\n");
        t.restart();
        screen.changeSelectedGroupType(round % 2 ? QStringLiteral("g3") : QStringLiteral("所有单词"));
        group << t.elapsed();
        t.restart();
        screen.changeSortType(round % 2 ? QStringLiteral("按时间排序") : QStringLiteral("按字母排序"));
        sort << t.elapsed();
        t.restart();
        screen.rowClicked(round + 1, Qt::NoModifier);
        click << t.elapsed();
    }
    report("tab opened to first row and stored entry shown", median(open), "< 250 ms");
    report("group switch", median(group), "< 150 ms");
    report("sort switch", median(sort), "< 150 ms");
    report("row click to stored entry written", median(click), "< 10 ms");

    QList<qint64> sync;
    WordBookViewController screen(book, &shell);
    screen.show();
    for (int round = 0; round < 10; ++round) {
        QString actions;
        for (int i = 0; i < 2000; ++i)
            actions += FakeWordBookService::action(QStringLiteral("add"), QStringLiteral("r%1x%2").arg(round).arg(i),
                                                   QStringLiteral("释义"), QString(), 1400000000 + i);
        service.queueAnswer(FakeWordBookService::answer(0, QString::number(100 + round), QStringLiteral("1"), actions));
        const qsizetype before = screen.wordList().size();
        t.start();
        screen.syncBtnClickAction();
        while (screen.wordList().size() < before + 2000 && t.elapsed() < 30000)
            QTest::qWait(2);
        sync << t.elapsed();
        while (book.isSyncing())
            QTest::qWait(5);
    }
    report("sync button to 2,000 received words listed", median(sync), "< 1500 ms");
    book.waitForQueuedWork();
    ShellServices::setAccount(nullptr);
    return 0;
}
