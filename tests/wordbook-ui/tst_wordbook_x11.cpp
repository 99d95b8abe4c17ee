// The word book screen beside a real lookup page (web view under X11), the
// fake dictionary service and the fake word-book service.
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/MVDictHistory.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/FakeWordBookService.h"
#include "support/TestEnv.h"
#include "window/MVHUDWndController.h"
#include "window/ShellServices.h"
#include "window/pages/MainViewController.h"
#include "window/pages/ManagingViewController.h"
#include "wordbook-ui/MVWordBookCellView.h"
#include "wordbook-ui/RealWordBookShell.h"
#include "wordbook-ui/WordBookQueryController.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {
class SignedIn : public AccountServices {
public:
    bool hasLogined() const override { return true; }
};

QString resultHtml(MainViewController* page)
{
    auto state = std::make_shared<std::pair<bool, QString>>(false, QString());
    page->webView()->page()->runJavaScript(
        "document.getElementById('result') ? document.getElementById('result').innerHTML : ''",
        [state](const QVariant& v) {
            state->second = v.toString();
            state->first = true;
        });
    if (!QTest::qWaitFor([&] { return state->first; }, 10000))
        qWarning("the page did not answer");
    return state->second;
}
}  // namespace

class TestWordBookX11 : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> dict_;
    std::unique_ptr<FakeWordBookService> sync_;
    SignedIn account_;
    std::unique_ptr<MVWordBook> book_;
    std::unique_ptr<RealWordBookShell> shell_;
    QLineEdit* input_ = nullptr;
    MainViewController* page_ = nullptr;
    WordBookViewController* screen_ = nullptr;

private slots:
    void initTestCase()
    {
        env_ = std::make_unique<TestEnv>();
        dict_ = std::make_unique<FakeHttpService>();
        sync_ = std::make_unique<FakeWordBookService>();
        UserDefaults::standard().setValue(MVServiceHost, dict_->hostPort());
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        QFile entry(QStringLiteral(MIRVOK_TEST_DATA_DIR "/query/full_entry.json"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        // Late, so that the stored entry is seen first.
        dict_->on("GET", "/jsonapi", ScriptedResponse(200, entry.readAll(), "application/json", {}, 1500));
        ShellServices::setAccount(&account_);
        ManagingViewController::setWordBookControllerFactory(
            [](QObject* parent) -> QueryController* { return new WordBookQueryController(parent); });
        book_ = std::make_unique<MVWordBook>();
        book_->configureWithDbPath(env_->root() + "/wordbook.db", sync_->url());
        book_->didLoginWithUser("u");
        book_->addWord("run", "[rʌn]", "my stored line\\nsecond stored line");
        book_->waitForQueuedWork();
        input_ = new QLineEdit;
        page_ = new MainViewController;
        page_->setInput(input_);
        page_->resize(700, 500);
        page_->show();
        shell_ = std::make_unique<RealWordBookShell>([this] { return page_; });
        screen_ = new WordBookViewController(*book_, shell_.get());
        screen_->resize(228, 500);
        screen_->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen_));
        QTRY_VERIFY(screen_->currentListCount() > 0);  // read on the store's queue
    }
    void cleanupTestCase()
    {
        delete screen_;
        delete page_;
        delete input_;
        book_->waitForQueuedWork();
        book_.reset();
        ShellServices::setAccount(nullptr);
        (void)dict_.release();
        (void)sync_.release();
    }

    void rowClickShowsStoredThenFullEntry()
    {
        MVTableView* t = screen_->wordListTableView();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier,
                          t->visualRect(t->model()->index(0, 0)).center() - QPoint(40, 0));
        QTRY_VERIFY_WITH_TIMEOUT(resultHtml(page_).contains("fsearch"), 15000);
        QVERIFY(resultHtml(page_).contains("second stored line"));
        QTRY_VERIFY_WITH_TIMEOUT(resultHtml(page_).contains("entry-title"), 15000);
        const QString full = resultHtml(page_);
        // The service's entry, with the stored lines in place of its own.
        QVERIFY(full.contains("my stored line"));
        QVERIFY(full.contains("authTrans"));
        QCOMPARE(input_->text(), QStringLiteral("run"));
    }

    void syncButtonReportsSuccessAndFailure()
    {
        QLabel* hud = MVHUDWndController::sharedInstance().messageLabel();
        sync_->queueAnswer(FakeWordBookService::answer(
            0, "5", "5", FakeWordBookService::action("add", "walk", "走", "", 1400000000)));
        MVClickableView* button = screen_->syncBtn();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(hud->text(), QStringLiteral("同步成功"), 15000);
        QTRY_VERIFY(screen_->wordList().size() == 2);
        QCOMPARE(sync_->requests().size(), size_t(1));

        // The service is gone.
        hud->setText(QString());
        book_->configureWithDbPath(env_->root() + "/wordbook.db", QUrl("http://127.0.0.1:1/wordbook/api"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(hud->text(), QStringLiteral("同步失败"), 15000);
    }
};

QTEST_MAIN(TestWordBookX11)
#include "tst_wordbook_x11.moc"
