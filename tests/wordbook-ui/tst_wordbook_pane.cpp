// The word book's lookup pane over a page without a browser and the fake
// dictionary service.
#include "pages/FakePage.h"

#include "models/MainQueryResult.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "query/WordPresence.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"
#include "wordbook-ui/WordBookQueryController.h"

#include <QTest>

namespace {
class Presence : public WordPresence {
public:
    QStringList words;
    bool hasWord(const QString& w) const override { return words.contains(w); }
};
}  // namespace

class TestWordBookPane : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeHttpService> service_;
    std::unique_ptr<TestEnv> env_;
    Presence presence_;
    QStringList offline_;

    std::unique_ptr<WordBookQueryController> makePane(FakePage& page, bool online)
    {
        auto pane = std::make_unique<WordBookQueryController>();
        pane->setPage(&page);
        pane->setInternetActive(online);
        page.url = QStringLiteral("file:///res/pages/result.html");
        pane->reloadResponseData();
        return pane;
    }

private slots:
    void initTestCase()
    {
        service_ = std::make_unique<FakeHttpService>();
        Reachability::setShared(std::make_unique<FakeReachability>(true));
    }
    void cleanupTestCase() { (void)service_.release(); }
    void init()
    {
        env_ = std::make_unique<TestEnv>();
        service_->clearScripts();
        service_->clearRequests();
        UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
        WordPresence::setShared(&presence_);
        offline_.clear();
        RequestData::setOfflineLookup([this](const QString& word, const QString&, int type, int) -> QVariant {
            offline_ << word;
            if (type != 1)
                return QVariant();
            auto r = std::make_shared<MainQueryResult>();
            r->title = word;
            if (word == "unknown")
                r->hasNoAnyTrans = QStringLiteral(" ");
            else {
                r->hasSimpleTrans = QStringLiteral(" ");
                r->simpleTrans = {QVariantMap{{"item", QVariantMap{{"trans", "offline line"}}}}};
            }
            return QVariant::fromValue(r);
        });
    }
    void cleanup()
    {
        RequestData::setOfflineLookup({});
        WordPresence::setShared(nullptr);
        env_.reset();
    }

    void storedEntryConvertsOnlyALeadingPhonetic()
    {
        FakePage page;
        auto pane = makePane(page, true);
        const QStringList lines = pane->doQueryInDB("fonet", "/fO'net/\\nn. 音标\\n发音");
        QCOMPARE(lines, (QStringList{QString::fromUtf8("[fɔ'net]"), "n. 音标", "发音"}));
        QVERIFY2(page.resultHtml.contains(QString::fromUtf8("[fɔ&apos;net]")), qPrintable(page.html.join("|") + page.scripts.join("|") + page.loads.join("|")));
        // A slash inside a sense is text, and a "]" in a sense is no phonetic.
        pane->doQueryInDB("x", "\\nand/or [sic] a/b");
        QVERIFY(page.resultHtml.contains("and/or [sic] a/b"));
        QVERIFY(!page.resultHtml.contains("class=\"ipa\""));
    }

    void earlyStoredEntriesAreParked()
    {
        FakePage page;
        WordBookQueryController pane;
        pane.setPage(&page);
        pane.doQueryInDB("first", "\\none");
        QCOMPARE(page.loads, QStringList{"result.html"});
        pane.doQueryInDB("second", "\\ntwo");
        QVERIFY(pane.hasParkedResult());
        page.finishLoad();
        QVERIFY(page.resultHtml.isEmpty());
        NotificationCenter::defaultCenter().post(MVDidFinishLoadResultWebViewNotification);
        QVERIFY(page.resultHtml.contains("second"));
        QVERIFY(!page.resultHtml.contains("first"));
        QVERIFY(!pane.hasParkedResult());
    }

    void longWordsArePostedAndLanguageIsAdded()
    {
        FakePage page;
        auto pane = makePane(page, true);
        service_->on("*", "/jsonapi", ScriptedResponse(200, "{}", "application/json"));
        pane->setLe("eng");
        pane->doQuery(QString(799, 'a'));
        QVERIFY(service_->waitForRequests(1));
        RecordedRequest r = service_->requests().back();
        QCOMPARE(r.method, QStringLiteral("GET"));
        QCOMPARE(r.queryValue("q").size(), 799);
        QVERIFY(!r.rawQuery.contains("&le="));
        QCOMPARE(pane->lastQueryWord(), QString(799, 'a'));

        pane->setLe("jap");
        pane->doQuery(QString(800, 'a'));
        QVERIFY(service_->waitForRequests(2));
        r = service_->requests().back();
        QCOMPARE(r.method, QStringLiteral("POST"));
        QVERIFY(r.rawQuery.contains("&le=jap"));
        QCOMPARE(r.formFields().value(0).first, QStringLiteral("q"));
        QCOMPARE(r.formFields().value(0).second.size(), 800);
        QTest::qWait(100);
        // The pane never writes the usage log.
        for (const auto& req : service_->requests())
            QVERIFY(req.path != QStringLiteral("/appapi/log"));
    }

    void offlineAnswersUseTheStoredParaphrase()
    {
        FakePage page;
        auto pane = makePane(page, false);
        presence_.words = {"kept"};
        pane->setLocalTrans({QVariantMap{{"item", QVariantMap{{"trans", "my own line"}}}}});
        pane->setLocalPhonetic("[kept]");
        pane->doQuery("kept");
        QCOMPARE(pane->lastQueryWord(), QStringLiteral("kept"));
        QVERIFY(page.resultHtml.contains("my own line"));
        QVERIFY(page.resultHtml.contains("[kept]"));
        QVERIFY(page.resultHtml.contains("in-wordbook"));  // the star names this word

        pane->setLocalTrans({});
        pane->doQuery("other");
        QVERIFY(page.resultHtml.contains("offline line"));
        QVERIFY(page.resultHtml.contains("data-word=\"other\""));
        QVERIFY(!page.resultHtml.contains("in-wordbook"));
    }

    void transportFailureFallsBackOffline()
    {
        FakePage page;
        auto pane = makePane(page, true);
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:1"));
        pane->doQuery("known");
        QTRY_VERIFY(page.resultHtml.contains("offline line"));
        QVERIFY(!page.resultHtml.contains("networkerr"));
        pane->doQuery("unknown");
        QTRY_VERIFY(page.resultHtml.contains("networkerr"));
        QVERIFY(!page.spinner);
    }
};

QTEST_MAIN(TestWordBookPane)
#include "tst_wordbook_pane.moc"
