#include "tst_page_parts.h"

#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/controllers/FanyiQueryController.h"
#include "window/pages/FanyiViewController.h"
#include "window/pages/HomePageContent.h"
#include "window/pages/PageWordBook.h"
#include "wordbook/MVWordBook.h"
#include "window/pages/PronunciationPlayer.h"
#include "window/pages/WebPageHost.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextEdit>
#include <QUrlQuery>
#include <QDate>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>

namespace {
ScriptedResponse body(const QByteArray& b, int delayMs = 0)
{
    ScriptedResponse r;
    r.body = b;
    r.delayMs = delayMs;
    r.contentType = "application/json; charset=utf-8";
    return r;
}
}  // namespace

TestPageParts::TestPageParts() = default;
TestPageParts::~TestPageParts() = default;

void TestPageParts::initTestCase()
{
    service_ = std::make_unique<FakeHttpService>();
    QDesktopServices::setUrlHandler("http", &opened_, "open");
    QDesktopServices::setUrlHandler("https", &opened_, "open");
}

void TestPageParts::cleanupTestCase()
{
    (void)service_.release();  // open keep-alive connections would hold its shutdown
}

void TestPageParts::init()
{
    env_ = std::make_unique<TestEnv>();
    UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
    service_->clearScripts();
    service_->clearRequests();
    opened_.urls.clear();
}

void TestPageParts::pronunciationKeepsOnlyTheLatestDownload()
{
    service_->on("GET", "/slow.mp3", body(QByteArray(4000, 'a'), 600));
    service_->on("GET", "/fast.mp3", body(QByteArray(10, 'b')));
    PronunciationPlayer player;
    QSignalSpy done(&player, &PronunciationPlayer::downloaded);
    player.playAudio(service_->baseUrl() + "/slow.mp3");
    QVERIFY(service_->waitForRequests(1));
    player.playAudio(service_->baseUrl() + "/fast.mp3");
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray(10, 'b'));
    QTest::qWait(900);
    QCOMPARE(done.count(), 1);  // the superseded download never completes into the buffer
    // Only web sources are fetched.
    service_->clearRequests();
    player.playAudio("file:///etc/hostname");
    player.playAudio("ftp://127.0.0.1/x.mp3");
    QVERIFY(!player.isDownloading());
    QTest::qWait(100);
    QCOMPARE(service_->requestCount(), 0);
}

void TestPageParts::homeContentWithoutNetworkShowsBuiltInsOnce()
{
    UserDefaults::standard().setValue(MVServiceHost, "127.0.0.1:9");
    HomePageContent home(nullptr);
    QSignalSpy shown(&home, &HomePageContent::contentShown);
    home.updateContent();
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString(), HomePageContent::builtInDailyLine());
    const QJsonObject line = QJsonDocument::fromJson(shown.at(0).at(0).toString().toUtf8()).object();
    QCOMPARE(line.value("type").toString(), QString("每日一句"));
    QCOMPARE(line.value("rel").toString(), QString("rel"));
    // The English quotation with its author, the translation with the
    // author's Chinese name.
    const QString sen = line.value("sen").toString(), trans = line.value("trans").toString();
    QVERIFY2(sen.startsWith("A ") && sen.endsWith("Laozi"), qPrintable(sen));
    QVERIFY2(trans.startsWith(QString("千里之行")) && trans.endsWith(QString("老子")), qPrintable(trans));
    // An English paragraph of about 1,100 characters, "Full" and "article"
    // held together by a no-break space.
    const QString summary = shown.at(0).at(1).toString();
    QVERIFY2(summary.size() > 1000 && summary.size() < 1200, qPrintable(QString::number(summary.size())));
    QVERIFY(summary.endsWith(QStringLiteral("(Full\u00a0article...)")));
    QVERIFY(std::all_of(summary.begin(), summary.end(), [](QChar c) { return c.unicode() < 0x100; }));
    // The picture comes through the service's image proxy.
    const QUrl thumb(shown.at(0).at(2).toString());
    const QUrlQuery query(thumb);
    QCOMPARE(thumb.authority(), QString("127.0.0.1:9"));
    QCOMPARE(thumb.path(), QString("/image"));
    QCOMPARE(query.queryItemValue("product"), QString("wikipedia"));
    QCOMPARE(query.queryItemValue("w"), QString("280"));
    QVERIFY(QUrl(query.queryItemValue("url", QUrl::FullyDecoded)).scheme() == "https");
    QTest::qWait(500);
    QCOMPARE(shown.count(), 1);
    QVERIFY(!UserDefaults::standard().contains("WikipediaDefault"));
}

void TestPageParts::homeContentEscapesWhatItWritesIntoScripts()
{
    service_->on("GET", "/jsonapi", body(R"({"wikipedia":{"share":{"des":"x"}}})"));
    service_->on("GET", "/infoline", body(R"({"l":[{"type":"other"},{"type":"每日一句","title":"a\"b","summary":"c'd"}]})"));
    UserDefaults::standard().setValue("WikipediaDefaultThumbnailURL", "http://old/thumb");
    HomePageContent home(nullptr);
    QSignalSpy shown(&home, &HomePageContent::contentShown);
    home.updateContent();
    QVERIFY(QTest::qWaitFor([&] { return UserDefaults::standard().contains("EveryDayLineDefault"); }, 5000));
    QTest::qWait(200);
    // The thumbnail is missing from the answer: its cache is dropped and no refresh follows.
    QCOMPARE(shown.count(), 1);
    QVERIFY(!UserDefaults::standard().contains("WikipediaDefaultThumbnailURL"));
    const QJsonObject line =
        QJsonDocument::fromJson(UserDefaults::standard().stringValue("EveryDayLineDefault").toUtf8()).object();
    QCOMPARE(line.value("sen").toString(), QString("a\"b"));
    QCOMPARE(line.value("trans").toString(), QString("c'd"));
    QCOMPARE(UserDefaults::standard().stringValue("EveryDayLineDefault"),
             QString(R"({"type": "每日一句", "sen": "a\"b", "trans": "c'd", "rel": "rel"})"));
    // The two requests, exactly as the service expects them.
    const QByteArray today = QDate::currentDate().toString("yyyy-MM-dd").toLatin1();
    QCOMPARE(service_->requestsTo("/jsonapi").at(0).rawQuery,
             QByteArray("le=eng&q=bk:main%20page&keyfrom=dataserver&doctype=json&jsonversion=2"));
    QCOMPARE(service_->requestsTo("/infoline").at(0).rawQuery,
             "apiversion=2&mode=publish&client=tesvarin&abtest=9&startDate=" + today + "&endDate=" + today);

    // Banner text and link travel only as string literals; the link target
    // itself holds no data, so no quote in them can end a script string.
    const QString script = HomePageContent::operationScript("</script>'", "javascript:alert('x')");
    QCOMPARE(script.count("alert"), 1);
    QVERIFY(script.contains(WebPageHost::jsString("javascript:alert('x')")));
    QVERIFY(script.contains(WebPageHost::jsString("</script>'")));
    QVERIFY(HomePageContent::updateContentScript("a'b", "\"", "\n").startsWith(R"(updateContent("a'b","\"","\n"))"));
}

void TestPageParts::wordBookButtonsReachTheWordBookFile()
{
    service_->on("POST", "/wordbook/api", body("<response><errcode>0</errcode></response>"));
    const QString db = env_->dataHome() + "/wordbook.db";
    MVWordBook& book = MVWordBook::sharedInstance();
    book.configureWithDbPath(db, QUrl(service_->baseUrl() + "/wordbook/api"));
    // The page passes the definition before the phonetic; the book gets them right way round.
    pagewordbook::actions().addWord("apple", "[ˈæpl]", "n. 苹果", [](bool) {});
    book.waitForQueuedWork();
    QVERIFY(book.hasWord("apple"));
    {
        SQLite::Database file(db.toStdString(), SQLite::OPEN_READONLY);
        SQLite::Statement q(file, "SELECT INTP FROM WORDBOOK WHERE WORD = 'apple'");
        QVERIFY(q.executeStep());
        const QString intp = QString::fromStdString(q.getColumn(0).getString());
        QVERIFY(intp.startsWith("[ˈæpl]"));
        QVERIFY(intp.contains("n. 苹果"));
    }
    pagewordbook::actions().delWord("apple", [](bool) {});
    book.waitForQueuedWork();
    QVERIFY(!book.hasWord("apple"));
}

void TestPageParts::translationFollowsTyping()
{
    service_->on("GET", "/translate", body(R"({"translateResult":[[{"tgt":"Hello"}]]})"));
    FanyiViewController page;
    page.input()->setPlainText("你好");
    QVERIFY(QTest::qWaitFor([&] { return page.textView()->toPlainText() == "Hello"; }, 5000));
    QCOMPARE(service_->requestsTo("/translate").at(0).queryValue("type"), QString("AUTO"));
    QVERIFY(!page.placeHolderShown());
    QTextCursor c(page.textView()->document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontFamilies().toStringList(), QStringList{"Arial"});
    QCOMPARE(c.charFormat().fontPointSize(), 15.0);

    // Choosing a language does not translate again; the next edit does, with it.
    const int before = int(service_->requestsTo("/translate").size());
    QAction* toEnglish = page.languageMenu()->actions().at(1);
    page.checkLanguageButtonAction(toEnglish);
    QCOMPARE(page.fyQueryController()->currentItemTag(), 7);
    QTest::qWait(200);
    QCOMPARE(int(service_->requestsTo("/translate").size()), before);
    page.input()->setPlainText("你好吗");
    QVERIFY(QTest::qWaitFor([&] { return int(service_->requestsTo("/translate").size()) > before; }, 5000));
    QCOMPARE(service_->requestsTo("/translate").back().queryValue("type"), QString("ZH_CN2EN"));

    // Text put in by another part of the application waits for the user.
    const int beforeSet = int(service_->requestsTo("/translate").size());
    page.setInputText("谢谢");
    QTest::qWait(200);
    QCOMPARE(int(service_->requestsTo("/translate").size()), beforeSet);

    // Emptying the input clears the output and shows the hint.
    page.input()->setPlainText(QString());
    QVERIFY(page.textView()->toPlainText().isEmpty());
    QVERIFY(page.placeHolderShown());
}

void TestPageParts::typedWebAddressOpensOnlyOnRequest()
{
    FanyiViewController page;
    page.input()->setPlainText("https://www.example.org/");
    QTest::qWait(100);
    QVERIFY(opened_.urls.isEmpty());
    QVERIFY(service_->requestsTo("/translate").empty());
    page.query();
    QCOMPARE(opened_.urls.size(), 1);
    const QUrl url = opened_.urls.first();
    QCOMPARE(url.path(), QString("/WebpageTranslate"));
    QCOMPARE(QUrlQuery(url).queryItemValue("url", QUrl::FullyDecoded), QString("https://www.example.org/"));
    QCOMPARE(QUrlQuery(url).queryItemValue("type"), QString("AUTO"));
    // A pasted address is an explicit request too; the paste button follows the clipboard.
    page.clear();
    QGuiApplication::clipboard()->setText("http://www.example.net/");
    page.rebuildPlaceHolderView();
    QVERIFY(page.pasteButtonShown());
    page.paste();
    QCOMPARE(opened_.urls.size(), 2);
    QGuiApplication::clipboard()->clear();
    page.rebuildPlaceHolderView();
    QVERIFY(!page.pasteButtonShown());
    // Beyond 99 characters an address is translated as text.
    service_->on("GET", "/translate", body(R"({"translateResult":[]})"));
    page.input()->setPlainText("https://www.example.org/" + QString(80, 'a'));
    QVERIFY(QTest::qWaitFor([&] { return !service_->requestsTo("/translate").empty(); }, 5000));
    QCOMPARE(opened_.urls.size(), 2);
}

void TestPageParts::longTextTranslatesOnlyOnRequest()
{
    service_->on("POST", "/translate", body(R"({"translateResult":[[{"tgt":"long"}]]})"));
    FanyiViewController page;
    page.input()->setPlainText(QString(1001, 'x'));
    QTest::qWait(200);
    QVERIFY(service_->requestsTo("/translate").empty());
    page.query();
    QVERIFY(QTest::qWaitFor([&] { return page.textView()->toPlainText() == "long"; }, 5000));
    QCOMPARE(service_->requestsTo("/translate").at(0).method, QString("POST"));
    page.clear();
    QVERIFY(page.input()->toPlainText().isEmpty());
    QVERIFY(page.textView()->toPlainText().isEmpty());
}

QTEST_MAIN(TestPageParts)
