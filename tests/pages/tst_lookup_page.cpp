// The lookup page with a real web view against the fake dictionary service:
// the page contract of the two pages, the framewnd bridge, held answers,
// zoom and back/forward.
#include "tst_lookup_page.h"

#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/controllers/BaseQueryController.h"
#include "query/controllers/LijuQueryController.h"
#include "query/controllers/MainQueryController.h"
#include "query/offline/OfflineDict.h"
#include "window/pages/HomePageContent.h"
#include "window/pages/MainViewController.h"
#include "window/pages/PageOwner.h"
#include "window/pages/PageWordBook.h"
#include "window/pages/WebPageHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>
#include <QtTest>

class RecordingOwner : public PageOwner {
public:
    MainViewController* page = nullptr;
    QStringList jumps;
    int chaci = 0;
    bool wordBook = false;
    bool fanyi = false;
    QList<bool> back, forward;

    void jumpToTab(int tab, const QString& text) override
    {
        jumps << QStringLiteral("%1:%2").arg(tab).arg(text);
        // What the main window does for a jump: switch and look up without history.
        if (page && tab != 2 && tab != 4) {
            page->changeQueryController(tab);
            page->doQuery(text, false);
        }
    }
    void chaciClick() override { ++chaci; }
    bool isShowingWordBookView() const override { return wordBook; }
    bool isShowingFanyiView() const override { return fanyi; }
    ManagingViewController* currentViewController() const override { return page; }
    void setToolbarBackEnabled(bool e) override { back << e; }
    void setToolbarForwardEnabled(bool e) override { forward << e; }
};

namespace {

QVariant js(MainViewController* page, const QString& script)
{
    // Shared with the callback: a script that answers after the wait gave up
    // must not write into a finished stack frame.
    auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    page->webView()->page()->runJavaScript(script, [state](const QVariant& v) {
        state->second = v;
        state->first = true;
    });
    if (!QTest::qWaitFor([&] { return state->first; }, 10000))
        qWarning("script did not answer: %s", qPrintable(script));
    return state->second;
}

QString resultHtml(MainViewController* page)
{
    return js(page, "document.getElementById('result') ? document.getElementById('result').innerHTML : ''").toString();
}

ScriptedResponse answer(const QByteArray& body, const QByteArray& type = "application/json; charset=utf-8")
{
    ScriptedResponse r;
    r.body = body;
    r.contentType = type;
    return r;
}

QByteArray sharedData(const char* name)
{
    QFile f(QStringLiteral(SHARED_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TestLookupPage::TestLookupPage() = default;
TestLookupPage::~TestLookupPage() = default;

void TestLookupPage::initTestCase()
{
    env_ = std::make_unique<TestEnv>();
    service_ = std::make_unique<FakeHttpService>();
    UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
    Reachability::setShared(std::make_unique<FakeReachability>(true));
    QDesktopServices::setUrlHandler("http", &urls_, "open");
    QDesktopServices::setUrlHandler("https", &urls_, "open");
    QDesktopServices::setUrlHandler("file", &urls_, "open");
    pagewordbook::setActions({[this](const QString& w, const QString& p, const QString& d,
                                     std::function<void(bool)> stored) {
                                  wordBookCalls_ << QStringLiteral("add|%1|%2|%3").arg(w, p, d);
                                  stored(true);
                              },
                              [this](const QString& w, std::function<void(bool)> removed) {
                                  wordBookCalls_ << "del|" + w;
                                  removed(true);
                              }});

    service_->on("GET", "/jsonapi", [](const RecordedRequest& r) {
        if (r.queryValue("q") == "bk:main page")
            return answer(R"({"wikipedia":{"share":{"des":"Fresh \"summary\""},"thumbnail":"http://img.example/t.jpg?x=1"}})");
        if (r.queryValue("q").startsWith("lj:"))
            return answer(R"({"blng_sents":{"sentence-pair":[{"sentence-eng":"I ate an apple.","sentence-translation":"我吃了一个苹果。"}]}})");
        if (r.queryValue("q").startsWith("bk:"))
            return answer(R"({"input":"bk:apple","wikipedia":{"displaytitle":"Apple","sections":[{"text":"An apple is a fruit.","line":"Intro","toclevel":1}]}})");
        if (r.queryValue("q") == "broken")
            return answer("", "text/plain");
        return answer(sharedData("query/full_entry.json"));
    });
    service_->on("GET", "/infoline", answer(R"({"list":[{"type":"每日一句","title":"Say \"hi\"</script>","summary":"说嗨"}]})"));
    service_->on("GET", "/suggest/minisuggest",
                 answer("<suggest><items><item><title>apple</title><explain>n. 苹果</explain></item></items></suggest>",
                        "text/xml"));
    service_->on("GET", "/fsearch", answer(sharedData("query/fsearch.xml"), "text/xml"));
    service_->on("GET", "/voice.mp3", answer(QByteArray(64, '\0'), "audio/mpeg"));
    service_->on("GET", "/plain.html", answer("<html><body>remote</body></html>", "text/html"));

    input_ = new QLineEdit;
    owner_ = std::make_unique<RecordingOwner>();
    page_ = new MainViewController;
    owner_->page = page_;
    page_->setOwner(owner_.get());
    page_->setInput(input_);
    page_->resize(800, 600);
    page_->show();
}

void TestLookupPage::cleanupTestCase()
{
    delete page_;
    delete input_;
    (void)service_.release();  // open keep-alive connections would hold its shutdown
}

void TestLookupPage::waitForResultPage()
{
    QVERIFY(QTest::qWaitFor([&] { return page_->mainFrameUrl().endsWith("result.html") && !page_->isLoading(); },
                            15000));
}

void TestLookupPage::homePageShowsCachedThenFreshContent()
{
    QSignalSpy shown(page_->homePageContent(), &HomePageContent::contentShown);
    if (!page_->mainFrameUrl().endsWith("firstpage.html") || page_->isLoading()) {
        QVERIFY(QTest::qWaitFor([&] { return shown.count() >= 1; }, 20000));
    } else {
        page_->loadResourcePage("firstpage.html");
        QVERIFY(shown.wait(20000));
    }
    // The built-in content at once, then the fresh content once both answers are in.
    QVERIFY(QTest::qWaitFor([&] { return shown.count() >= 2; }, 10000));
    const QList<QVariant> fresh = shown.last();
    QCOMPARE(fresh.at(1).toString(), QString("Fresh \"summary\""));
    QCOMPARE(fresh.at(2).toString(), QString("http://img.example/t.jpg?x=1&w=280"));
    QCOMPARE(UserDefaults::standard().stringValue("WikipediaDefault"), QString("Fresh \"summary\""));
    // Quotes and markup in the daily line survive as data, not as script.
    QVERIFY(QTest::qWaitFor([&] { return js(page_, "document.getElementById('daily-sen').textContent").toString()
                                         == "Say \"hi\"</script>"; }, 5000));
    QCOMPARE(js(page_, "document.getElementById('wiki-summary').textContent").toString(), QString("Fresh \"summary\""));
    // No banner text hides both banner elements.
    QCOMPARE(js(page_, "document.getElementById('operation_href').style.display").toString(), QString("none"));
    UserDefaults::standard().setValue(operation_text, "新版本 'quoted'");
    UserDefaults::standard().setValue(operation_link, "http://www.example/a?b='c'");
    page_->doUpdateOperationInfo();
    QVERIFY(QTest::qWaitFor([&] { return js(page_, "document.getElementById('operation_href').innerText").toString()
                                         == "新版本 'quoted'"; }, 5000));
    QCOMPARE(js(page_, "document.getElementById('operation_spider').style.display").toString(), QString("inline"));
}

void TestLookupPage::typingAndReturnFillTheResultPage()
{
    auto* qc = qobject_cast<MainQueryController*>(page_->queryControllers().at(0));
    page_->changeQueryController(0);
    service_->clearRequests();
    input_->setText("apple");
    qc->onSearchBoxChanged("apple");
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/fsearch").empty()
                                         && !service_->requestsTo("/suggest/minisuggest").empty(); }, 5000));
    waitForResultPage();
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("喂"); }, 10000));
    QCOMPARE(page_->suggestTitleList(), QStringList{"apple"});
    QCOMPARE(page_->suggestionModel()->rowCount(), 1);

    page_->performQuery();
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/jsonapi").empty(); }, 5000));
    QCOMPARE(service_->requestsTo("/jsonapi").back().queryValue("q"), QString("apple"));
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("奔跑"); }, 10000));
    // The result page's own functions and anchors are there for the application.
    QCOMPARE(js(page_, "typeof hideSuggest + typeof showSuggest + typeof initCollapse + typeof goPageTab"
                       " + typeof wikipediaSetImgSrc + typeof $").toString(),
             QString("functionfunctionfunctionfunctionfunctionfunction"));

    // The entry's star adds the word through the bridge, and a second click removes it.
    wordBookCalls_.clear();
    js(page_, "document.querySelector('[data-wordbook-add]').click()");
    QVERIFY(QTest::qWaitFor([&] { return wordBookCalls_.size() == 1; }, 5000));
    QVERIFY(wordBookCalls_.first().startsWith("add|run|"));
    QVERIFY2(wordBookCalls_.first().endsWith("|v. 跑；奔跑\nn. 跑步\n"), qPrintable(wordBookCalls_.first()));
    QCOMPARE(js(page_, "document.querySelector('[data-wordbook-add]').textContent").toString(), QString("★"));
    js(page_, "document.querySelector('[data-wordbook-add]').click()");
    QVERIFY(QTest::qWaitFor([&] { return wordBookCalls_.size() == 2; }, 5000));
    QCOMPARE(wordBookCalls_.at(1), QString("del|run"));
    // The first web-translation block is open, also after the page clean-up,
    // and folds on a click on its toggle.
    const QString firstCollapsed = "document.querySelector('.wt-container').classList.contains('wt-collapse')";
    QVERIFY(QTest::qWaitFor([&] { return js(page_, "!!document.querySelector('.wt-container')").toBool()
                                         && !js(page_, firstCollapsed).toBool(); }, 5000));
    QTest::qWait(1200);
    QVERIFY(!js(page_, firstCollapsed).toBool());
    js(page_, "document.querySelector('.wt-container .wt-toggle').click()");
    QVERIFY(js(page_, firstCollapsed).toBool());
}

void TestLookupPage::failedLookupShowsTheErrorAndStopsTheSpinner()
{
    QSignalSpy spinner(page_, &MainViewController::loadingIndicatorChanged);
    page_->changeQueryController(0);
    page_->doQuery("broken");
    // An empty body is an answer, not a failure: point the next lookup at a dead port.
    QVERIFY(QTest::qWaitFor([&] { return spinner.count() >= 2; }, 10000));
    UserDefaults::standard().setValue(MVServiceHost, "127.0.0.1:9");
    page_->doQuery("qzxvbnq");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("networkerr"); }, 15000));
    QCOMPARE(spinner.last().at(0).toBool(), false);
    // A word the shipped dictionary knows is answered from it instead.
    page_->doQuery("pear");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("entry-offline"); }, 15000));
    QVERIFY(!resultHtml(page_).contains("networkerr"));
    UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
    // The page is still the result page: the next entry shows without a reload.
    page_->doQuery("apple");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("奔跑"); }, 10000));
}

void TestLookupPage::examplesAndEncyclopediaRender()
{
    waitForResultPage();
    page_->changeQueryController(1);
    page_->doQuery("apple");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("我吃了一个苹果。"); }, 10000));
    QCOMPARE(service_->requestsTo("/jsonapi").back().queryValue("q"), QString("lj:apple"));
    page_->changeQueryController(3);
    page_->doQuery("apple");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("An apple is a fruit."); }, 10000));
    QCOMPARE(service_->requestsTo("/jsonapi").back().queryValue("q"), QString("bk:apple"));
    // The example-sentence tab's welcome picture covers the page when the text is cleared.
    page_->changeQueryController(1);
    qobject_cast<LijuQueryController*>(page_->queryControllers().at(1))->onSearchBoxChanged(QString());
    QVERIFY(page_->visualContainerView() && page_->visualContainerView()->isVisible());
    page_->changeQueryController(0);
    page_->doQuery("apple");
    QVERIFY(!page_->visualContainerView());
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("奔跑"); }, 10000));
}

void TestLookupPage::offlineLookupUsesTheShippedDictionary()
{
    waitForResultPage();
    OfflineDict::install();
    auto* reach = static_cast<FakeReachability*>(Reachability::shared());
    reach->setReachable(false);
    struct Restore {
        FakeReachability* r;
        ~Restore() { r->setReachable(true); }
    } restore{reach};
    auto* qc = qobject_cast<MainQueryController*>(page_->queryControllers().at(0));
    page_->changeQueryController(0);
    service_->clearRequests();
    js(page_, "document.getElementById('result').innerHTML=''");
    qc->onSearchBoxChanged("apple");
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("苹果"); }, 5000));
    js(page_, "document.getElementById('result').innerHTML=''");
    input_->setText("apple");
    page_->performQuery();
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("苹果"); }, 5000));
    for (const RecordedRequest& r : service_->requestsTo("/jsonapi"))
        QVERIFY(r.queryValue("q") != "apple");
    QVERIFY(service_->requestsTo("/fsearch").empty());
}

void TestLookupPage::bridgeReachesTheApplication()
{
    waitForResultPage();
    page_->changeQueryController(0);
    service_->clearRequests();
    owner_->jumps.clear();
    js(page_, "framewnd.doQuery('pear')");
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/jsonapi").empty(); }, 5000));
    QCOMPARE(service_->requestsTo("/jsonapi").back().queryValue("q"), QString("pear"));
    QCOMPARE(input_->text(), QString("pear"));

    js(page_, "framewnd.goTab('liju', 42, 1)");
    QVERIFY(QTest::qWaitFor([&] { return !owner_->jumps.isEmpty(); }, 5000));
    QCOMPARE(owner_->jumps.first(), QString("1:42"));
    QCOMPARE(page_->pageTabIndex(), qint64(1));
    page_->changeQueryController(0);

    urls_.opened.clear();
    js(page_, "framewnd.goURL('file:///etc/passwd'); framewnd.goURL('javascript:alert(1)');"
              "framewnd.goURL('http://www.example/a b')");
    QVERIFY(QTest::qWaitFor([&] { return !urls_.opened.isEmpty(); }, 5000));
    QTest::qWait(200);
    QCOMPARE(urls_.opened.size(), 1);
    QCOMPARE(urls_.opened.first().toString(QUrl::FullyEncoded), QString("http://www.example/a%20b"));

    wordBookCalls_.clear();
    js(page_, "framewnd.addToWordBook('apple', 'n. 苹果', '[ˈæpl]'); framewnd.removeFromWordBook('pear')");
    QVERIFY(QTest::qWaitFor([&] { return wordBookCalls_.size() == 2; }, 5000));
    QCOMPARE(wordBookCalls_.at(0), QString("add|apple|[ˈæpl]|n. 苹果"));
    QCOMPARE(wordBookCalls_.at(1), QString("del|pear"));

    js(page_, QStringLiteral("framewnd.playAudio('ftp://x/y.mp3'); framewnd.playAudio('%1/voice.mp3')")
                  .arg(service_->baseUrl()));
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/voice.mp3").empty(); }, 5000));

    // Seven entries and nothing else of the native object reaches page script.
    const QString names = js(page_, "Object.keys(framewnd).sort().join(',')").toString();
    QCOMPARE(names, QString("addToWordBook,doLog,doQuery,goTab,goURL,playAudio,removeFromWordBook"));
    // Nor does a script that opens the channel itself find more methods.
    js(page_, "window.__methods = null; new QWebChannel(qt.webChannelTransport, function (c) {"
              " var o = c.objects.framewnd; window.__methods = Object.keys(o).filter(function (k) {"
              " return typeof o[k] === 'function' && !o[k].connect; }).sort().join('|'); })");
    QVERIFY(QTest::qWaitFor([&] { return js(page_, "window.__methods").isValid(); }, 5000));
    QStringList callable = js(page_, "window.__methods").toString().split('|');
    callable.removeIf([](const QString& m) { return m.contains('('); });
    QCOMPARE(callable.join(','), QString("addToWordBook,deleteLater,doLog,doQuery,goTab,goURL,playAudio,"
                                          "propertyUpdate,removeFromWordBook,signalEmitted,unwrapProperties,"
                                          "unwrapQObject"));
    // The one inherited slot there, deleteLater, leaves the bridge in place.
    js(page_, "new QWebChannel(qt.webChannelTransport, function (c) { c.objects.framewnd.deleteLater(); })");
    QTest::qWait(300);
    service_->clearRequests();
    js(page_, "framewnd.doQuery('plum')");
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/jsonapi").empty(); }, 5000));
}

void TestLookupPage::bridgeOnlyOnOurOwnPages()
{
    page_->pageHost()->load(QUrl(service_->baseUrl() + "/plain.html"));
    QVERIFY(QTest::qWaitFor([&] { return page_->mainFrameUrl().endsWith("plain.html") && !page_->isLoading(); },
                            15000));
    QCOMPARE(js(page_, "typeof framewnd + ':' + (typeof qt === 'undefined' ? 'none' : typeof qt.webChannelTransport)")
                 .toString(),
             QString("undefined:none"));
    page_->loadResourcePage("result.html");
    waitForResultPage();
    QVERIFY(QTest::qWaitFor([&] { return js(page_, "typeof framewnd").toString() == "object"; }, 5000));
}

void TestLookupPage::zoomStaysWithinItsLimits()
{
    waitForResultPage();
    UserDefaults::standard().setValue(MVWebViewZoomFactorKey, QVariant());
    js(page_, "document.body.style.zoom=''");
    auto zoomNow = [&] { return js(page_, "document.body.style.zoom").toString(); };
    auto zoom = [&](float f, const QString& expect) {
        page_->zoomWebViewWithFactor(f);
        return QTest::qWaitFor([&] { return zoomNow() == expect; }, 5000);
    };
    QVERIFY(zoom(1.1f, "1.1"));
    QCOMPARE(UserDefaults::standard().doubleValue(MVWebViewZoomFactorKey), double(1.1f));
    QVERIFY(zoom(0.9f, "0.99"));
    page_->zoomWebViewWithFactor(0.9f);
    QTest::qWait(300);
    QCOMPARE(zoomNow(), QString("0.99"));
    js(page_, "document.body.style.zoom='1.75'");
    QVERIFY(zoom(1.1f, "1.93"));
    page_->zoomWebViewWithFactor(1.1f);
    QTest::qWait(300);
    QCOMPARE(zoomNow(), QString("1.93"));
}

void TestLookupPage::backAndForwardWalkAcrossTabs()
{
    waitForResultPage();
    page_->changeQueryController(0);
    page_->doQuery("first");
    page_->changeQueryController(1);
    page_->doQuery("second");
    owner_->jumps.clear();
    owner_->back.clear();
    page_->backClick();
    QCOMPARE(owner_->jumps, QStringList{"0:first"});
    QCOMPARE(page_->getQueryControllerTag(), 0);
    QVERIFY(!owner_->forward.isEmpty() && owner_->forward.last());
    owner_->jumps.clear();
    page_->forwardClick();
    QCOMPARE(owner_->jumps, QStringList{"1:second"});
    QCOMPARE(input_->text(), QString("second"));
    QVERIFY(!owner_->forward.last());
}

void TestLookupPage::languagePairsAndReturnRules()
{
    waitForResultPage();
    auto base = [&](int i) { return qobject_cast<BaseQueryController*>(page_->queryControllers().at(i)); };
    page_->changeQueryController(0);
    input_->setText("neko");
    page_->languageButtonSelectionChanged(1);
    for (int i : {0, 1, 4}) {
        QCOMPARE(base(i)->dict(), QString("cj"));
        QCOMPARE(base(i)->another_dict(), QString("jc"));
        QCOMPARE(base(i)->le(), QString("jap"));
        QCOMPARE(base(i)->dictType(), qint64(1));
    }
    QVERIFY(!base(2) && !base(3));
    // Other /jsonapi requests (the home page's encyclopedia pick) may arrive
    // after ours, so look for it among all of them rather than the last.
    QVERIFY(QTest::qWaitFor([&] {
        for (const auto& r : service_->requestsTo("/jsonapi"))
            if (r.queryValue("q") == "neko" && r.queryValue("le") == "jap") return true;
        return false;
    }, 5000));
    // An index without a pair only changes the dictionary type.
    page_->mapIndexToValue(7);
    QCOMPARE(base(0)->le(), QString("jap"));
    QCOMPARE(base(0)->dictType(), qint64(7));

    // On the encyclopedia tab neither Return nor the language menu touch the pair.
    page_->changeQueryController(3);
    page_->mapIndexToValue(2);
    page_->languageButtonSelectionChanged(0);
    QCOMPARE(page_->selectedLanguageItemIndex(), qint64(1));
    input_->setText("tea");
    page_->performQuery();
    QCOMPARE(base(0)->le(), QString("ko"));

    // Return while the translation page shows switches to the lookup tab instead.
    owner_->fanyi = true;
    owner_->chaci = 0;
    page_->performQuery();
    QCOMPARE(owner_->chaci, 1);
    owner_->fanyi = false;
    page_->changeQueryController(0);
    page_->languageButtonSelectionChanged(0);
    QCOMPARE(base(0)->le(), QString("eng"));
}

void TestLookupPage::loadsPostTheirNotifications()
{
    int first = 0, result = 0;
    QObject context;
    auto& nc = NotificationCenter::defaultCenter();
    nc.addObserver(MVDidFinishLoadFirstWebViewNotification, &context, [&](const Notification&) { ++first; });
    nc.addObserver(MVDidFinishLoadResultWebViewNotification, &context, [&](const Notification&) { ++result; });
    page_->loadResourcePage("firstpage.html");
    QVERIFY(QTest::qWaitFor([&] { return first == 1; }, 15000));
    QCOMPARE(result, 0);
    page_->setShouldLoadDefaultPage(true);
    page_->loadResourcePage("result.html");
    QVERIFY(QTest::qWaitFor([&] { return result == 1; }, 15000));
    QCOMPARE(first, 1);
    QVERIFY(QTest::qWaitFor([&] { return resultHtml(page_).contains("wbbackgroundt"); }, 5000));
    QVERIFY(!page_->shouldLoadDefaultPage());
    // The home page's link to the encyclopedia's main page becomes a jump to that tab.
    page_->loadResourcePage("firstpage.html");
    QVERIFY(QTest::qWaitFor([&] { return first == 2; }, 15000));
    owner_->jumps.clear();
    js(page_, "document.querySelector('a[href^=\"baike:\"]').click()");
    QVERIFY(QTest::qWaitFor([&] { return owner_->jumps.contains("3:main_page"); }, 5000));
    QCOMPARE(input_->text(), QString());
    page_->changeQueryController(0);
    page_->loadResourcePage("result.html");
}

void TestLookupPage::contextMenuLooksUpTheSelection()
{
    page_->changeQueryController(0);
    page_->loadResourcePage("result.html");
    waitForResultPage();
    js(page_, "document.getElementById('result').innerHTML='<p id=sel>pineapple juice</p>';"
              "var r=document.createRange();r.selectNodeContents(document.getElementById('sel'));"
              "var s=window.getSelection();s.removeAllRanges();s.addRange(r);");
    QVERIFY(QTest::qWaitFor([&] { return page_->webView()->page()->selectedText() == "pineapple juice"; }, 5000));
    emit page_->webView()->customContextMenuRequested(QPoint(20, 20));
    QMenu* menu = nullptr;
    QVERIFY(QTest::qWaitFor([&] {
        for (QMenu* m : page_->findChildren<QMenu*>())
            if (m->isVisible())
                menu = m;
        return menu != nullptr;
    }, 5000));
    QCOMPARE(menu->actions().at(0)->text(), QString("查词 \"pineapple juice\""));
    QCOMPARE(menu->actions().at(1)->text(), QString("百科 \"pineapple juice\""));
    // On the encyclopedia entry while the lookup tab shows: a jump to tab 3.
    owner_->jumps.clear();
    menu->actions().at(1)->trigger();
    menu->close();
    QCOMPARE(owner_->jumps, QStringList{"3:pineapple juice"});
    page_->changeQueryController(0);
}

void TestLookupPage::menuTitlesCutOnCharacters()
{
    QCOMPARE(MainViewController::menuSelectionText(QString(20, 'a')), QString(20, 'a'));
    QCOMPARE(MainViewController::menuSelectionText(QString(21, 'a')), QString(20, 'a') + "...");
    QCOMPARE(MainViewController::menuSelectionText("   \n "), QString());
    // Twenty-one characters outside the basic plane: the cut keeps whole pairs.
    QString wide;
    for (int i = 0; i < 21; ++i)
        wide += QString::fromUcs4(U"\U0001F34E");
    const QString cut = MainViewController::menuSelectionText(wide);
    QCOMPARE(cut.size(), 20 * 2 + 3);
    QVERIFY(!cut.at(39).isHighSurrogate());
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestLookupPage t;
    return QTest::qExec(&t, argc, argv);
}
