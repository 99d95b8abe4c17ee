#include "platform/CookieJar.h"
#include "support/FakeWordBookService.h"
#include "support/TestEnv.h"
#include "wordbook/MVWordBookSync.h"
#include "wordbook/MVWordBookXmlParser.h"
#include "wordbook/WordBookClock.h"

#include <QFile>
#include <QNetworkCookie>
#include <QTcpServer>
#include <QtTest>

namespace {
QByteArray fixture(const QString& name)
{
    QFile f(QStringLiteral(WORDBOOK_TEST_DATA "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct ParseRecorder : MVWordBookXmlParseDelegate {
    int failed = 0, done = 0;
    void parseFailed() override { ++failed; }
    void parseDone(MVWordBookXmlParser*) override { ++done; }
};

struct ExchangeRecorder : MVSyncDelegate {
    QStringList events;
    QList<MVSyncActionPtr> actions;
    void syncDidStart() override { events << "start"; }
    void syncDidError(const WordBookError& e) override { events << QStringLiteral("error %1 %2").arg(e.domain).arg(e.code); }
    void syncNeedAgain() override { events << "again"; }
    void syncNeedUpdateFirst() override { events << "updateFirst"; }
    void syncTotalActionCount(quint64 n) override { events << QStringLiteral("count %1").arg(n); }
    void syncRecievedAction(const MVSyncActionPtr& a) override { actions << a; events << "action " + a->item->word; }
    void syncUpdateTimestamp(const QString& a, const QString& b) override { events << "ts " + a + " " + b; }
    void syncDidFinish() override { events << "finish"; }
    bool ended() const
    {
        return !events.isEmpty() && (events.last() == "finish" || events.last() == "again" ||
                                     events.last() == "updateFirst" || events.last().startsWith("error"));
    }
};

MVSyncActionPtr addAction(const QString& word, const QString& def, const QString& progress = QString())
{
    auto a = std::make_shared<MVSyncAction>();
    a->item = std::make_shared<MVWordBookItem>();
    a->item->word = word;
    a->item->phonetic = QStringLiteral("[p]");
    a->item->definition = def;
    a->item->tags = QStringLiteral(";g");
    a->item->time = QStringLiteral("1400000000");
    a->withWordInfo = true;
    if (!progress.isNull()) {
        a->remItem = std::make_shared<MVWordBookRemItem>();
        a->remItem->word = word;
        a->remItem->progress = progress;
        a->remItem->remModTime = wbclock::describe(wbclock::now().addSecs(-90));
        a->withRemInfo = true;
    }
    return a;
}
}  // namespace

class SyncTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;

    QStringList exchange(FakeWordBookService& svc, const QByteArray& answer, ExchangeRecorder& rec,
                         int status = 200)
    {
        svc.queueAnswer(answer, status);
        MVWordBookSync sync;
        sync.startSyncWithAddList({}, {}, "1", "2", svc.url(), &rec);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 10000); }();
        return rec.events;
    }

private slots:
    void init() { env_ = std::make_unique<TestEnv>(); }
    void cleanup() { env_.reset(); }

    void parserReadsActionsAndTimes()
    {
        const QDateTime now(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
        wbclock::setNowForTesting([&] { return now; });
        MVWordBookXmlParser p;
        ParseRecorder rec;
        QVERIFY(p.parseXml(fixture("answer_mixed.xml"), &rec));
        wbclock::setNowForTesting(nullptr);
        QCOMPARE(rec.done, 1);
        QCOMPARE(rec.failed, 0);
        QCOMPARE(p.operation.value_or(""), QStringLiteral("commit"));
        QCOMPARE(p.errCode, 0u);
        QCOMPARE(p.timestamp, QStringLiteral("1400000123456"));
        QCOMPARE(p.addList->size(), 2);
        QCOMPARE(p.delList->size(), 2);
        const auto& first = p.addList->at(0);
        QVERIFY(first->isAdd && first->withWordInfo);
        QCOMPARE(first->item->word, QStringLiteral("o'clock"));
        QCOMPARE(first->remItem->word, QStringLiteral("o'clock"));
        QCOMPARE(first->item->definition, QStringLiteral("adv. 点钟"));
        QCOMPARE(first->item->tags, QStringLiteral(";time;exam"));
        QCOMPARE(first->item->time, QStringLiteral("2014-05-13 16:53:20 +0000"));
        QCOMPARE(first->item->date, QDateTime::fromSecsSinceEpoch(1400000000).toLocalTime().toString("yyyy-MM-dd"));
        QCOMPARE(first->remItem->progress, QStringLiteral("3"));
        QCOMPARE(first->remItem->remModTime, QStringLiteral("2020-01-01 11:00:00 +0000"));
        const auto& reviewOnly = p.addList->at(1);
        QVERIFY(reviewOnly->isAdd);
        QVERIFY(!reviewOnly->withWordInfo);
        QCOMPARE(reviewOnly->remItem->remTimpstamp, QStringLiteral("56"));
        QVERIFY(!p.delList->at(1)->isAdd);  // no type attribute
        QCOMPARE(p.delList->at(1)->remItem->progress, QStringLiteral("-1"));
    }

    void parserFailures()
    {
        MVWordBookXmlParser p;
        ParseRecorder rec;
        QVERIFY(!p.parseXml(fixture("answer_truncated.xml"), &rec));
        QCOMPARE(rec.failed, 1);
        QCOMPARE(rec.done, 0);

        MVWordBookXmlParser q;
        ParseRecorder rec2;
        QVERIFY(q.parseXml("<r><operation>x</operation><errcode>abc</errcode>"
                           "<action type=\"add\"><word>lost</word></action></r>",
                           &rec2));
        QCOMPARE(q.errCode, 0u);
        QVERIFY(!q.addList.has_value());
        // An external entity is never fetched.
        MVWordBookXmlParser e;
        ParseRecorder rec3;
        e.parseXml("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r><operation>&x;</operation></r>", &rec3);
        QVERIFY(!e.operation.value_or("").contains("root"));

        // Ages out of any range read as 0: the review time is the moment of reading.
        const QDateTime now(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
        wbclock::setNowForTesting([&] { return now; });
        for (const char* age : {"6e20", "-6e20", "inf", "nan", "9.3e15"}) {
            MVWordBookXmlParser r;
            ParseRecorder rec4;
            r.parseXml(QByteArray("<r><operation>update</operation><actionlist><action type=\"add\"><word>w</word>"
                                  "<remModifyTime>") + age + "</remModifyTime></action></actionlist></r>",
                       &rec4);
            QCOMPARE(r.addList->at(0)->remItem->remModTime, wbclock::describe(now));
        }
        wbclock::setNowForTesting(nullptr);
    }

    void requestDocuments()
    {
        const QDateTime now(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
        wbclock::setNowForTesting([now] { return now; });
        QCOMPARE(MVWordBookSync::requestDocument({}, {}, "5", "6"),
                 QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?><request><type>words</type>"
                                "<operation>update</operation><maxLocalTimestamp>5</maxLocalTimestamp>"
                                "<maxRemLocalTimestamp>6</maxRemLocalTimestamp></request>"));
        auto del = std::make_shared<MVSyncAction>();
        del->item = std::make_shared<MVWordBookItem>();
        del->item->word = "gone";
        del->withWordInfo = true;
        const QString d = MVWordBookSync::requestDocument({}, {del}, "5", "6");
        QVERIFY(d.contains("<operation>commit</operation>"));
        QVERIFY(d.contains("<actionlist><action type=\"del\"><word><![CDATA[gone]]></word></action></actionlist>"));

        const auto full = addAction("w", "d", "4");
        const QString fullDoc = MVWordBookSync::requestDocument({full}, {}, "5", "6");
        QVERIFY2(fullDoc.contains("<action type=\"add\"><word><![CDATA[w]]></word><wordInfo><phonetic><![CDATA[[p]]]>"
                              "</phonetic><trans><![CDATA[d]]></trans><tags><![CDATA[;g]]></tags><addtime>1400000000"
                              "</addtime><flag>1</flag></wordInfo><remInfo><progress><![CDATA[4]]></progress>"
                              "<remModifyTime>90</remModifyTime></remInfo></action>"),
                 qPrintable(fullDoc));
        // Review record alone: named after the record's word.
        auto rem = addAction("item-word", "d", "2");
        rem->withWordInfo = false;
        rem->remItem->word = "rem-word";
        const QString r = MVWordBookSync::requestDocument({rem}, {}, "5", "6");
        QVERIFY(r.contains("<word><![CDATA[rem-word]]></word><remInfo>"));
        QVERIFY(!r.contains("wordInfo"));
        wbclock::setNowForTesting(nullptr);
    }

    void serviceAddressCarriesTheDeviceQuery()
    {
        const QUrl u = MVWordBookSync::serviceUrl("127.0.0.1:8080", "02:FC:0A", "Model X", "SN1",
                                                  "Debian GNU/Linux 12 (bookworm)");
        QCOMPARE(u.toEncoded(), QByteArray("http://127.0.0.1:8080/wordbook/api?keyfrom=mac.main&id=02:FC:0A"
                                           "&model=Model%20X&deviceid=SN1&mid=Debian%20GNU/Linux%2012%20(bookworm)"
                                           "&requestNum=2000"));
    }

    void cdataAndBodyStayDecodable()
    {
        const auto a = addAction("w", QStringLiteral("a]]>b\x01 c+d/e?f 点&=~@$!"));
        const QString doc = MVWordBookSync::requestDocument({a}, {}, "0", "0");
        QXmlStreamReader xml(doc);
        QString trans;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("trans"))
                trans = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(trans, QStringLiteral("a]]>b c+d/e?f 点&=~@$!"));

        const QByteArray body = MVWordBookSync::formBody(doc);
        QVERIFY(body.startsWith("data="));
        QVERIFY(body.endsWith("&version=2"));
        QVERIFY(body.contains("c%2Bd%2Fe%3Ff%20"));
        QVERIFY(body.contains("%26%3D%7E%40%24%21"));
        const QByteArray data = body.mid(5, body.size() - 5 - 10);
        QVERIFY(!data.contains('&') && !data.contains('+') && !data.contains('='));
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(data)), doc);
    }

    void exchangeSendsFormAndOnlyTheServiceCookies()
    {
        FakeWordBookService svc;
        QNetworkCookie mine("session", "abc");
        mine.setDomain("127.0.0.1");
        mine.setPath("/");
        QNetworkCookie other("tracker", "xyz");
        other.setDomain(".elsewhere.example");
        other.setPath("/");
        CookieJar::shared().insertCookie(mine);
        CookieJar::shared().insertCookie(other);
        ExchangeRecorder rec;
        exchange(svc, FakeWordBookService::answer(1), rec);
        CookieJar::shared().clear();
        QCOMPARE(rec.events, QStringList({"start", "ts 100 200", "finish"}));
        const auto reqs = svc.requests();
        QCOMPARE(reqs.size(), size_t(1));
        QCOMPARE(reqs[0].method, QStringLiteral("POST"));
        QCOMPARE(reqs[0].queryValue("requestNum"), QStringLiteral("2000"));
        QCOMPARE(reqs[0].header("Cookie"), QByteArray("session=abc"));
        QVERIFY(reqs[0].body.endsWith("&version=2"));
        QVERIFY(FakeWordBookService::documentOf(reqs[0]).contains("<operation>update</operation>"));
    }

    void answerCodesMapToListenerCalls()
    {
        FakeWordBookService svc;
        using F = FakeWordBookService;
        const QString two = F::action("add", "a", "t", "p", 1400000000) + F::action("del", "b");
        struct Case {
            QByteArray answer;
            QStringList expected;
        };
        const QList<Case> cases = {
            {F::answer(0, "100", "200", two), {"start", "count 2", "action a", "action b", "ts 100 200", "finish"}},
            {F::answer(3, "100", "200", two), {"start", "count 2", "action a", "action b", "ts 100 200", "again"}},
            {F::answer(0, "100", QString()), {"start", "count 0", "finish"}},
            {F::answer(8, "1", "2", QString(), false), {"start", "error sync -1000"}},
            {F::answer(8), {"start", "error sync -1000"}},
            {F::answer(0, "1", "2", QString(), false), {"start", "error sync -1003"}},
            {F::answer(2), {"start", "error sync -1001"}},
            {F::answer(4), {"start", "error sync -1004"}},
            {F::answer(5), {"start", "updateFirst"}},
            {F::answer(7), {"start", "error sync -1003"}},
            {"<response><operation>x</operation>", {"start", "error sync -1001"}},
            {"<response><operation>x</operation></response>", {"start", "count 0", "finish"}},
        };
        for (const Case& c : cases) {
            ExchangeRecorder rec;
            QCOMPARE(exchange(svc, c.answer, rec), c.expected);
        }
        // An HTTP error status with a readable answer is still an answer.
        ExchangeRecorder rec;
        QCOMPARE(exchange(svc, F::answer(1), rec, 500), QStringList({"start", "ts 100 200", "finish"}));
    }

    void transportFailures()
    {
        QUrl deadUrl;
        {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            deadUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/wordbook/api").arg(closed.serverPort()));
        }
        ExchangeRecorder refused;
        MVWordBookSync sync;
        sync.startSyncWithAddList({}, {}, "0", "0", deadUrl, &refused);
        QTRY_VERIFY_WITH_TIMEOUT(refused.ended(), 10000);
        QCOMPARE(refused.events.last(), QStringLiteral("error sync -1002"));

        FakeWordBookService slow;
        slow.queueAnswer(FakeWordBookService::answer(1), 200, 3000);
        ExchangeRecorder late;
        MVWordBookSync timed;
        timed.setTimeoutMs(300);
        timed.startSyncWithAddList({}, {}, "0", "0", slow.url(), &late);
        QTRY_VERIFY_WITH_TIMEOUT(late.ended(), 10000);
        QCOMPARE(late.events, QStringList({"start", "error sync -1005"}));
    }

    void supersededExchangeStaysSilent()
    {
        FakeWordBookService svc;
        svc.queueAnswer(FakeWordBookService::answer(4), 200, 800);
        svc.queueAnswer(FakeWordBookService::answer(1));
        ExchangeRecorder first, second;
        MVWordBookSync sync;
        sync.startSyncWithAddList({}, {}, "0", "0", svc.url(), &first);
        QTRY_VERIFY(svc.requests().size() == 1);
        sync.startSyncWithAddList({}, {}, "0", "0", svc.url(), &second);
        QTRY_VERIFY_WITH_TIMEOUT(second.ended(), 10000);
        QTest::qWait(1000);
        QCOMPARE(first.events, QStringList({"start"}));
        QCOMPARE(second.events.last(), QStringLiteral("finish"));
    }

    void cookieJarPersistsOwnerOnly()
    {
        const QString folder = env_->root();
        {
            CookieJar jar;
            jar.setStorageFolder(folder);
            QNetworkCookie keep("k", "v");
            keep.setDomain("dict.mirvok.example");
            keep.setPath("/");
            keep.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(30));
            QNetworkCookie session("s", "v");
            session.setDomain("dict.mirvok.example");
            session.setPath("/");
            jar.insertCookie(keep);
            jar.insertCookie(session);
        }
        QFile f(folder + "/cookies");
        QVERIFY(f.exists());
        QCOMPARE(f.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        CookieJar again;
        again.setStorageFolder(folder);
        const auto c = again.cookiesForUrl(QUrl("http://dict.mirvok.example/wordbook/api"));
        QCOMPARE(c.size(), 1);
        QCOMPARE(c.first().name(), QByteArray("k"));
        QVERIFY(again.cookiesForUrl(QUrl("http://other.example/")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(SyncTest)
#include "SyncTest.moc"
