#pragma once

#include "pages/FakePage.h"
#include "platform/UserDefaults.h"
#include "query/MVDictHistory.h"
#include "support/FakeWordBookService.h"
#include "support/TestEnv.h"
#include "window/ShellServices.h"
#include "wordbook-ui/WordBookQueryController.h"
#include "wordbook-ui/WordBookShell.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"
#include "wordbook/WordBookClock.h"

#include <QCoreApplication>
#include <QStringList>
#include <memory>

// The main window as the screen sees it: records what the screen asks and
// hands out a real word-book lookup controller over a page without a browser.
class FakeShell : public WordBookShell {
public:
    FakeShell()
    {
        controller.setPage(&page);
        page.url = QStringLiteral("file:///res/pages/result.html");
        controller.reloadResponseData();  // the result page has loaded
    }
    bool lookupPageIsCurrent() const override { return true; }
    bool isShowingWordBookView() const override { return showingWordBook; }
    void changeQueryController(int index) override { tab = index; }
    QObject* currentQueryController() const override
    {
        return tab == 4 ? const_cast<WordBookQueryController*>(&controller) : nullptr;
    }
    void doQuery(const QString& word) override { queries << QStringLiteral("history:") + word; }
    void doQueryAddHistory(const QString& word, bool add) override
    {
        queries << (add ? QStringLiteral("history:") : QStringLiteral("plain:")) + word;
    }
    void loadDefaultPage() override { ++defaultPages; }
    void showUserInfoPanel() override { ++userPanels; }
    QWidget* window() const override { return nullptr; }

    FakePage page;
    WordBookQueryController controller;
    int tab = 0;
    bool showingWordBook = true;
    QStringList queries;
    int defaultPages = 0;
    int userPanels = 0;
};

class FakeAccount : public AccountServices {
public:
    bool signedIn = false;
    int loginPanels = 0;
    bool hasLogined() const override { return signedIn; }
    void showLoginPanel() override { ++loginPanels; }
};

// A real word book over a temporary wordbook.db, the real query history of
// the test's data folder, the fake service and the screen.
struct ScreenFixture {
    TestEnv env;
    FakeWordBookService service;
    FakeAccount account;
    FakeShell shell;
    std::unique_ptr<MVWordBook> book;
    std::unique_ptr<WordBookViewController> screen;

    ScreenFixture()
    {
        MVDictHistory::resetSharedInstance();
        // Usage events go nowhere rather than to a name lookup.
        UserDefaults::standard().setValue(QStringLiteral("MVServiceHost"), QStringLiteral("127.0.0.1:9"));
        ShellServices::setAccount(&account);
        book = std::make_unique<MVWordBook>();
        book->configureWithDbPath(env.root() + QStringLiteral("/wordbook.db"), service.url());
    }
    ~ScreenFixture()
    {
        screen.reset();
        if (book)
            book->waitForQueuedWork();
        book.reset();
        ShellServices::setAccount(nullptr);
        wbclock::setNowForTesting(nullptr);
        MVDictHistory::resetSharedInstance();
    }
    MVDictHistory& history() { return *MVDictHistory::sharedInstance(); }

    // Words added on the given days ("yyyy-MM-dd"), through the facade.
    void addWords(const QStringList& words, const QString& day = QString())
    {
        if (!day.isEmpty())
            wbclock::setNowForTesting([day] { return QDateTime::fromString(day + "T12:00:00Z", Qt::ISODate); });
        for (const QString& w : words)
            book->addWord(w, QString(), QStringLiteral("def of ") + w);
        book->waitForQueuedWork();
        wbclock::setNowForTesting(nullptr);
    }
    // Every write asked for so far is in the file and its answer delivered,
    // and the lists those answers read again are shown (a write's answer
    // queues a read, whose answer may queue one more).
    void settle()
    {
        for (int round = 0; round < 3; ++round) {
            book->waitForQueuedWork();
            QCoreApplication::processEvents();
        }
    }
    WordBookViewController& open()
    {
        book->waitForQueuedWork();
        screen = std::make_unique<WordBookViewController>(*book, &shell);
        screen->resize(228, 600);
        settle();  // the first list is read on the store's queue
        return *screen;
    }
    // The favourites as listed once the reads asked for so far are shown.
    QStringList listed()
    {
        settle();
        QStringList out;
        for (qsizetype i = 0; i < screen->wordList().size(); ++i)
            out << screen->wordList().word(i).toString();
        return out;
    }
};
