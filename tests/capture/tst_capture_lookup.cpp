#include "capture/atspi/AtspiReader.h"
#include "capture/CaptureText.h"
#include "capture/UIElementUtilities.h"
#include "capture/WordStrokeController.h"
#include "capture/WordStrokeJSONResultParser.h"
#include "capture/WordStrokeQueryController.h"
#include "capture/WordStrokeXMLResultParser.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "query/offline/OfflineDict.h"
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
// A quick-result answer as the service writes it.
const char* kFull =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mirvodict><return-phrase><![CDATA[apple]]></return-phrase>"
    "<dictcn-speach>apple</dictcn-speach><phonetic-symbol>'\xC3\xA6pl</phonetic-symbol>"
    "<custom-translation><type>ec</type>"
    "<translation><content><![CDATA[n. \xE8\x8B\xB9\xE6\x9E\x9C]]></content></translation>"
    "<translation><nocontent/></translation>"
    "<translation><content><![CDATA[<img src=x onerror=alert(1)>]]></content></translation>"
    "</custom-translation>"
    "<mirvo-web-dict><web-translation><key>Apple</key><trans><value>a</value></trans>"
    "<trans><value>b</value></trans></web-translation>"
    "<web-translation><value>orphan</value></web-translation></mirvo-web-dict></mirvodict>";

struct Answer {
    int calls = 0;
    QVariant value;
};
}  // namespace

class CaptureLookupTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        OfflineDict::install();
    }

    void parserReadsEveryPartAndEscapesServiceText() {
        WordStrokeXMLResultParser p;
        const WordStrokeXMLResultPtr r = p.parseXML(QString::fromUtf8(kFull));
        QVERIFY(r);
        QCOMPARE(r->title, QStringLiteral("apple"));
        QCOMPARE(r->phone, QString::fromUtf8("['\xC3\xA6pl]"));
        QCOMPARE(r->speech, QStringLiteral("apple"));
        QCOMPARE(r->trans, (QStringList{QString::fromUtf8("n. \xE8\x8B\xB9\xE6\x9E\x9C"),
                                        QStringLiteral("<img src=x onerror=alert(1)>")}));
        QCOMPARE(r->webTrans.size(), 2);
        const QVariantMap first = r->webTrans[0].toMap()[QStringLiteral("item")].toMap();
        QCOMPARE(first[QStringLiteral("key")].toString(), QStringLiteral("Apple"));
        QCOMPARE(first[QStringLiteral("trans")].toString(), QStringLiteral("a; b; "));
        QVERIFY(r->webTrans[1].toMap()[QStringLiteral("item")].toMap().isEmpty());

        const QString html = p.genHTML(QString::fromUtf8(kFull)).value_or(QString());
        QVERIFY(html.contains(QStringLiteral("apple")));
        QVERIFY(!html.contains(QStringLiteral("<img")));
        QVERIFY(html.contains(QStringLiteral("&lt;img")));
        QCOMPARE(p.title(), QStringLiteral("apple"));
    }

    void parserRefusesWhatIsNotAnAnswer() {
        WordStrokeXMLResultParser p;
        // A title alone renders nothing, but the title is still known.
        QCOMPARE(p.genHTML(QStringLiteral("<mirvodict><return-phrase>zzz</return-phrase></mirvodict>")),
                 std::optional<QString>(QString()));
        QCOMPARE(p.title(), QStringLiteral("zzz"));
        QVERIFY(!p.parseXML(QStringLiteral("<mirvodict><return-phrase>x</mirvodict>")));
        QVERIFY(!p.genHTML(QStringLiteral("not xml")));
        QVERIFY(!p.parseXML(QString()));
        const QString doctype = QStringLiteral(
            "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
            "<mirvodict><return-phrase>&x;</return-phrase></mirvodict>");
        QVERIFY(!p.parseXML(doctype));
    }

    void jsonParserRendersTheFullEntry() {
        WordStrokeJSONResultParser p;
        QVERIFY(!p.genHTML(QStringLiteral("{broken")));
        const auto html = p.genHTML(QStringLiteral("{\"ec\":{\"word\":[{\"trs\":[{\"tr\":[{\"l\":{\"i\":[\"n. x\"]}}]}]}]}}"));
        QVERIFY(html.has_value());
    }

    // The blank-delimited word around the position, offline.
    void offlineWordAroundPosition_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pos");
        QTest::addColumn<QString>("word");
        QTest::newRow("start") << "apple banana" << 0 << "apple";
        QTest::newRow("inside second") << "apple banana" << 8 << "banana";
        QTest::newRow("on the blank") << "apple banana" << 5 << "";
        QTest::newRow("at the end") << "apple banana" << 12 << "banana";
        QTest::newRow("past the end") << "apple banana" << 13 << "";
        QTest::newRow("negative") << "apple" << -1 << "";
        QTest::newRow("empty") << "" << 0 << "";
    }
    void offlineWordAroundPosition() {
        QFETCH(QString, text);
        QFETCH(int, pos);
        QFETCH(QString, word);
        const auto [s, e] = WordStrokeQueryController::wordAround(text, pos);
        QCOMPARE(s < 0 ? QString() : text.mid(s, e - s), word);
    }

    void offlineAndUnreachableServiceUseTheShippedDictionary() {
        Reachability::setShared(std::make_unique<FakeReachability>(false));
        WordStrokeQueryController c;
        Answer a;
        QObject ctx;
        c.doQuery(QStringLiteral("banana apple"), 9, 0, &ctx, [&](const QVariant& v) { ++a.calls; a.value = v; });
        QCOMPARE(a.calls, 1);
        QCOMPARE(a.value.value<WordStrokeXMLResultPtr>()->title, QStringLiteral("apple"));

        // Online, but nothing listens at the service address.
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:9"));
        WordStrokeQueryController online;
        Answer b;
        online.doQuery(QStringLiteral("apple"), &ctx, [&](const QVariant& v) { ++b.calls; b.value = v; });
        QTRY_COMPARE(b.calls, 1);
        QVERIFY(b.value.value<WordStrokeXMLResultPtr>());
    }

    // Out of reach with the shipped dictionary unreadable: the popup says
    // so rather than showing nothing.
    void damagedShippedDictionaryIsToldInThePopup() {
        Reachability::setShared(std::make_unique<FakeReachability>(false));
        QTemporaryDir empty;
        RequestData::setOfflineLookup([&](const QString& w, const QString& dict, int type, int dictType) {
            return OfflineDict::answer(w, dict, type, dictType, empty.path());
        });
        const auto restore = qScopeGuard([] { OfflineDict::install(); });
        WordStrokeQueryController c;
        Answer a;
        QObject ctx;
        c.doQuery(QStringLiteral("apple"), 0, 0, &ctx, [&](const QVariant& v) { ++a.calls; a.value = v; });
        QCOMPARE(a.calls, 1);
        QVERIFY(WordStrokeXMLResultParser::readAnswer(a.value).html.contains(OfflineDict::unavailableText()));
    }

    void requestCarriesPositionAndTypeAndOnlyTheLatestAnswers() {
        FakeHttpService svc;
        svc.on(QStringLiteral("GET"), QStringLiteral("/fsearch"), [](const RecordedRequest& r) {
            return ScriptedResponse(200, r.queryValue(QStringLiteral("q")).toUtf8(), "text/xml", {},
                                    r.queryValue(QStringLiteral("q")) == QLatin1String("slow") ? 300 : 0);
        });
        Reachability::setShared(std::make_unique<FakeReachability>(true));
        UserDefaults::standard().setValue(MVServiceHost, svc.hostPort());
        WordStrokeQueryController c;
        QObject ctx;
        QList<QByteArray> got;
        c.doQuery(QStringLiteral("slow"), 0, 1, &ctx, [&](const QVariant& v) { got << v.toByteArray(); });
        c.doQuery(QString::fromUtf8("two words\xE3\x80\x82"), 4, 0, &ctx, [&](const QVariant& v) { got << v.toByteArray(); });
        QTRY_COMPARE(got.size(), 1);
        QTest::qWait(400);
        QCOMPARE(got, (QList<QByteArray>{QByteArray("two words\xE3\x80\x82")}));
        const RecordedRequest last = svc.requestsTo(QStringLiteral("/fsearch")).back();
        QCOMPARE(last.rawQuery, QStringLiteral("q=two%20words%E3%80%82&pos=4&keyfrom=mac.scrtrans.0&id=%1&vendor=%2&client=vorlane")
                                    .arg(machineId(), vendorAndVersionParam()).toUtf8());
    }

    // "type|pos|word": the word keeps its own bars; the switches decide.
    void browserWordsKeepTheirBars() {
        Reachability::setShared(std::make_unique<FakeReachability>(false));
        UserDefaults::standard().setValue(WordStroke, true);
        UserDefaults::standard().setValue(ScreenTrans, false);
        WordStrokeController c;
        c.chromeGotWordHandler(QStringLiteral("1|3"));
        QVERIFY(c.queryController()->lastQueryWord().isEmpty());
        c.chromeGotWordHandler(QStringLiteral("0|2|hover|word"));
        QVERIFY(c.queryController()->lastQueryWord().isEmpty());
        NotificationCenter::defaultCenter().post(QStringLiteral("BROWSER_GOT_WORD_MSG"), nullptr,
                                                 {{QStringLiteral("object"), QStringLiteral("1|3| zzqx|y ")}});
        QTRY_COMPARE(c.queryController()->lastQueryWord(), QStringLiteral("zzqx|y"));
        QCOMPARE(c.queryController()->lastQueryPos(), 3);
        // Numbers are read as the bridge reads them: leading digits count.
        c.chromeGotWordHandler(QStringLiteral("1abc|12abc|pear"));
        QCOMPARE(c.queryController()->lastQueryWord(), QStringLiteral("pear"));
        QCOMPARE(c.queryController()->lastQueryPos(), 12);
    }

    void selectionAndHoverTextRules() {
        QCOMPARE(capturetext::selectionToQuery(QString(49, u'a') + QStringLiteral("  \n")), QString(49, u'a'));
        QVERIFY(capturetext::selectionToQuery(QString(50, u'a')).isEmpty());
        QVERIFY(capturetext::selectionToQuery(QStringLiteral(" \n ")).isEmpty());
        QCOMPARE(capturetext::selectionToQuery(QStringLiteral("12. cherry pie")), QStringLiteral("cherry"));

        // Marks before the pointer move its offset back; marks after do not.
        const auto a = capturetext::cleanAround(QString::fromUtf8("why\xEF\xBC\x9F so? apple\nx"), 9);
        QCOMPARE(a.text, QStringLiteral("why so apple x"));
        QCOMPARE(a.text.mid(a.offset), QStringLiteral("apple x"));
    }

    // Qt counts offsets in UTF-16 units, the standard in characters: the
    // offset is taken from the application's own text, and half a surrogate
    // pair at an edge is dropped.
    void hoverWindowOffsetsComeFromTheApplicationsText() {
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        auto w = AtspiReader::windowFromTexts(QStringLiteral("one ") + emoji + QStringLiteral(" tw"),
                                              QStringLiteral("one ") + emoji + QStringLiteral(" two apple"));
        QCOMPARE(w.text.mid(w.offset, 1), QStringLiteral("o"));
        w = AtspiReader::windowFromTexts(emoji.right(1) + QStringLiteral(" ap"), emoji.right(1) + QStringLiteral(" apple") + emoji.left(1));
        QCOMPARE(w.text, QStringLiteral(" apple"));
        QCOMPARE(w.text.mid(w.offset, 1), QStringLiteral("p"));
    }

    void valueDescriptions() {
        using U = UIElementUtilities;
        QCOMPARE(U::descriptionOfValue(QPointF(1, 2.5), false), QStringLiteral("x=1 y=2.5"));
        QCOMPARE(U::stringDescriptionOfAXValue(QRectF(1, 2, 3, 4), true), QStringLiteral("<AXRectValue  x=1 y=2 w=3 h=4>"));
        QCOMPARE(U::stringDescriptionOfAXValue(QVariant::fromValue(U::Range{5, 6}), true),
                 QStringLiteral("<AXRangeValue pos=5 len=6>"));
        QCOMPARE(U::stringDescriptionOfAXValue(QStringLiteral("x"), false), QStringLiteral("AXValue???"));
        QCOMPARE(U::descriptionOfValue(QVariantList{1, 2}, false), QStringLiteral("<array of size 2>"));
        QCOMPARE(U::descriptionOfValue(QVariant::fromValue(U::Element{QStringLiteral("text"), QStringLiteral("Name")}), false),
                 QString::fromUtf8("<text: \xE2\x80\x9CName\xE2\x80\x9D>"));
        QCOMPARE(U::descriptionOfValue(QVariant::fromValue(U::Element{QStringLiteral("frame"), {}}), false),
                 QStringLiteral("<frame>"));
        QVERIFY(U::descriptionOfValue(QVariant(), false).isNull());
    }
};

QTEST_GUILESS_MAIN(CaptureLookupTest)
#include "tst_capture_lookup.moc"
