#include "models/FSearchResult.h"
#include "models/LjSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/MustacheData.h"
#include "models/SuggestResult.h"
#include "query/FSearchXMLResultParser.h"
#include "query/HistoryRecordingFlags.h"
#include "query/MVDictHistory.h"
#include "query/MainQueryJSONResultParser.h"
#include "query/SideBarItemModel.h"
#include "query/SuggestXMLResultParser.h"
#include "query/WordPresence.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QString fixture(const QString& name) {
    QFile f(QStringLiteral(MIRVOK_QUERY_DATA "/") + name);
    if (!f.open(QIODevice::ReadOnly)) qFatal("missing fixture %s", qPrintable(name));
    return QString::fromUtf8(f.readAll());
}

class FakeWordBook : public WordPresence {
public:
    QStringList words;
    bool hasWord(const QString& w) const override { return words.contains(w); }
};

QString itemText(const QVariantList& list, int i, const char* key) {
    return list.at(i).toMap().value("item").toMap().value(key).toString();
}
QStringList itemKeys(const QVariantList& list, int i) {
    return list.at(i).toMap().value("item").toMap().keys();
}
const QString on = QStringLiteral(" ");

}  // namespace

class TestQueryReaders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fullEntryHead();
    void fullEntrySections();
    void webTranslationsFollowSummaryRule();
    void sentencesAndSynonyms();
    void reverseFormAndHistoryDefinition();
    void titlesWithoutSimple();
    void typosOnlyAndDigestOnly();
    void malformedAndWronglyTypedAnswers_data();
    void malformedAndWronglyTypedAnswers();
    void historyFollowsRecordingFlags();
    void favoritedAndSideBarFlags();
    void renderedEntryEscapesServiceText();
    void localParaphraseSwizzle();
    void quickResultReader();
    void quickResultSpeechRules_data();
    void quickResultSpeechRules();
    void suggestionReader();
    void mustacheTruthTable();

private:
    std::unique_ptr<TestEnv> env_;
    FakeWordBook book_;
};

void TestQueryReaders::init() {
    env_ = std::make_unique<TestEnv>();
    MVDictHistory::resetSharedInstance();
    WordPresence::setShared(&book_);
    book_.words.clear();
    HistoryRecordingFlags::sharedInstance().applicationStarted();
}

void TestQueryReaders::cleanup() {
    WordPresence::setShared(nullptr);
    MVDictHistory::resetSharedInstance();
    env_.reset();
}

void TestQueryReaders::fullEntryHead() {
    MainQueryJSONResultParser p;
    p.word = "RUN";
    const MainQueryResultPtr r = p.parseJSON(fixture("full_entry.json"));
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("run"));
    QCOMPARE(r->ukPhone, QStringLiteral("rʌn"));
    QCOMPARE(r->usSpeech, QStringLiteral("run&type=2"));
    QCOMPARE(r->speech, QStringLiteral("run"));
    QCOMPARE(r->online, on);
    QVERIFY(r->favorited.isNull());
    // Primary form: text parts and "#text" concatenated, other parts skipped;
    // a line without "i" and an empty "tr" add nothing.
    QCOMPARE(r->simpleTrans.size(), 2);
    QCOMPARE(itemText(r->simpleTrans, 0, "trans"), QStringLiteral("v. 跑；奔跑"));
    QCOMPARE(itemText(r->simpleTrans, 1, "trans"), QStringLiteral("n. 跑步"));
    QCOMPARE(r->hasSimpleTrans, on);
    QCOMPARE(r->pic, QStringLiteral("http://pic.example.test/run.jpg"));
    QVERIFY(r->hasNoAnyTrans.isNull());
}

void TestQueryReaders::fullEntrySections() {
    MainQueryJSONResultParser p;
    const MainQueryResultPtr r = p.parseJSON(fixture("full_entry.json"));
    QVERIFY(r);
    QCOMPARE(r->dictDisplayName, QStringLiteral("21世纪大英汉词典"));
    QCOMPARE(r->ec21Dict.toMap().value("dictName").toString(), r->dictDisplayName);
    QVERIFY(r->ec21Dict.toMap().contains("word"));
    QCOMPARE(r->hasEc21, on);
    QCOMPARE(r->hasAuthTrans, on);
    QCOMPARE(r->hasEE, on);
    QCOMPARE(r->hasCollins, on);
    QCOMPARE(r->hasPhrs, on);
    QCOMPARE(r->phrs_word, QStringLiteral("run"));
    QCOMPARE(r->hasRelword, on);
    QCOMPARE(r->rels.toList().size(), 1);
    QCOMPARE(r->hasPhrsTab, on);
    QCOMPARE(r->hasTypos, on);
    QCOMPARE(r->hasWebResults, on);
    QCOMPARE(r->hasAuthSentence, on);
    QCOMPARE(r->hasMediaSentence, on);
    QCOMPARE(r->hasSentencesTab, on);
    QCOMPARE(r->hasSpecial, on);
    QCOMPARE(r->special_total.toInt(), 3);
    QCOMPARE(r->special_co_add_url.toString(), QStringLiteral("http://co.example.test/add"));
    QCOMPARE(r->special_summary_text, QStringLiteral("专业释义摘要"));
    QCOMPARE(r->special_summary_src_site, QStringLiteral("专业站"));
    QCOMPARE(r->special_summary_src_url, QStringLiteral("http://sp.example.test/"));
    QCOMPARE(r->hasHh, on);
    QCOMPARE(r->hh_src_name, QStringLiteral("汉语词典"));
    QCOMPARE(r->hh_phone, QStringLiteral("pǎo"));
    QCOMPARE(r->hh_key.toString(), QStringLiteral("跑"));
    QCOMPARE(r->hh_trans.toList().size(), 1);
    QCOMPARE(r->baike.size(), 2);
    QCOMPARE(itemKeys(r->baike, 0), QStringList({"image", "key", "source", "summary"}));
    QCOMPARE(itemText(r->baike, 1, "source"), QStringLiteral("百科"));
    QVERIFY(!itemKeys(r->baike, 1).contains("image"));
    QCOMPARE(r->hasBaike, on);
}

void TestQueryReaders::webTranslationsFollowSummaryRule() {
    // An entry with a summary line goes to webTransWord (key, value, summary,
    // url, support); one without to webTrans (key, trans). This is the
    // reading of the JSON answer and the model; the XML-era reader's
    // description swaps the two lists and is not followed.
    MainQueryJSONResultParser p;
    const MainQueryResultPtr r = p.parseJSON(fixture("full_entry.json"));
    QCOMPARE(r->webTransWord.size(), 1);
    QCOMPARE(itemText(r->webTransWord, 0, "key"), QStringLiteral("run"));
    QCOMPARE(itemText(r->webTransWord, 0, "value"), QStringLiteral("运行"));
    QVERIFY(itemText(r->webTransWord, 0, "summary").startsWith("程序运行"));
    QCOMPARE(itemText(r->webTransWord, 0, "support"), QStringLiteral("12"));
    QCOMPARE(r->webTrans.size(), 2);
    QCOMPARE(itemKeys(r->webTrans, 0), QStringList({"key", "trans"}));
    QCOMPARE(itemText(r->webTrans, 1, "trans"), QStringLiteral("逃跑"));
    QCOMPARE(r->hasWebTrans, on);
    QCOMPARE(r->hasWebTransWord, on);

    const MainQueryResultPtr onlySummary = p.parseJSON(
        R"({"web_trans":{"web-translation":[{"key":"k","trans":[{"value":"v","summary":{"line":["s"]}}]}]}})");
    QVERIFY(onlySummary->webTrans.isEmpty());
    QCOMPARE(onlySummary->hasWebTrans, on);  // set through webTransWord alone
    // The record ends at "url", so "support" is absent too.
    QCOMPARE(itemKeys(onlySummary->webTransWord, 0), QStringList({"key", "summary", "value"}));
}

void TestQueryReaders::sentencesAndSynonyms() {
    MainQueryJSONResultParser p;
    const MainQueryResultPtr r = p.parseJSON(fixture("full_entry.json"));
    QCOMPARE(r->sentences.size(), 3);
    QCOMPARE(itemText(r->sentences, 0, "host"), QStringLiteral("news.example.test"));
    QCOMPARE(itemText(r->sentences, 0, "speechsentence"), QStringLiteral("He+runs+fast"));
    QCOMPARE(itemText(r->sentences, 1, "speechsentence"), QStringLiteral("paozhe"));
    QCOMPARE(itemKeys(r->sentences, 2), QStringList({"sentence"}));
    // An empty text is a value: the record goes on after it.
    const MainQueryResultPtr empty = p.parseJSON(
        R"({"blng_sents_part":{"sentence-pair":[{"sentence":"","sentence-speech":"s","sentence-translation":"t"}]}})");
    QCOMPARE(itemKeys(empty->sentences, 0), QStringList({"sentence", "speechsentence", "trans"}));
    QCOMPARE(r->hasSentences, on);

    QCOMPARE(r->synos.size(), 3);  // the entry without "syno" is skipped
    QCOMPARE(itemText(r->synos, 0, "trans"), QStringLiteral("跑；奔"));
    QCOMPARE(itemText(r->synos, 0, "ws"),
             QStringLiteral(" <span class='synoword' data-word='race'>race</span>, "
                            "<span class='synoword' data-word='sprint'>sprint</span>"));
    // The fragment is HTML: a word from the service cannot add markup to it.
    QCOMPARE(itemText(r->synos, 1, "ws"),
             QStringLiteral(" <span class='synoword' data-word='&lt;b&gt;manage&lt;/b&gt;'>"
                            "&lt;b&gt;manage&lt;/b&gt;</span>"));
    QCOMPARE(itemText(r->synos, 2, "ws"), QString(""));

    const MainQueryResultPtr mediaOnly =
        p.parseJSON(R"({"media_sents_part":{"sent":[{"eng":"x"}]},"auth_sents_part":{"sent":[]}})");
    QCOMPARE(mediaOnly->hasMediaSentence, on);
    QVERIFY(mediaOnly->hasAuthSentence.isNull());
    QCOMPARE(mediaOnly->hasSentencesTab, on);
    QCOMPARE(mediaOnly->hasNoAnyTrans, on);  // media sentences alone are not a translation

    // Synonyms alone are something to show.
    const MainQueryResultPtr synonymsOnly = p.parseJSON(
        R"({"simple":{"word":[{"return-phrase":"dash"}]},"syno":{"synos":[{"syno":{"tran":"冲","ws":[{"w":"rush"}]}}]}})");
    QCOMPARE(synonymsOnly->hasSynos, on);
    QVERIFY(synonymsOnly->hasNoAnyTrans.isNull());
}

void TestQueryReaders::reverseFormAndHistoryDefinition() {
    MainQueryJSONResultParser p;
    p.word = "apple";
    p.dict = "";  // empty means "ce"
    p.another_dict = "ec";
    const QString json = fixture("reverse_entry.json");
    const MainQueryResultPtr r = p.parseJSON(json);
    QCOMPARE(p.dict, QStringLiteral("ce"));
    // One element per part; a "#text" part by its text, other kinds skipped.
    QCOMPARE(r->simpleTrans.size(), 3);
    QCOMPARE(itemText(r->simpleTrans, 0, "trans"), QStringLiteral("n. 苹果"));
    QCOMPARE(itemText(r->simpleTrans, 2, "trans"), QStringLiteral("苹果公司"));
    QCOMPARE(r->dictDisplayName, QStringLiteral("新汉英大辞典"));

    const auto items = MVDictHistory::sharedInstance()->getDictHistory();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].displayWord, QStringLiteral("apple"));
    QCOMPARE(items[0].definition, QStringLiteral("n. 苹果 n. 苹果树 苹果公司 "));
    QCOMPARE(MVDictHistory::sharedInstance()->jsonDefinition("apple"), json);

    // A section whose lists are empty records nothing; no section records "".
    p.parseJSON(R"({"simple":{"word":[{"return-phrase":"empty"}]},"ce":{"word":[{"trs":[]}]}})");
    p.parseJSON(R"({"simple":{"word":[{"return-phrase":"bare"}]}})");
    QCOMPARE(MVDictHistory::sharedInstance()->jsonDefinition("empty"), QString());
    QVERIFY(!MVDictHistory::sharedInstance()->jsonDefinition("bare").isNull());
}

void TestQueryReaders::titlesWithoutSimple() {
    MainQueryJSONResultParser p;
    p.word = "zzz";
    MainQueryResultPtr r = p.parseJSON(R"({"input":"ignored"})");
    QCOMPARE(r->title, QStringLiteral("zzz"));
    QCOMPARE(r->hasNoAnyTrans, on);
    QCOMPARE(r->online, on);
    r = p.parseJSON(R"({"simple":{"word":[{"ukphone":"x"}]}})");
    QVERIFY(r->title.isEmpty());
    r = p.parseJSON(R"({"simple":{"word":[{}]},"input":"echo"})");
    QCOMPARE(r->title, QStringLiteral("echo"));
}

void TestQueryReaders::typosOnlyAndDigestOnly() {
    MainQueryJSONResultParser p;
    p.word = "teh";
    MainQueryResultPtr r = p.parseJSON(R"({"typos":{"typo":[{"word":"the"}]}})");
    QCOMPARE(r->hasTypos, on);
    QCOMPARE(r->hasNoAnyTrans, on);
    r = p.parseJSON(R"({"simple":{"word":[{"return-phrase":"x"}]},
                       "wikipedia_digest":{"source":{"name":"Wiki"},"summarys":[{"key":"X","summary":"s"}]}})");
    QCOMPARE(r->hasBaike, on);
    QCOMPARE(itemText(r->baike, 0, "source"), QStringLiteral("Wiki"));
    QVERIFY(r->hasNoAnyTrans.isNull());
    // Nothing at all: every flag but hasNoAnyTrans and online stays unset.
    r = p.parseJSON("{}");
    const QVariantMap m = r->toMustache();
    QStringList flags;
    for (auto it = m.begin(); it != m.end(); ++it)
        if (it.key().startsWith("has")) flags << it.key();
    QCOMPARE(flags, QStringList({"hasNoAnyTrans"}));
    QCOMPARE(m.value("online").toString(), on);
}

void TestQueryReaders::malformedAndWronglyTypedAnswers_data() {
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("parses");
    QTest::newRow("not json") << "<html>502</html>" << false;
    QTest::newRow("truncated") << R"({"simple":{"word":[)" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("top-level number") << "42" << true;
    QTest::newRow("top-level string") << "\"x\"" << true;
    QTest::newRow("top-level null") << "null" << true;
    QTest::newRow("top-level array") << "[1,2]" << true;
    QTest::newRow("simple is number") << R"({"simple":5,"ce":"x","ec21":[1]})" << true;
    QTest::newRow("word is object") << R"({"simple":{"word":{"return-phrase":"a"}}})" << true;
    QTest::newRow("return-phrase object") << R"({"simple":{"word":[{"return-phrase":{"l":1}}]}})" << true;
    QTest::newRow("trs wrong") << R"({"ce":{"word":[{"trs":{"tr":1}}]}})" << true;
    QTest::newRow("tr items wrong") << R"({"ce":{"word":[{"trs":[{"tr":[1,"x",{"l":"y"},{"l":{"i":null}}]}]}]}})" << true;
    QTest::newRow("web_trans wrong") << R"({"web_trans":{"web-translation":[1,{"key":2,"trans":"x"},{"trans":[3,{"summary":{"line":{}}}]}]}})" << true;
    QTest::newRow("sentences wrong") << R"({"blng_sents_part":{"sentence-pair":[1,{"url":7},{"sentence":[]}]}})" << true;
    QTest::newRow("syno wrong") << R"({"syno":{"synos":[{"syno":1},{"syno":{"ws":[1,{"w":{}}]}}]}})" << true;
    QTest::newRow("baike wrong") << R"({"baike":{"summarys":{"a":1}},"wikipedia_digest":[]})" << true;
    QTest::newRow("pic object") << R"({"pic_dict":{"pic":{"image":"x"}}})" << true;
    QTest::newRow("hh wrong") << R"({"hh":{"source":1,"word":[1]}})" << true;
    QTest::newRow("special wrong") << R"({"special":{"summary":"x"}})" << true;
    QTest::newRow("sections of wrong type")
        << R"({"ee":5,"collins":"x","phrs":[],"special":true,"hh":"y","syno":1,"rel_word":[1],"ec21":"z"})" << true;
}

void TestQueryReaders::malformedAndWronglyTypedAnswers() {
    QFETCH(QString, json);
    QFETCH(bool, parses);
    MainQueryJSONResultParser p;
    p.word = "w";
    const MainQueryResultPtr r = p.parseJSON(json);
    QCOMPARE(bool(r), parses);
    if (r) {
        QCOMPARE(r->online, on);
        QVERIFY(r->pic.isEmpty());
        // Still renders.
        QVERIFY(mustachedata::render("mainquerytemplate", r->toMustache()).has_value());
        if (QByteArray(QTest::currentDataTag()) == "sections of wrong type") {
            QStringList flags;
            const QVariantMap m = r->toMustache();
            for (auto it = m.begin(); it != m.end(); ++it)
                if (it.key().startsWith("has")) flags << it.key();
            QCOMPARE(flags, QStringList({"hasNoAnyTrans"}));
        }
    } else {
        QVERIFY(!p.genHTML(json).has_value());
    }
}

void TestQueryReaders::historyFollowsRecordingFlags() {
    HistoryRecordingFlags& flags = HistoryRecordingFlags::sharedInstance();
    MainQueryJSONResultParser p;
    flags.switchedToHistory();
    p.parseJSON(fixture("full_entry.json"));
    QVERIFY(MVDictHistory::sharedInstance()->getDictHistory().isEmpty());
    flags.switchedToFavourites();
    flags.setShouldRecordHistory(false);  // one lookup kept out
    p.parseJSON(fixture("full_entry.json"));
    QVERIFY(MVDictHistory::sharedInstance()->getDictHistory().isEmpty());
    QVERIFY(flags.shouldRecordHistory());
    p.parseJSON(fixture("full_entry.json"));
    const auto items = MVDictHistory::sharedInstance()->getDictHistory();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].definition, QStringLiteral("v. 跑；奔跑 n. 跑步 "));
    // Invalid JSON neither records nor consumes the flag.
    flags.setShouldRecordHistory(false);
    flags.setNeedToRecordHistory(true);
    p.parseJSON("not json");
    QVERIFY(!flags.shouldRecordHistory());
}

void TestQueryReaders::favoritedAndSideBarFlags() {
    book_.words << "run";
    MainQueryJSONResultParser p;
    const auto html = p.genHTML(fixture("full_entry.json"));
    QVERIFY(html);
    SideBarItemModel& side = SideBarItemModel::sharedInstance();
    QCOMPARE(side.hasAuthTrans(), on);
    QCOMPARE(side.hasWebTrans(), on);
    QCOMPARE(side.hasSentences(), on);
    QCOMPARE(side.hasBaike(), on);
    QVERIFY(html->contains("data-wordbook-remove"));
    QVERIFY(p.parseJSON(fixture("full_entry.json"))->favorited == "YES");

    QVERIFY(!p.genHTML("{broken").has_value());
    QVERIFY(side.hasAuthTrans().isNull());
    QVERIFY(side.hasBaike().isNull());

    WordPresence::setShared(nullptr);  // no word book yet: nothing is favourited
    QVERIFY(p.parseJSON(fixture("full_entry.json"))->favorited.isNull());
}

void TestQueryReaders::renderedEntryEscapesServiceText() {
    MainQueryJSONResultParser p;
    const auto html = p.genHTML(fixture("full_entry.json"));
    QVERIFY(html);
    QVERIFY(html->trimmed().startsWith("<div class=\"entry\""));  // nothing of the template's notes leaks
    for (const char* anchor : {"id=\"authTrans\"", "id=\"webTrans\"", "id=\"examples\"", "id=\"eBaike\"",
                               "wt-container wt-collapse", "data-wordbook-add", "data-audio=\"http://"})
        QVERIFY2(html->contains(QLatin1String(anchor)), anchor);
    QVERIFY(!html->contains("<script>"));
    QVERIFY(html->contains("&lt;script&gt;"));
    QVERIFY(html->contains("竞选 &lt;b&gt;bold&lt;/b&gt;"));
    QVERIFY(html->contains("<span class='synoword' data-word='race'>race</span>"));
    QVERIFY(html->contains("21世纪大英汉词典"));
    QVERIFY(html->contains("data-definition=\"v. 跑；奔跑&#10;n. 跑步&#10;\""));

    // The offline form: no pronunciation links, phonetic kept as stored.
    MainQueryResult offline;
    offline.title = "cat";
    offline.phone = "[kæt]";
    offline.simpleTrans = {QVariantMap{{"item", QVariantMap{{"trans", "n. 猫"}}}}};
    offline.hasSimpleTrans = on;
    offline.speech = "cat";
    const auto off = mustachedata::render("mainquerytemplate", offline.toMustache());
    QVERIFY(off);
    QVERIFY(off->contains("[kæt]"));
    QVERIFY(!off->contains("[[kæt]]"));
    QVERIFY(!off->contains("data-audio"));
    QVERIFY(off->contains("entry-offline"));

    // Example sentences keep the service's inline emphasis, nothing else.
    const QString marked = "An <b>apple</b> a <EM>day</EM> <i>x</i><strong>y</strong> <b onclick=f()>z</b><script>";
    const QString shown = "An <b>apple</b> a <EM>day</EM> <i>x</i><strong>y</strong> &lt;b onclick=f()&gt;z</b>"
                          "&lt;script&gt;";
    offline.sentences = {QVariantMap{{"item", QVariantMap{{"sentence", marked}, {"trans", "一天<b>一个</b>"}}}}};
    offline.hasSentences = on;
    offline.hasSentencesTab = on;
    const auto withExamples = mustachedata::render("mainquerytemplate", offline.toMustache());
    QVERIFY(withExamples && withExamples->contains(shown));
    QVERIFY(withExamples->contains("一天<b>一个</b>"));
    LjSearchResult examples;
    examples.sentences = offline.sentences;
    examples.hasSentences = on;
    examples.mediaSentences = QJsonDocument::fromJson(R"([{"eng":"<i>Go</i><u>!</u>","chn":"走"}])").array();
    examples.hasMediaSentence = on;
    const auto page = mustachedata::render("ljtemplate", examples.toMustache());
    QVERIFY(page && page->contains(shown));
    QVERIFY(page->contains("<i>Go</i>&lt;u&gt;!&lt;/u&gt;"));
}

void TestQueryReaders::localParaphraseSwizzle() {
    MainQueryJSONResultParser p;
    p.word = "mine";
    p.shouldSwizzleLocalParaphase = true;
    p.localWordParaphase = {QVariantMap{{"item", QVariantMap{{"trans", "我的释义"}}}}};
    p.phonetic = "maɪn";
    const auto html = p.genHTML("{}");
    QVERIFY(html);
    QVERIFY(html->contains("我的释义"));
    QVERIFY(!html->contains("没有找到"));
}

void TestQueryReaders::quickResultReader() {
    FSearchXMLResultParser p;
    const FSearchResultPtr r = p.parseXML(fixture("fsearch.xml"));
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("hello"));  // the last one, all text inside it
    QCOMPARE(r->phone, QStringLiteral("[hə'ləʊ]"));
    QCOMPARE(r->trans, QStringList({"int. 喂；哈罗", "n. <问候> & 招呼"}));
    QVERIFY(r->haveSpeech);
    const auto html = p.genHTML(fixture("fsearch.xml"));
    QVERIFY(html);
    QVERIFY(html->contains("n. &lt;问候&gt; &amp; 招呼"));
    QVERIFY(html->contains("dictvoice?audio=hello\""));

    QVERIFY(!p.parseXML(QString()));
    QVERIFY(!p.parseXML("<mirvodict><unclosed></mirvodict>"));
    QVERIFY(!p.genHTML("not xml").has_value());
    QCOMPARE(*p.genHTML("<mirvodict><return-phrase>x</return-phrase></mirvodict>"), QString(""));
    // A document type with entities is refused rather than expanded.
    QVERIFY(!p.parseXML("<?xml version='1.0'?><!DOCTYPE m [<!ENTITY a 'aaaa'>]>"
                        "<mirvodict><return-phrase>&a;</return-phrase></mirvodict>"));
}

void TestQueryReaders::quickResultSpeechRules_data() {
    QTest::addColumn<QString>("xml");
    QTest::addColumn<bool>("speech");
    QTest::newRow("ce") << "<mirvodict><custom-translation><type>ce</type></custom-translation></mirvodict>" << false;
    QTest::newRow("ec") << "<mirvodict><custom-translation><type>ec</type></custom-translation></mirvodict>" << true;
    QTest::newRow("no type") << "<mirvodict><custom-translation/></mirvodict>" << true;
    QTest::newRow("no block") << "<mirvodict><return-phrase>x</return-phrase></mirvodict>" << false;
    QTest::newRow("nested root") << "<r><mirvodict><custom-translation><type>jc</type>"
                                    "<translation><content>t</content></translation></custom-translation></mirvodict></r>" << true;
}

void TestQueryReaders::quickResultSpeechRules() {
    QFETCH(QString, xml);
    QFETCH(bool, speech);
    const FSearchResultPtr r = FSearchXMLResultParser().parseXML(xml);
    QVERIFY(r);
    QCOMPARE(r->haveSpeech, speech);
    QVERIFY(r->phone.isEmpty());
}

void TestQueryReaders::suggestionReader() {
    QString xml = "<suggest><items>";
    for (int i = 0; i < 15; ++i)
        xml += QStringLiteral("<item><title>w%1</title><explain>e%1</explain></item>").arg(i);
    xml += "</items></suggest>";
    const auto r = SuggestXMLResultParser().parseXML(xml);
    QVERIFY(r);
    QCOMPARE(r->items.size(), 10);
    QCOMPARE(r->items[9].title, QStringLiteral("w9"));
    QCOMPARE(r->items[9].explain, QStringLiteral("e9"));

    const auto partial = SuggestXMLResultParser().parseXML(
        "<suggest><items><item><explain>only</explain></item><item><title>t</title></item></items></suggest>");
    QCOMPARE(partial->items.size(), 2);
    const QVariantList list = partial->toMustache().value("items").toList();
    QVERIFY(list[0].toMap().value("item").toMap().isEmpty());
    QCOMPARE(list[1].toMap().value("item").toMap().keys(), QStringList({"title"}));
    QVERIFY(!SuggestXMLResultParser().parseXML("<suggest>").has_value());
    QCOMPARE(SuggestXMLResultParser().parseXML("<suggest/>")->items.size(), 0);
}

void TestQueryReaders::mustacheTruthTable() {
    const QString tmpl = "{{#f}}F{{/f}}{{^f}}-{{/f}}|{{#l}}<{{item}}>{{/l}}{{^l}}empty{{/l}}|{{n}}|{{d}}|"
                         "{{#b}}T{{/b}}{{^b}}nb{{/b}}|{{#z}}Z{{/z}}{{^z}}nz{{/z}}|{{j.k}}";
    auto render = [&](const QVariantMap& m) { return *mustachedata::renderText(tmpl, m); };

    QVariantMap m;
    mustachedata::insertIfSet(m, "f", mustachedata::flag(true));
    m.insert("l", QVariantList{QVariantMap{{"item", "a"}}, QVariantMap{{"item", 2.0}}});
    m.insert("n", 3.0);
    m.insert("d", 2.5);
    m.insert("b", true);
    m.insert("j", QJsonDocument::fromJson(R"({"k":7})").object());
    QCOMPARE(render(m), QStringLiteral("F|<a><2>|3|2.5|T|nz|7"));

    QVariantMap unset;
    mustachedata::insertIfSet(unset, "f", mustachedata::flag(false));
    mustachedata::insertIfSet(unset, "z", QVariant());
    mustachedata::insertIfSet(unset, "n", QString(""));
    unset.insert("l", QVariantList());
    unset.insert("b", false);
    unset.insert("d", QVariant::fromValue(nullptr));
    QVERIFY(!unset.contains("f") && !unset.contains("z") && !unset.contains("n"));
    QCOMPARE(render(unset), QStringLiteral("-|empty|||nb|nz|"));

    // Whole numbers print as integers, large ones too; others round-trip.
    QCOMPARE(mustachedata::numberText(1e12), QStringLiteral("1000000000000"));
    QCOMPARE(mustachedata::numberText(-0.1), QStringLiteral("-0.1"));

    FSearchResult fs;
    fs.title = "a&b";
    fs.trans = {"x"};
    const QVariantMap fm = fs.toMustache();
    QCOMPARE(fm.value("haveSpeech").toBool(), false);
    QVERIFY(!fm.contains("phone"));
    QCOMPARE(fm.value("speechTitle").toString(), QStringLiteral("a%26b"));
    QVERIFY(!mustachedata::render("no-such-template", {}).has_value());
}

QTEST_GUILESS_MAIN(TestQueryReaders)
#include "tst_query_readers.moc"
