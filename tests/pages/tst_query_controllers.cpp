// Controller logic of the lookup page's tabs against a fake page and the
// fake dictionary service: addresses, GET/POST boundaries, held answers,
// offline timers, error display and the spinner.
#include "FakePage.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/HistoryRecordingFlags.h"
#include "query/MVDictHistory.h"
#include "query/RequestData.h"
#include "query/controllers/BaikeQueryController.h"
#include "query/controllers/FanyiQueryController.h"
#include "query/controllers/LijuQueryController.h"
#include "query/controllers/MainQueryController.h"

#include "tst_query_controllers.h"

#include <QtTest>
#include <memory>

namespace {

ScriptedResponse json(const QByteArray& body)
{
    ScriptedResponse r;
    r.body = body;
    r.contentType = "application/json; charset=utf-8";
    return r;
}

void setReachable(bool reachable)
{
    Reachability::setShared(std::make_unique<FakeReachability>(reachable));
}

// Waits until the predicate holds, spinning the event loop.
bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    return QTest::qWaitFor(done, ms);
}

// Requests to one path; usage-log requests to the same service are ignored.
std::vector<RecordedRequest> waitForRequestsTo(FakeHttpService& service, const QString& path, int n)
{
    // The caller compares what arrived; a short list fails there, with its contents.
    (void)QTest::qWaitFor([&] { return int(service.requestsTo(path).size()) >= n; }, 5000);
    return service.requestsTo(path);
}

}  // namespace

TestQueryControllers::TestQueryControllers() = default;
TestQueryControllers::~TestQueryControllers() = default;

void TestQueryControllers::initTestCase()
{
    // One service for all cases: the network layer keeps connections alive,
    // and a service torn down under open connections waits for them.
    service_ = std::make_unique<FakeHttpService>();
}

void TestQueryControllers::cleanupTestCase()
{
    (void)service_.release();
}

void TestQueryControllers::init()
{
    env_ = std::make_unique<TestEnv>();
    service_->clearScripts();
    service_->clearRequests();
    UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
    setReachable(true);
    offlineWords_.clear();
    RequestData::setOfflineLookup([this](const QString& word, const QString& dict, int type, int) -> QVariant {
        offlineWords_ << QStringLiteral("%1:%2:%3").arg(word, dict).arg(type);
        if (word == "unknown")
            return QVariant();
        if (type == 2) {
            auto r = std::make_shared<FSearchResult>();
            r->title = word;
            return QVariant::fromValue(r);
        }
        auto r = std::make_shared<MainQueryResult>();
        r->title = word;
        r->simpleTrans = {QVariantMap{{"item", QVariantMap{{"trans", QString("苹果")}}}}};
        return QVariant::fromValue(r);
    });
    HistoryRecordingFlags::sharedInstance().applicationStarted();
    MVDictHistory::resetSharedInstance();
}

void TestQueryControllers::cleanup()
{
    RequestData::setOfflineLookup({});
    env_.reset();
}

void TestQueryControllers::reachabilityStartsFromTheProbe()
{
    setReachable(true);
    QVERIFY(MainQueryController().internetActive());
    setReachable(false);
    MainQueryController qc;
    QVERIFY(!qc.internetActive());
    static_cast<FakeReachability*>(Reachability::shared())->setReachable(true);
    QVERIFY(qc.internetActive());
}

void TestQueryControllers::serviceAddressesCarryTheLanguage()
{
    QVERIFY(!MainQueryController::mainQueryUrl("a b", "eng").contains("&le="));
    QVERIFY(MainQueryController::mainQueryUrl("a", "jap").endsWith("&le=jap"));
    QVERIFY(MainQueryController::mainQueryUrl("a", "").endsWith("&jsonversion=2"));
    QVERIFY(MainQueryController::suggestUrl("a", "eng").endsWith("&client=vorlane&le=eng"));
    QVERIFY(MainQueryController::fsearchUrl("a", "ko").endsWith("&le=ko"));
    QVERIFY(MainQueryController::mainQueryUrl("a&b", "eng").contains("q=a%26b&doctype=json&keyfrom=mac.main&id="));
}

void TestQueryControllers::typingSendsSuggestionsAndQuickResultAtOnce()
{
    service_->on("GET", "/suggest/minisuggest", json("<suggest/>"));
    service_->on("GET", "/fsearch", json("<mirvodict><return-phrase>apple</return-phrase></mirvodict>"));
    FakePage page;
    MainQueryController qc;
    qc.setPage(&page);
    qc.setSuggestionView(&page);
    qc.setLe("eng");
    qc.onSearchBoxChanged("apple");
    QCOMPARE(page.loads, QStringList{"result.html"});
    QCOMPARE(qc.lastQueryWord(), QString("apple"));
    waitForRequestsTo(*service_, "/fsearch", 1);
    const auto s = waitForRequestsTo(*service_, "/suggest/minisuggest", 1);
    QCOMPARE(int(s.size()), 1);
    QCOMPARE(s[0].queryValue("q"), QString("apple"));
    QCOMPARE(s[0].queryValue("le"), QString("eng"));
    QCOMPARE(service_->requestsTo("/fsearch").at(0).queryValue("keyfrom"), QString("mac.main"));
    QVERIFY(offlineWords_.isEmpty());
}

void TestQueryControllers::suggestionsStayParallelAndQuickResultShows()
{
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setSuggestionView(&page);
    qc.suggestHelper(QVariant(QByteArray("<suggest><items><item><explain>lost</explain></item>"
                                         "<item><title>apple</title><explain>n. 苹果</explain></item>"
                                         "</items></suggest>")));
    QCOMPARE(qc.suggestionLists()->titles, QStringList{"apple"});
    QCOMPARE(qc.suggestionLists()->rows, QStringList{"apple  n. 苹果"});
    QCOMPARE(page.tableHidden, 0);
    QCOMPARE(page.windowShows, 1);
    qc.suggestHelper(QVariant(QByteArray("<suggest><items/></suggest>")));
    QVERIFY(qc.suggestionLists()->titles.isEmpty());
    QCOMPARE(page.tableHidden, 1);
    // Bytes that are not UTF-8 change nothing.
    qc.suggestHelper(QVariant(QByteArray("\xff\xfe<suggest>")));
    QCOMPARE(page.tableHidden, 1);

    QFile f(QStringLiteral(SHARED_TEST_DATA "/query/fsearch.xml"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    qc.fsearchHelper(QVariant(f.readAll()));
    QCOMPARE(page.scripts.last(), QString("showSuggest();"));
    QVERIFY(!page.resultHtml.isEmpty());
    // A quick result without translations leaves "result" as it was.
    const QString before = page.resultHtml;
    qc.fsearchHelper(QVariant(QByteArray("<mirvodict><return-phrase>x</return-phrase></mirvodict>")));
    QCOMPARE(page.resultHtml, before);
}

void TestQueryControllers::emptyTextGoesHome()
{
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.onSearchBoxChanged(QString());
    QCOMPARE(page.scripts.value(0), QString("hideSuggest();"));
    QCOMPARE(page.loads, QStringList{"firstpage.html"});
    QVERIFY(!qc.hasLoadedResultWebView());
    page.finishLoad();
    page.loads.clear();
    qc.doQuery(QString());
    QCOMPARE(page.loads, QStringList{"firstpage.html"});
    QVERIFY(!page.spinner);
}

void TestQueryControllers::offlineTypingSearchesTheWordCurrentWhenTheTimerFires()
{
    setReachable(false);
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.onSearchBoxChanged("a");
    qc.onSearchBoxChanged("ap");
    QVERIFY(offlineWords_.isEmpty());
    QVERIFY(waitFor([&] { return offlineWords_.size() == 2; }));
    // Both timers fire after the second keystroke: both search "ap".
    QCOMPARE(offlineWords_, (QStringList{"ap:mvdict.idx:2", "ap:mvdict.idx:2"}));
    QVERIFY(service_->requestsTo("/jsonapi").empty());
}

void TestQueryControllers::fullEntryGoesAsGetBelow800EscapedCharactersElsePost()
{
    service_->on("*", "/jsonapi", json("{}"));
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setLe("eng");
    // "%" escapes to three characters: 266 of them and one letter = 799.
    const QString get = QString(266, '%') + "a";
    QCOMPARE(RequestData::escapeURL(get).size(), 799);
    qc.doQuery(get);
    QVERIFY(page.spinner);
    QCOMPARE(waitForRequestsTo(*service_, "/jsonapi", 1).at(0).method, QString("GET"));
    const QString post = QString(266, '%') + "ab";
    qc.doQuery(post);
    const RecordedRequest r = waitForRequestsTo(*service_, "/jsonapi", 2).at(1);
    QCOMPARE(r.method, QString("POST"));
    QCOMPARE(r.queryValue("q"), post);
    QCOMPARE(r.formFields().value(0).first, QString("q"));
    QCOMPARE(r.formFields().value(0).second, post);
    QCOMPARE(qc.lastQueryWord(), post);
}

void TestQueryControllers::usageEventGoesBeforeTheEntryRequest()
{
    // The two requests travel on connections of their own, so their arrival
    // alone proves nothing: this page, when the lookup prepares it, waits
    // until the usage event has reached the service. Sent first, it arrives
    // before the entry's request has even been made.
    struct SlowPage : FakePage {
        FakeHttpService* service = nullptr;
        bool eventArrived = false;
        void removeWelcomeOverlay() override
        {
            FakePage::removeWelcomeOverlay();
            eventArrived = QTest::qWaitFor([this] { return !service->requestsTo("/appapi/log").empty(); }, 2000);
        }
    };
    service_->on("GET", "/jsonapi", json("{}"));
    SlowPage page;
    page.service = service_.get();
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.doQuery("pear");
    QVERIFY(page.eventArrived);
    QVERIFY(service_->waitForRequests(2));
    QStringList paths;
    for (const RecordedRequest& r : service_->requests())
        paths << r.path;
    QCOMPARE(paths, (QStringList{"/appapi/log", "/jsonapi"}));
    QCOMPARE(service_->requests().at(0).queryValue("action"), QString("lookup_lookup"));
}

void TestQueryControllers::answersWaitForTheResultPage()
{
    FakePage page;
    MainQueryController qc;
    qc.setPage(&page);
    qc.mainQueryHelper(QVariant(QByteArray("{\"first\":1}")));
    qc.mainQueryHelper(QVariant(QByteArray("{\"second\":1}")));
    QVERIFY(qc.hasHeldResponse());
    QVERIFY(page.scripts.isEmpty());
    NotificationCenter::defaultCenter().post(MVDidFinishLoadResultWebViewNotification);
    QVERIFY(!qc.hasHeldResponse());
    // Only the latest answer is shown: one full-entry script sequence.
    QCOMPARE(page.scripts.count("$('.wt-container').first().removeClass('wt-collapse')"), 1);
}

void TestQueryControllers::failureBeforeLoadStopsSpinnerAndShowsTheError()
{
    FakePage page;
    MainQueryController qc;
    qc.setPage(&page);
    page.showLoadingIndicator();
    qc.mainQueryHelper(QVariant());
    QVERIFY(!page.spinner);
    NotificationCenter::defaultCenter().post(MVDidFinishLoadResultWebViewNotification);
    QVERIFY(page.resultHtml.contains("networkerr"));
}

void TestQueryControllers::networkErrorKeepsTheResultPageUsable()
{
    service_->on("GET", "/jsonapi", json("{\"ok\":1}"));
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    page.showLoadingIndicator();
    qc.mainQueryHelper(QVariant());
    QVERIFY(page.resultHtml.contains("很抱歉，目前无法连接服务器"));
    QVERIFY(!page.spinner);
    // The page still shows result.html: the next answer goes straight in.
    QVERIFY(qc.hasLoadedResultWebView());
    qc.doQuery("apple");
    QVERIFY(page.loads.isEmpty());
    QVERIFY(waitFor([&] { return page.scripts.contains("$('.wt-container').first().removeClass('wt-collapse')"); }));
    QVERIFY(!qc.hasHeldResponse());
}

void TestQueryControllers::offlineEntryIsRenderedAndSpinnerCleared()
{
    setReachable(false);
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.setDictType(0);
    qc.doQuery("apple");
    QCOMPARE(offlineWords_, QStringList{"apple:mvdict.idx:1"});
    QVERIFY(page.spinner);
    QVERIFY(waitFor([&] { return !page.spinner; }, 2000));
    QVERIFY(page.scripts.contains("initCollapse();"));
    QVERIFY(service_->requestsTo("/jsonapi").empty());
}

void TestQueryControllers::historyRowsCarryTheServiceAnswer()
{
    // Offline, the entry is shown but no row is written: a row would lack
    // the answer every history row keeps.
    setReachable(false);
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.doQuery("apple");
    QCOMPARE(offlineWords_, QStringList{"apple:mvdict.idx:1"});
    MVDictHistory::finishQueuedWork();
    MVDictHistory* history = MVDictHistory::sharedInstance();
    QVERIFY(history);
    QVERIFY(history->getDictHistory().isEmpty());
    // The same word from the service is recorded with that answer.
    const QByteArray answer = R"({"simple":{"word":[{"return-phrase":"apple"}]}})";
    service_->on("GET", "/jsonapi", json(answer));
    static_cast<FakeReachability*>(Reachability::shared())->setReachable(true);
    qc.doQuery("apple");
    QVERIFY(waitFor([&] {
        MVDictHistory::finishQueuedWork();
        return !history->getDictHistory().isEmpty();
    }));
    QCOMPARE(history->getDictHistory().front().displayWord, QString("apple"));
    QCOMPARE(history->jsonDefinition("apple"), QString::fromUtf8(answer));
}

void TestQueryControllers::unanswerableLookupsStopTheSpinner()
{
    setReachable(false);
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.doQuery("unknown");
    QVERIFY(!page.spinner);
    QVERIFY(page.resultHtml.contains("networkerr"));
    // Answers that cannot be read (not text, an error page) say so as well,
    // rather than leaving a blank page.
    for (const QByteArray& junk : {QByteArray("\xff\xfe\xfd"), QByteArray("<html>500</html>")}) {
        page.showLoadingIndicator();
        page.resultHtml.clear();
        qc.mainQueryHelper(QVariant(junk));
        QVERIFY(!page.spinner);
        QVERIFY(page.resultHtml.contains("networkerr"));
    }
}

void TestQueryControllers::returnDropsAnswersOfTheTypingItOvertook()
{
    // Typing's answers come late; Return's full entry comes at once.
    service_->on("GET", "/suggest/minisuggest",
                 ScriptedResponse(200, "<suggest><items><item><title>run</title></item></items></suggest>",
                                  "text/xml", {}, 300));
    service_->on("GET", "/fsearch", ScriptedResponse(200, "<mirvodict><return-phrase>run</return-phrase>"
                                                          "<custom-translation><translation><content>QUICK</content>"
                                                          "</translation></custom-translation></mirvodict>",
                                                     "text/xml", {}, 300));
    service_->on("GET", "/jsonapi", json(R"({"simple":{"word":[{"return-phrase":"run"}]}})"));
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setSuggestionView(&page);
    qc.setHasLoadedResultWebView(true);
    qc.onSearchBoxChanged("run");
    QVERIFY(service_->waitForRequests(2));
    qc.doQuery("run");
    QVERIFY(waitFor([&] { return page.html.size() >= 1; }));
    const QString entry = page.resultHtml;
    QTest::qWait(600);
    QCOMPARE(page.windowShows, 0);
    QCOMPARE(page.resultHtml, entry);
    QVERIFY(!entry.contains("QUICK"));

    // Offline, a keystroke's local search still pending when Return comes is moot.
    setReachable(false);
    MainQueryController offline;
    offline.setPage(&page);
    offline.setHasLoadedResultWebView(true);
    offlineWords_.clear();
    offline.onSearchBoxChanged("wal");
    offline.doQuery("walk");
    QTest::qWait(250);
    QCOMPARE(offlineWords_, QStringList{"walk:mvdict.idx:1"});
}

void TestQueryControllers::newLookupKeepsItsLoadingIndicator()
{
    service_->on("GET", "/jsonapi", [](const RecordedRequest& r) {
        ScriptedResponse a = json(R"({"simple":{"word":[{"return-phrase":"x"}]}})");
        if (r.queryValue("q") == "slow")
            a.delayMs = 1500;
        return a;
    });
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.setHasLoadedResultWebView(true);
    qc.doQuery("fast");
    QVERIFY(waitFor([&] { return page.html.size() >= 1; }));
    qc.doQuery("slow");
    QVERIFY(page.spinner);
    // The first answer's clean-up (0.5 s and 1.0 s) would have hidden it.
    QTest::qWait(1200);
    QVERIFY(page.spinner);
    QVERIFY(waitFor([&] { return !page.spinner; }, 4000));
}

void TestQueryControllers::failingQuickResultFallsBackOffline()
{
    service_->on("GET", "/fsearch", ScriptedResponse(500, "<html>Internal error</html>", "text/html"));
    FakePage page;
    page.url = "file:///res/pages/result.html";
    MainQueryController qc;
    qc.setPage(&page);
    qc.onSearchBoxChanged("pear");
    QVERIFY(waitFor([&] { return !page.resultHtml.isEmpty(); }));
    QVERIFY(offlineWords_.contains("pear:mvdict.idx:2"));
    QVERIFY(!page.resultHtml.contains("networkerr"));
    // Nothing offline either: the page says why it stays empty.
    qc.onSearchBoxChanged("unknown");
    QVERIFY(waitFor([&] { return page.resultHtml.contains("networkerr"); }));
}

void TestQueryControllers::queryWaitsWhileThePageLoads()
{
    service_->on("GET", "/jsonapi", json("{}"));
    FakePage page;
    page.loading = true;
    MainQueryController qc;
    qc.setPage(&page);
    qc.doQuery("pear");
    QVERIFY(page.loads.isEmpty());
    QVERIFY(service_->requestsTo("/jsonapi").empty());
    page.url = "file:///res/pages/result.html";
    page.finishLoad();
    QCOMPARE(waitForRequestsTo(*service_, "/jsonapi", 1).at(0).queryValue("q"), QString("pear"));
}

void TestQueryControllers::zoomStartsAtOneWhenNothingIsStored()
{
    FakePage page;
    MainQueryController qc;
    qc.setPage(&page);
    qc.loadResultPage();
    page.finishLoad();
    QVERIFY(page.scripts.contains("document.body.style.zoom=1.00"));
    UserDefaults::standard().setValue(MVWebViewZoomFactorKey, 1.21);
    qc.loadResultPage();
    QVERIFY(page.scripts.contains("document.body.style.zoom=1.21"));
    QCOMPARE(page.loads.size(), 1);  // already showing result.html
}

void TestQueryControllers::examplesRequestAndAnswer()
{
    service_->on("GET", "/jsonapi", json(R"({"blng_sents":{"sentence-pair":[{"sentence-eng":"Hi.","sentence-translation":"嗨。"}]}})"));
    FakePage page;
    page.url = "file:///res/pages/result.html";
    LijuQueryController qc;
    qc.setPage(&page);
    qc.setLe("jap");
    qc.setPageTabIndex(2);
    qc.doQuery("hi there");
    QVERIFY(page.spinner);
    const RecordedRequest r = waitForRequestsTo(*service_, "/jsonapi", 1).at(0);
    QCOMPARE(r.rawQuery.left(17), QByteArray("q=lj:hi%20there&d"));
    QStringList keys;
    for (const auto& kv : r.query)
        keys << kv.first;
    QCOMPARE(keys, (QStringList{"q", "doctype", "keyfrom", "id", "vendor", "appVer", "client", "le"}));
    QCOMPARE(r.queryValue("le"), QString("jap"));
    QVERIFY(waitFor([&] { return !page.spinner; }));
    QVERIFY(page.resultHtml.contains("嗨。"));
    QCOMPARE(page.scripts.mid(page.scripts.size() - 2), (QStringList{"scroll(0,0);", "goPageTab(2);"}));
}

void TestQueryControllers::examplesFailureAndJunk()
{
    FakePage page;
    page.url = "file:///res/pages/result.html";
    LijuQueryController qc;
    qc.setPage(&page);
    page.showLoadingIndicator();
    qc.ljQueryHelper(QVariant());
    QVERIFY(!page.spinner);
    QVERIFY(page.resultHtml.contains("networkerr"));
    page.showLoadingIndicator();
    qc.ljQueryHelper(QVariant(QByteArray("<html>oops</html>")));
    QCOMPARE(page.resultHtml, QString());  // emptied
    QVERIFY(page.scripts.contains("goPageTab(0);"));
    QVERIFY(!page.spinner);
    // Typing sends nothing; clearing shows the welcome picture.
    qc.onSearchBoxChanged("abc");
    QVERIFY(page.overlay.isEmpty());
    qc.onSearchBoxChanged(QString());
    QCOMPARE(page.overlay, QString("liju-"));
    QVERIFY(service_->requestsTo("/jsonapi").empty());
}

void TestQueryControllers::encyclopediaFetchesTheCounterpart()
{
    service_->on("GET", "/jsonapi", [](const RecordedRequest& r) {
        if (r.queryValue("q") == "bk:苹果")
            return json(R"({"input":"bk:苹果","baike_detail":{"title":"苹果","enword":"Apple"}})");
        return json(R"({"input":"bk:Apple","wikipedia":{"displaytitle":"Apple","zhword":"苹果"}})");
    });
    FakePage page;
    page.url = "file:///res/pages/result.html";
    BaikeQueryController qc;
    qc.setPage(&page);
    qc.doQuery("苹果");
    const auto reqs = waitForRequestsTo(*service_, "/jsonapi", 2);
    QVERIFY(waitFor([&] { return !page.spinner && page.resultHtml.contains("page-pane"); }));
    QCOMPARE(reqs.at(1).queryValue("q"), QString("bk:Apple"));
    QCOMPARE(reqs.at(0).queryValue("le"), QString("eng"));
    QVERIFY(reqs.at(0).queryValue("id").isEmpty());
    QVERIFY(qc.results().contains("zhword") && qc.results().contains("enword"));
    QVERIFY(page.scripts.contains("goPageTab(1);"));
}

void TestQueryControllers::encyclopediaCounterpartNamingNeitherLanguage()
{
    // The counterpart fills whichever key the first article left empty.
    for (const bool firstNamesEnglish : {true, false}) {
        service_->clearRequests();
        service_->on("GET", "/jsonapi", [firstNamesEnglish](const RecordedRequest& r) {
            if (r.queryValue("q") == "bk:first")
                return firstNamesEnglish ? json(R"({"baike_detail":{"title":"甲","enword":"second"}})")
                                         : json(R"({"wikipedia":{"displaytitle":"A","zhword":"second"}})");
            return json(R"({"wikipedia":{"displaytitle":"Neither"}})");
        });
        FakePage page;
        page.url = "file:///res/pages/result.html";
        BaikeQueryController qc;
        qc.setPage(&page);
        qc.doQuery("first");
        QVERIFY(waitFor([&] { return !page.spinner && page.spinnerShows == 1 && qc.results().size() == 2; }));
        QCOMPARE(qc.results().value(firstNamesEnglish ? "enword" : "zhword").toMap().value("title").toString(),
                 QString("Neither"));
        QVERIFY(page.scripts.contains(firstNamesEnglish ? "goPageTab(1);" : "goPageTab(0);"));
        // The article request: these keys, in this order, and no id or client.
        const RecordedRequest first = service_->requestsTo("/jsonapi").at(0);
        QStringList keys;
        for (const auto& kv : first.query)
            keys << kv.first;
        QCOMPARE(keys, (QStringList{"le", "q", "keyfrom", "doctype", "jsonversion", "vendor", "appVer"}));
        QVERIFY(first.rawQuery.startsWith("le=eng&q=bk:first&keyfrom=mac.main&doctype=json&jsonversion=2&vendor="));
    }
}

void TestQueryControllers::answersShowAboveTheWelcomePicture()
{
    // The result page's load finishes (and the page lays the welcome picture
    // over it, as its load handler does) before the answer is written.
    service_->on("GET", "/jsonapi", json(R"({"blng_sents":{"sentence-pair":[{"sentence-eng":"Run!"}]}})"));
    FakePage page;
    page.url = "file:///res/pages/firstpage.html";
    LijuQueryController qc;
    qc.setPage(&page);
    qc.doQuery("run");
    QVERIFY(waitFor([&] { return page.loading; }));
    page.showWelcomeOverlay("liju-");
    page.finishLoad();
    QVERIFY(page.resultHtml.contains("Run!"));
    QCOMPARE(page.overlay, QString());
}

void TestQueryControllers::encyclopediaSearchesWhenThereIsNoArticle()
{
    service_->on("GET", "/jsonapi", [](const RecordedRequest& r) {
        if (r.queryValue("q").startsWith("bksy:"))
            return json(R"({"baike_relative":{"items":[{"title":"Pearl"}]}})");
        return json(R"({"input":"bk:pearl"})");
    });
    FakePage page;
    page.url = "file:///res/pages/result.html";
    BaikeQueryController qc;
    qc.setPage(&page);
    qc.setScrollPosition(120);
    qc.doQuery("pearl");
    QCOMPARE(waitForRequestsTo(*service_, "/jsonapi", 2).at(1).queryValue("q"), QString("bksy:pearl"));
    QVERIFY(waitFor([&] { return page.resultHtml.contains("Pearl"); }));
    QVERIFY(!page.spinner);
}

void TestQueryControllers::encyclopediaSingleArticleRestoresScrollOnce()
{
    FakePage page;
    page.url = "file:///res/pages/result.html#";
    BaikeQueryController qc;
    qc.setPage(&page);
    qc.setScrollPosition(300);
    qc.bkQueryHelper(QVariant(QByteArray(R"({"wikipedia":{"displaytitle":"Tea"}})")));
    QVERIFY(page.loads.isEmpty());  // "result.html#" already counts as the result page
    QVERIFY(page.scripts.contains("scroll(0,300);"));
    QCOMPARE(qc.scrollPos(), 0);
    page.showLoadingIndicator();
    qc.bkQueryHelper(QVariant());
    QVERIFY(!page.spinner);
    QVERIFY(page.resultHtml.contains("networkerr"));
}

void TestQueryControllers::encyclopediaSuggestionsAreTitlesOnly()
{
    FakePage page;
    page.url = "file:///res/pages/result.html";
    BaikeQueryController qc;
    qc.setPage(&page);
    qc.setSuggestionView(&page);
    service_->on("GET", "/suggest", json("<x/>"));
    qc.onSearchBoxChanged("app");
    const RecordedRequest r = waitForRequestsTo(*service_, "/suggest", 1).at(0);
    QCOMPARE(r.queryValue("pro"), QString("baike"));
    QCOMPARE(r.queryValue("client"), QString("vorlane"));
    qc.onSearchBoxChanged(QString());
    QCOMPARE(page.overlay, QString("baike-"));
    qc.doQuery(QString());
    QVERIFY(page.resultHtml.contains("欢迎来到米沃百科"));
}

void TestQueryControllers::translationGetPostBoundaryAndDirection()
{
    service_->on("*", "/translate", json(R"({"translateResult":[[{"tgt":"A"}],[{"tgt":"B"}]]})"));
    FanyiQueryController qc;
    QString shown;
    qc.setTextView([&](const QString& t) { shown = t; });
    qc.setCurrentItemTag(7);
    qc.doQuery(QString(899, 'x'));
    QVERIFY(waitFor([&] { return !shown.isEmpty(); }));
    QCOMPARE(shown, QString("AB"));
    RecordedRequest r = service_->requestsTo("/translate").at(0);
    QCOMPARE(r.method, QString("GET"));
    QCOMPARE(r.queryValue("type"), QString("ZH_CN2EN"));
    QCOMPARE(r.queryValue("keyfrom"), QString("mac.fanyi"));

    shown.clear();
    qc.setCurrentItemTag(13);
    const QString long900 = QString(899, 'y') + "&";
    qc.doQuery(long900);
    QVERIFY(waitFor([&] { return !shown.isEmpty(); }));
    r = service_->requestsTo("/translate").at(1);
    QCOMPARE(r.method, QString("POST"));
    QVERIFY(!r.queryValue("id").isEmpty());
    QVERIFY(!r.queryValue("vendor").isEmpty());
    QVERIFY(r.queryValue("i").isEmpty());
    QStringList names;
    for (const auto& kv : r.formFields())
        names << kv.first;
    QCOMPARE(names, (QStringList{"i", "type", "doctype", "keyfrom", "ue", "xmlVersion"}));
    QCOMPARE(r.formFields().at(0).second, long900);
    QCOMPARE(r.formFields().at(1).second, QString("AUTO"));
    QCOMPARE(FanyiQueryController::typeForTag(0), QString("AUTO"));
    QCOMPARE(FanyiQueryController::typeForTag(12), QString("ZH_CN2SP"));
    // The boundary counts the text as typed: 899 "&" escape to 2,697 characters.
    shown.clear();
    qc.doQuery(QString(899, '&'));
    QVERIFY(waitFor([&] { return !shown.isEmpty(); }));
    QCOMPARE(service_->requestsTo("/translate").back().method, QString("GET"));
    QCOMPARE(service_->requestsTo("/translate").back().queryValue("i"), QString(899, '&'));
}

void TestQueryControllers::translationFailureSaysSorry()
{
    FanyiQueryController qc;
    QString shown;
    qc.setTextView([&](const QString& t) { shown = t; });
    // Unreachable is said as such, as the other tabs say it.
    qc.tranQueryHelper(QVariant());
    QCOMPARE(shown, QString("很抱歉，目前无法连接服务器，请检查您的网络连接。"));
    qc.tranQueryHelper(QVariant(QByteArray("not json")));
    QCOMPARE(shown, QString("抱歉，实在太长啦，让我喘口气"));
    qc.tranQueryHelper(QVariant(QByteArray("{}")));
    QCOMPARE(shown, QString());
}

QTEST_GUILESS_MAIN(TestQueryControllers)
