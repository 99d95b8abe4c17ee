#include "query/xml/FullEntryXMLReaders.h"

#include "query/MainQueryJSONResultParser.h"

#include "models/MustacheData.h"
#include "platform/XmlDocument.h"
#include "query/JsonPath.h"

#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>

using jsonpath::Record;
using mustachedata::flag;
using mustachedata::flagOn;

namespace {

// Text of the first node matching, or null when none matches.
QString firstText(const XmlDocument& doc, const QString& xpath, const XmlNode& context = XmlNode()) {
    const QVector<XmlNode> nodes = doc.select(xpath, context);
    return nodes.isEmpty() ? QString() : nodes.first().text();
}

QString childText(const XmlNode& node, const char* name) {
    const XmlNode c = node.firstChild(QLatin1String(name));
    return c.isNull() ? QString() : c.text();
}

// The host of a sentence's source address; "" (not missing) when the address
// has none, so the record goes on.
QString hostOf(const QString& url) {
    if (url.isNull()) return QString();
    const QString host = QUrl(url.trimmed()).host().trimmed();
    return host.isNull() ? QStringLiteral("") : host;
}

QString bracketed(const QString& s) {
    if (s.isNull() || s.startsWith(QLatin1Char('['))) return s;
    return QStringLiteral("[%1]").arg(s);
}

// The service's input echo may carry HTML character references.
QString decodeEntities(const QString& s) {
    if (s.isNull() || !s.contains(QLatin1Char('&'))) return s;
    static const QHash<QString, QString> named = {
        {QStringLiteral("amp"), QStringLiteral("&")},  {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},   {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")}, {QStringLiteral("nbsp"), QString(QChar(0xA0))},
    };
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const qsizetype semi = s.at(i) == QLatin1Char('&') ? s.indexOf(QLatin1Char(';'), i) : -1;
        if (semi > i + 1 && semi - i <= 10) {
            const QString ref = s.mid(i + 1, semi - i - 1);
            bool ok = false;
            uint code = 0;
            if (ref.startsWith(QLatin1String("#x")) || ref.startsWith(QLatin1String("#X")))
                code = ref.mid(2).toUInt(&ok, 16);
            else if (ref.startsWith(QLatin1Char('#')))
                code = ref.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
                i = semi;
                continue;
            }
            if (!ok && named.contains(ref)) {
                out += named.value(ref);
                i = semi;
                continue;
            }
        }
        out += s.at(i);
    }
    return out;
}

}  // namespace

MainQueryResultPtr MainQueryXMLResultParser::parseXML(const QString& xml) const {
    XmlDocument doc;
    if (!doc.parse(xml)) return nullptr;
    auto r = std::make_shared<MainQueryResult>();
    const QString word = QStringLiteral("//mirvodict/basic/simple-dict/word/");
    const bool hasSimple = !doc.select(QStringLiteral("//mirvodict/basic/simple-dict")).isEmpty();
    if (hasSimple)
        r->title = firstText(doc, word + QStringLiteral("return-phrase/l/i"));
    else
        r->title = decodeEntities(firstText(doc, QStringLiteral("//mirvodict/input")));
    r->ukPhone = bracketed(firstText(doc, word + QStringLiteral("ukphone")));
    r->usPhone = bracketed(firstText(doc, word + QStringLiteral("usphone")));
    r->ukSpeech = firstText(doc, word + QStringLiteral("ukspeech"));
    r->usSpeech = firstText(doc, word + QStringLiteral("usspeech"));

    for (const XmlNode& tr : doc.select(word + QStringLiteral("trs/tr")))
        r->simpleTrans.append(
            QVariantMap{{QStringLiteral("item"), QVariantMap{{QStringLiteral("trans"), tr.text()}}}});
    r->hasSimpleTrans = flag(!r->simpleTrans.isEmpty());

    for (const XmlNode& syno : doc.select(QStringLiteral("//mirvodict/basic/eng-syno-dict/synos/syno"))) {
        QStringList words;
        for (const XmlNode& w : doc.select(QStringLiteral("ws/w"), syno)) words << w.text();
        const QString fragment = MainQueryJSONResultParser::synonymWordsFragment(words);
        Record rec;
        rec.add("trans", childText(syno, "tran")).add("ws", fragment);
        r->synos.append(rec.item());
    }
    r->hasSynos = flag(!r->synos.isEmpty());

    // Entries with a summary are the summarised web translations
    // (webTransWord); the others list their values (webTrans), the same
    // split as the JSON answer's.
    for (const XmlNode& wt : doc.select(QStringLiteral("//mirvodict/mirvo-web-dict/web-translation"))) {
        const QString key = childText(wt, "key");
        const QVector<XmlNode> trans = wt.children(QStringLiteral("trans"));
        bool summarised = false;
        for (const XmlNode& t : trans) summarised = summarised || !t.firstChild(QStringLiteral("summary")).isNull();
        if (summarised) {
            for (const XmlNode& t : trans) {
                Record rec;
                rec.add("key", key)
                    .add("value", childText(t, "value"))
                    .add("summary", childText(t, "summary"))
                    .add("url", childText(t, "url"))
                    .add("support", childText(t, "support"));
                r->webTransWord.append(rec.item());
            }
        } else if (!trans.isEmpty()) {
            QString values;
            for (const XmlNode& t : trans) values += childText(t, "value") + QStringLiteral("; ");
            Record rec;
            rec.add("key", key).add("trans", values);
            r->webTrans.append(rec.item());
        }
    }
    r->hasWebTransWord = flag(!r->webTransWord.isEmpty());
    r->hasWebTrans = flag(!r->webTrans.isEmpty() || !r->webTransWord.isEmpty());

    for (const XmlNode& p : doc.select(QStringLiteral("//mirvodict/sentences-result/example-sentences/sentence-pair"))) {
        const QString url = childText(p, "url");
        QString speech = childText(p, "sentence-speech");
        if (speech.isNull()) speech = childText(p, "sentence-translation-speech");
        Record rec;
        rec.add("sentence", childText(p, "sentence"))
            .add("trans", childText(p, "sentence-translation"))
            .add("url", url)
            .add("host", hostOf(url))
            .add("speechsentence", speech);
        r->sentences.append(rec.item());
    }
    r->hasSentences = flag(!r->sentences.isEmpty());

    for (const XmlNode& item : doc.select(QStringLiteral("//mirvodict/baike/item"))) {
        Record rec;
        rec.add("key", childText(item, "key")).add("summary", childText(item, "summary")).add("image", childText(item, "image"));
        r->baike.append(rec.item());
    }
    r->hasBaike = flag(!r->baike.isEmpty());

    // Derived the same way as for JSON answers, so the template's sections show.
    if (!r->hasSynos.isEmpty()) r->hasPhrsTab = flagOn();
    if (!r->hasSentences.isEmpty()) r->hasSentencesTab = flagOn();
    r->hasNoAnyTrans = flag(r->hasSentences.isEmpty() && r->hasSimpleTrans.isEmpty() &&
                            r->hasWebTrans.isEmpty() && r->hasWebTransWord.isEmpty() &&
                            r->hasSynos.isEmpty());
    r->online = flagOn();
    return r;
}

std::optional<QString> MainQueryXMLResultParser::genHTML(const QString& xml) const {
    const MainQueryResultPtr r = parseXML(xml);
    if (!r) return std::nullopt;
    return mustachedata::render(QStringLiteral("mainquerytemplate"), r->toMustache());
}

LjSearchResult LjSearchXMLResultParser::parseXML(const QString& xml) const {
    LjSearchResult r;
    XmlDocument doc;
    if (!doc.parse(xml)) {
        r.noAnySentence = flagOn();
        return r;
    }
    r.title = firstText(doc, QStringLiteral("//mirvodict/displayWord"));
    if (r.title.isNull()) r.title = firstText(doc, QStringLiteral("//mirvodict/return-phrase"));
    for (const XmlNode& sp : doc.select(QStringLiteral("//mirvodict/subpair"))) {
        Record rec;
        rec.add("queryword", childText(sp, "subqueryword")).add("displayword", childText(sp, "subdisplayWord"));
        r.subpair.append(rec.item());
    }
    for (const XmlNode& p : doc.select(QStringLiteral("//mirvodict/example-sentences/sentence-pair"))) {
        QString source = childText(p, "sentence-eng");
        if (source.isNull()) source = childText(p, "sentence");
        QString speech = childText(p, "sentence-speech");
        if (speech.isNull()) {
            speech = childText(p, "sentence-translation-speech");
            r.transpeech = true;
        }
        Record rec;
        rec.add("sentence", source).add("trans", childText(p, "sentence-translation")).add("speechsentence", speech);
        r.sentences.append(rec.item());
    }
    r.hasSentences = flag(!r.sentences.isEmpty());
    r.noAnySentence = flag(r.sentences.isEmpty());
    return r;
}

std::optional<QString> LjSearchXMLResultParser::genHTML(const QString& xml) const {
    return mustachedata::render(QStringLiteral("ljtemplate"), parseXML(xml).toMustache());
}

QString BaikeXMLResultParser::preprocess(const QString& xml) {
    QString s = xml;
    s.replace(QStringLiteral("<a "), QStringLiteral("<a class='bklink' "));
    s.replace(QStringLiteral("<A "), QStringLiteral("<A class='bklink' "));
    return s;
}

std::optional<BaikeXMLResult> BaikeXMLResultParser::parseXML(const QString& xml) const {
    XmlDocument doc;
    if (!doc.parse(preprocess(xml))) return std::nullopt;
    BaikeXMLResult r;
    r.title = firstText(doc, QStringLiteral("//mirvodict/BAIKE-DETAILS/title"));
    for (const XmlNode& item : doc.select(QStringLiteral("//mirvodict/BAIKE-SEARCH/items/item"))) {
        Record rec;
        rec.add("title", childText(item, "title")).add("summary", childText(item, "summary")).add("image", childText(item, "image"));
        r.items.append(rec.item());
    }
    for (const XmlNode& sec : doc.select(QStringLiteral("//mirvodict/BAIKE-DETAILS/sections/section"))) {
        Record rec;
        rec.add("subtitle", childText(sec, "subtitle")).add("content", childText(sec, "content"));
        r.sections.append(rec.item());
    }
    r.headsection = firstText(doc, QStringLiteral("//mirvodict/BAIKE-DETAILS/headSection"));
    r.noAnyTrans = flag(r.items.isEmpty() && r.sections.isEmpty() && r.headsection.isEmpty());
    return r;
}

std::optional<QString> BaikeXMLResultParser::genHTML(const QString& xml) const {
    const auto r = parseXML(xml);
    if (!r) return std::nullopt;
    return mustachedata::render(QStringLiteral("bktemplate"), r->toMustache());
}

std::optional<FanyiSearchXMLResult> FanyiSearchXMLResultParser::parseXML(const QString& xml) const {
    XmlDocument doc;
    if (!doc.parse(xml)) return std::nullopt;
    FanyiSearchXMLResult r;
    r.sentence = firstText(doc, QStringLiteral("//response/input"));
    r.translation = firstText(doc, QStringLiteral("//response/translation"));
    return r;
}

std::optional<QString> FanyiSearchXMLResultParser::genHTML(const QString& xml) const {
    const auto r = parseXML(xml);
    if (!r) return std::nullopt;
    return r->translation;
}

void SuggestXMLParserDelegate::setCallBackTarget(QObject* target, Callback callback) {
    target_ = target;
    hasTarget_ = target != nullptr;
    callback_ = std::move(callback);
}

void SuggestXMLParserDelegate::parse(const QString& xml) {
    QXmlStreamReader reader(xml);
    QStringList rows;
    QString title;
    bool haveTitle = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) continue;
        if (reader.name() == QLatin1String("title")) {
            title = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            haveTitle = true;
        } else if (reader.name() == QLatin1String("explain") && haveTitle) {
            if (rows.size() >= kMaxRows) break;
            const QString explain = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            rows << QStringLiteral("<tr><td class='sg-title'>%1</td><td class='sg-explain'>%2</td></tr>")
                        .arg(title.toHtmlEscaped(), explain.toHtmlEscaped());
            haveTitle = false;
        }
    }
    if (!callback_ || (hasTarget_ && target_.isNull())) return;
    Callback cb = callback_;
    cb(rows);
}
