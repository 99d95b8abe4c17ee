// The main window controller with the real lookup page (web view and all)
// against the fake dictionary service, under a real X server: what only
// shows when the shell and the page meet.
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/controllers/QueryController.h"
#include "window/FrameSplitViewController.h"
#include "window/FrameWndController.h"
#include "window/MVSearchField.h"
#include "window/MVToolBarController.h"
#include "window/PageAdapters.h"
#include "window/SideBarViewController.h"
#include "window/pages/MainViewController.h"
#include "window/views/SmallViews.h"

#include <QFile>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

namespace {

ScriptedResponse json(const QByteArray& body)
{
    return ScriptedResponse(200, body, "application/json; charset=utf-8");
}

QByteArray fixture(const char* name)
{
    QFile f(testDataPath(QString::fromLatin1(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestWindowRealPages : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> service_;
    FrameWndController* frame_ = nullptr;
    MainViewController* page_ = nullptr;

    QVariant js(const QString& script)
    {
        auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
        page_->webView()->page()->runJavaScript(script, [state](const QVariant& v) {
            state->second = v;
            state->first = true;
        });
        (void)QTest::qWaitFor([&] { return state->first; }, 10000);
        return state->second;
    }
    QString result() { return js("document.getElementById('result') ? document.getElementById('result').innerHTML : ''").toString(); }
    bool overlayShows() const { return page_->visualContainerView() && page_->visualContainerView()->isVisible(); }
    bool showsLoaded(const char* file) const
    {
        return QUrl(page_->mainFrameUrl()).path().endsWith(QLatin1String(file)) && !page_->isLoading();
    }
    void goHome()
    {
        page_->changeQueryController(0);
        qobject_cast<QueryController*>(page_->currentQueryController())->onSearchBoxChanged(QString());
        QVERIFY(QTest::qWaitFor([&] { return showsLoaded("firstpage.html"); }, 15000));
    }

private slots:
    void initTestCase()
    {
        env_ = std::make_unique<TestEnv>();
        service_ = std::make_unique<FakeHttpService>();
        UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        // Every answer comes at once: the page load, not the network, is the slow part.
        service_->on("GET", "/jsonapi", [](const RecordedRequest& r) {
            const QString q = r.queryValue("q");
            if (q.startsWith("lj:"))
                return json(R"({"blng_sents":{"sentence-pair":[{"sentence-eng":"They run fast.","sentence-translation":"他们跑得快。"}]}})");
            if (q.startsWith("bk:"))
                return json(R"({"input":"bk:apple","wikipedia":{"displaytitle":"Apple","sections":[{"text":"An apple is a fruit."}]}})");
            return json(fixture("query/full_entry.json"));
        });
        frame_ = RealPages::createMainWindowController();
        frame_->awakeFromNib();
        frame_->window()->resize(720, 400);
        frame_->window()->show();
        page_ = static_cast<LookupPageAdapter*>(frame_->lookupPage())->page();
        QVERIFY(QTest::qWaitFor([&] { return showsLoaded("firstpage.html"); }, 20000));
    }

    void cleanupTestCase()
    {
        delete frame_;
        (void)service_.release();  // open keep-alive connections would hold its shutdown
    }

    void toolbarKeepsItsRedActiveOrNot()
    {
        QWidget* bar = MVToolBarController::sharedInstance().view();
        const QPoint background(2, bar->height() - 2);
        frame_->windowDidBecomeMain();
        QCOMPARE(bar->grab().toImage().pixelColor(background), mirvokRed());
        frame_->windowDidResignMain();
        QCOMPARE(bar->grab().toImage().pixelColor(background), mirvokRed());
        frame_->windowDidBecomeMain();
    }

    void sectionRowScrollsTheEntry()
    {
        frame_->chaciClick(QStringLiteral("run"));
        QVERIFY(QTest::qWaitFor([&] { return result().contains("id=\"webTrans\"") || result().contains("id='webTrans'"); }, 15000));
        SideBarViewController& list = FrameSplitViewController::sharedInstance().sideBarController();
        const int row = int(list.optionTitles().indexOf(QStringLiteral("释义")));
        QVERIFY(row >= 0);
        list.tableViewDidClickTableRow(list.sideBarView(), row);
        QVERIFY(QTest::qWaitFor([&] { return js("location.hash").toString() == "#webTrans"; }, 5000));
    }

    void encyclopediaTabKeepsItsArticle()
    {
        // From a result page, the tab reloads it and must query the fresh page.
        goHome();
        frame_->chaciClick(QStringLiteral("apple"));
        QVERIFY(QTest::qWaitFor([&] { return showsLoaded("result.html") && !result().isEmpty(); }, 15000));
        frame_->baikeClick();
        QVERIFY(QTest::qWaitFor([&] { return result().contains("An apple is a fruit."); }, 15000));
        QTest::qWait(300);
        QVERIFY(result().contains("An apple is a fruit."));
        QVERIFY(!overlayShows());
    }

    void examplesFromTheHomePageShowAboveTheWelcomePicture()
    {
        goHome();
        frame_->jumpToTab(1, QStringLiteral("run"));
        QVERIFY(QTest::qWaitFor([&] { return result().contains("他们跑得快。"); }, 15000));
        QTest::qWait(300);
        QVERIFY(!overlayShows());
    }
};

QTEST_MAIN(TestWindowRealPages)
#include "tst_window_real_pages.moc"
