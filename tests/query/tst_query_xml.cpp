#include "query/xml/FullEntryXMLReaders.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QTest>

namespace {
QString fixture(const QString& name) {
    QFile f(QStringLiteral(MIRVOK_QUERY_DATA "/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
QVariantMap item(const QVariantList& l, int i) { return l.at(i).toMap().value("item").toMap(); }
const QString on = QStringLiteral(" ");
}  // namespace

class TestQueryXml : public QObject {
    Q_OBJECT
private slots:
    void fullEntry();
    void fullEntryTitleFromInput();
    void exampleSentences();
    void encyclopediaAndTranslation();
    void streamedSuggestions();
};

void TestQueryXml::fullEntry() {
    const MainQueryResultPtr r = MainQueryXMLResultParser().parseXML(fixture("full_entry.xml"));
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("rock"));
    QCOMPARE(r->ukPhone, QStringLiteral("[rɒk]"));
    QCOMPARE(r->usPhone, QStringLiteral("[rɑːk]"));  // already bracketed: kept
    QCOMPARE(r->ukSpeech, QStringLiteral("rock&type=1"));
    QCOMPARE(r->simpleTrans.size(), 2);
    QCOMPARE(item(r->simpleTrans, 1).value("trans").toString(), QStringLiteral("v. 摇动"));
    QCOMPARE(item(r->synos, 0).value("ws").toString(),
             QStringLiteral(" <span class='synoword' data-word='sway'>sway</span>, "
                            "<span class='synoword' data-word='sh&#39;ake'>sh&#39;ake</span>"));
    // Summarised entries are webTransWord, plain ones webTrans, as for JSON.
    QCOMPARE(r->webTransWord.size(), 1);
    QCOMPARE(item(r->webTransWord, 0).value("summary").toString(), QStringLiteral("摇滚乐"));
    QCOMPARE(r->webTrans.size(), 1);
    QCOMPARE(item(r->webTrans, 0).value("trans").toString(), QStringLiteral("摇滚乐; 岩石音乐; "));
    QCOMPARE(r->hasWebTrans, on);
    QCOMPARE(item(r->sentences, 0).value("host").toString(), QStringLiteral("s.example.test"));
    QCOMPARE(item(r->sentences, 0).value("speechsentence").toString(), QStringLiteral("ts"));
    QCOMPARE(item(r->baike, 0).keys(), QStringList({"key", "summary"}));
    QVERIFY(r->hasNoAnyTrans.isNull());
    QCOMPARE(r->online, on);
    const auto html = MainQueryXMLResultParser().genHTML(fixture("full_entry.xml"));
    QVERIFY(html);
    QVERIFY(html->contains("[rɒk]") && !html->contains("[[rɒk]]"));
    QVERIFY(!MainQueryXMLResultParser().parseXML("<mirvodict>"));
}

void TestQueryXml::fullEntryTitleFromInput() {
    const MainQueryResultPtr r = MainQueryXMLResultParser().parseXML(
        "<mirvodict><input>rock &amp;amp; roll &amp;#20013;</input></mirvodict>");
    QCOMPARE(r->title, QStringLiteral("rock & roll 中"));
    QCOMPARE(r->hasNoAnyTrans, on);
}

void TestQueryXml::exampleSentences() {
    const LjSearchResult r = LjSearchXMLResultParser().parseXML(
        "<mirvodict><return-phrase>go</return-phrase><subpair><subqueryword>went</subqueryword>"
        "<subdisplayWord>Went</subdisplayWord></subpair><example-sentences>"
        "<sentence-pair><sentence-eng>Go.</sentence-eng><sentence-translation>走。</sentence-translation>"
        "<sentence-speech>go</sentence-speech></sentence-pair>"
        "<sentence-pair><sentence>Gone.</sentence><sentence-translation>去了。</sentence-translation>"
        "<sentence-translation-speech>qule</sentence-translation-speech></sentence-pair>"
        "</example-sentences></mirvodict>");
    QCOMPARE(r.title, QStringLiteral("go"));
    QCOMPARE(item(r.subpair, 0).value("displayword").toString(), QStringLiteral("Went"));
    QCOMPARE(r.sentences.size(), 2);
    QCOMPARE(item(r.sentences, 1).value("speechsentence").toString(), QStringLiteral("qule"));
    QVERIFY(r.transpeech);
    QCOMPARE(r.hasSentences, on);
    QVERIFY(r.noAnySentence.isNull());
    QCOMPARE(LjSearchXMLResultParser().parseXML("garbage").noAnySentence, on);
    QCOMPARE(LjSearchXMLResultParser().parseXML("<mirvodict/>").noAnySentence, on);
}

void TestQueryXml::encyclopediaAndTranslation() {
    const QString xml =
        "<mirvodict><BAIKE-DETAILS><title>月</title><headSection>首段</headSection>"
        "<sections><section><subtitle>历史</subtitle><content>见<a href='x'>链接</a></content></section>"
        "</sections></BAIKE-DETAILS><BAIKE-SEARCH><items><item><title>月亮</title></item></items>"
        "</BAIKE-SEARCH></mirvodict>";
    QVERIFY(BaikeXMLResultParser::preprocess(xml).contains("<a class='bklink' href='x'>"));
    const auto r = BaikeXMLResultParser().parseXML(xml);
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("月"));
    QCOMPARE(r->headsection, QStringLiteral("首段"));
    QCOMPARE(item(r->sections, 0).value("content").toString(), QStringLiteral("见链接"));
    QCOMPARE(item(r->items, 0).keys(), QStringList({"title"}));
    QVERIFY(r->noAnyTrans.isNull());
    QCOMPARE(BaikeXMLResultParser().parseXML("<mirvodict/>")->noAnyTrans, on);

    const auto t = FanyiSearchXMLResultParser().parseXML(
        "<response><input>hello</input><translation>你好</translation></response>");
    QCOMPARE(t->sentence, QStringLiteral("hello"));
    QCOMPARE(*FanyiSearchXMLResultParser().genHTML(
                 "<response><translation>你好</translation></response>"), QStringLiteral("你好"));
    QVERIFY(!FanyiSearchXMLResultParser().genHTML("<response>").has_value());
}

void TestQueryXml::streamedSuggestions() {
    QString xml = "<suggest><items>";
    for (int i = 0; i < 25; ++i)
        xml += QStringLiteral("<item><title>t%1&lt;</title><explain>e%1</explain></item>").arg(i);
    xml += "<item><explain>orphan</explain></item></items></suggest>";
    SuggestXMLParserDelegate d;
    QStringList got;
    int calls = 0;
    QObject owner;
    d.setCallBackTarget(&owner, [&](const QStringList& rows) { got = rows; ++calls; });
    d.parse(xml);
    QCOMPARE(calls, 1);
    QCOMPARE(got.size(), 20);
    QCOMPARE(got.first(), QStringLiteral("<tr><td class='sg-title'>t0&lt;</td><td class='sg-explain'>e0</td></tr>"));
    d.parse("<suggest><items><item><explain>no title</explain></item>");  // stops at the broken end
    QCOMPARE(calls, 2);
    QVERIFY(got.isEmpty());
}

QTEST_GUILESS_MAIN(TestQueryXml)
#include "tst_query_xml.moc"
