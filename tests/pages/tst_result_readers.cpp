// The answer readers of the example-sentence, encyclopedia and translation
// tabs, and what their templates make of the results.
#include "query/controllers/BaikeJSONResultParser.h"
#include "query/controllers/FanyiSearchJSONResultParser.h"
#include "query/controllers/LjSearchJSONResultParser.h"

#include "tst_result_readers.h"

#include <QtTest>

void TestResultReaders::sentencesReadPairsAndSpeechFallback()
{
    const QString json = QStringLiteral(R"({"blng_sents":{"sentence-pair":[
        {"sentence-eng":"An apple a day.","sentence-translation":"一天一苹果。","sentence-speech":"s1"},
        {"sentence-eng":"Green apple.","sentence-translation":"青苹果。","sentence-translation-speech":"t2"},
        {"sentence-eng":"No translation here"},
        {"sentence-translation":"only a translation"}]},
        "media_sents":{"sent":[{"eng":"media one"}]}})");
    const auto r = LjSearchJSONResultParser().parseJSON(json);
    QVERIFY(r.has_value());
    QCOMPARE(r->sentences.size(), 4);
    const auto item = [&](int i) { return r->sentences.at(i).toMap().value("item").toMap(); };
    QCOMPARE(item(0).value("speechsentence").toString(), QString("s1"));
    QCOMPARE(item(1).value("speechsentence").toString(), QString("t2"));
    QVERIFY(r->transpeech);
    // A map ends at its first missing value.
    QCOMPARE(item(2).keys(), QStringList{"sentence"});
    QVERIFY(item(3).isEmpty());
    QCOMPARE(r->hasSentences, QString(" "));
    QVERIFY(r->noAnySentence.isEmpty());
    QCOMPARE(r->hasMediaSentence, QString(" "));
    QVERIFY(r->hasAuthSentence.isEmpty());
}

void TestResultReaders::sentencesWithoutPairsShowNothingElse()
{
    const auto r = LjSearchJSONResultParser().parseJSON(
        QStringLiteral(R"({"blng_sents":{"sentence-pair":[]},"auth_sents":{"sent":[{"foreign":"x"}]}})"));
    QVERIFY(r.has_value());
    QCOMPARE(r->noAnySentence, QString(" "));
    QVERIFY(r->hasAuthSentence.isEmpty());
    QVERIFY(r->sentences.isEmpty());
    QCOMPARE(LjSearchJSONResultParser().parseJSON(QString())->noAnySentence, QString(" "));
    QVERIFY(!LjSearchJSONResultParser().parseJSON(QStringLiteral("<html>busy</html>")).has_value());
    QVERIFY(!LjSearchJSONResultParser().genHTML(QStringLiteral("{broken")).has_value());
}

void TestResultReaders::sentenceTemplateEscapesServiceText()
{
    const auto html = LjSearchJSONResultParser().genHTML(QString::fromUtf8(
        "{\"blng_sents\":{\"sentence-pair\":[{\"sentence-eng\":\"<img src=x onerror=alert(1)>\","
        "\"sentence-translation\":\"好\"}]}}"));
    QVERIFY(html.has_value());
    QVERIFY(!html->contains("<img src=x"));
    QVERIFY(html->contains("&lt;img"));
    QVERIFY(html->contains("id=\"examples\""));
}

void TestResultReaders::articleSourcesAndInput()
{
    const BaikeJSONResultParser p;
    BaikeJSONResult a = p.parseJSON(QStringLiteral(R"({"input":"bk:苹果","baike_detail":{"title":"苹果",
        "headSection":"lead","enword":"Apple","sections":{"section":[{"subtitle":"历史","content":"c"},{"content":"only"}]},
        "source":{"name":"米沃百科","url":"http://bk.example/a"}}})"));
    QCOMPARE(a.source, 1);
    QCOMPARE(a.input, QString("苹果"));
    QCOMPARE(a.enword, QString("Apple"));
    QCOMPARE(a.sections.size(), 2);
    // The item map ends at its first missing value.
    QVERIFY(a.sections.at(1).toMap().value("item").toMap().isEmpty());
    QCOMPARE(a.sourceurl, QString("http://bk.example/a"));

    a = p.parseJSON(QStringLiteral(R"({"input":"bksy:apple","wikipedia":{"displaytitle":"Apple","zhword":"苹果",
        "sections":[{"text":"t","line":"History","toclevel":1},{"text":"no heading"},{"line":"L","toclevel":2}]}})"));
    QCOMPARE(a.source, 2);
    QCOMPARE(a.input, QString("bksy:apple"));
    QCOMPARE(a.zhword, QString("苹果"));
    QCOMPARE(a.sections.at(0).toMap().value("linetag").toString(), QString("h2"));
    QVERIFY(!a.sections.at(1).toMap().contains("line"));
    QVERIFY(!a.sections.at(1).toMap().contains("linetag"));
    QVERIFY(!a.sections.at(2).toMap().contains("text"));
    QCOMPARE(a.sections.at(2).toMap().value("linetag").toString(), QString("h3"));
    QCOMPARE(a.sourcename, QString("维基百科"));

    a = p.parseJSON(QStringLiteral("not json"));
    QVERIFY(a.noresult);
    QCOMPARE(a.source, 0);
    a = p.parseJSON(QStringLiteral(R"({"other":1})"));
    QVERIFY(a.noresult);
    // No article and no input: the empty article renders with the Wikipedia template.
    const auto html = p.genHTML(&a);
    QVERIFY(html.has_value());
    QVERIFY(html->contains("wiki"));
    QVERIFY(!p.genHTML(nullptr).has_value());
}

void TestResultReaders::searchResults()
{
    const BaikeJSONResultParser p;
    BaikeSearchJSONResult s = p.parseSearchJSON(
        QStringLiteral(R"({"baike_relative":{"source":{"typo":"apple","rawquery":"appel"}}})"));
    QVERIFY(!s.noresult);  // a typo suggestion counts as a result
    s = p.parseSearchJSON(QStringLiteral(R"({"baike_relative":{"source":{"rawquery":"zz"},"items":[]}})"));
    QVERIFY(s.noresult);
    s = p.parseSearchJSON(QStringLiteral(R"({"baike_relative":{"items":[{"title":"A"}]}})"));
    QVERIFY(!s.noresult);
    QVERIFY(p.parseSearchJSON(QStringLiteral("{")).noresult);
    const auto html = p.htmlSearchResult(QStringLiteral(R"({"baike_relative":{"items":[{"title":"Apple Inc."}]}})"));
    QVERIFY(html && html->contains("data-query=\"Apple Inc.\""));
}

void TestResultReaders::bilingualPairRendersBothPanes()
{
    const BaikeJSONResultParser p;
    const BaikeJSONResult zh = p.parseJSON(QStringLiteral(R"({"baike_detail":{"title":"苹果","enword":"Apple"}})"));
    const BaikeJSONResult en = p.parseJSON(QStringLiteral(R"({"wikipedia":{"displaytitle":"Apple","zhword":"苹果"}})"));
    const QVariantMap results{{"zhword", zh.toMustache()}, {"enword", en.toMustache()}};
    const auto html = p.genHTMLWithZhEn(&results);
    QVERIFY(html.has_value());
    QCOMPARE(html->count("class=\"page-pane\""), 2);
    QVERIFY(html->indexOf("苹果") < html->indexOf(">Apple<"));
}

void TestResultReaders::translationJoinsSegments()
{
    const FanyiSearchJSONResultParser p;
    QCOMPARE(p.genHTML(QStringLiteral(R"({"translateResult":[[{"tgt":"Hello,"}],[{"tgt":"world"},3,{"src":"x"}]]})")),
             std::optional<QString>(QStringLiteral("Hello,world")));
    QCOMPARE(p.genHTML(QStringLiteral(R"({"errorCode":0})")), std::optional<QString>(QString()));
    QVERIFY(!p.genHTML(QStringLiteral("<html>")).has_value());
    // A bare value at the top is JSON, just without a translation.
    QCOMPARE(p.genHTML(QStringLiteral("\"text\"")), std::optional<QString>(QString()));
}

QTEST_GUILESS_MAIN(TestResultReaders)
