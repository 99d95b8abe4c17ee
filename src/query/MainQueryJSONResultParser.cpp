#include "query/MainQueryJSONResultParser.h"

#include "models/MustacheData.h"
#include "query/HistoryRecordingFlags.h"
#include "query/JsonPath.h"
#include "query/MVDictHistory.h"
#include "query/SideBarItemModel.h"
#include "query/WordPresence.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrl>

using namespace jsonpath;
using mustachedata::flag;
using mustachedata::flagOn;

namespace {

bool isSet(const QString& f) { return !f.isEmpty(); }

QString favoritedFor(const QString& title) {
    const WordPresence* book = WordPresence::shared();
    return (book && !title.isEmpty() && book->hasWord(title)) ? QStringLiteral("YES") : QString();
}

// A part of a translation line: text as it is, a dictionary by its "#text".
QString partText(const QJsonValue& part) {
    if (part.isString()) return part.toString();
    if (part.isObject()) return text(get(part, "#text"));
    return QString();
}

QJsonArray partsOf(const QJsonValue& i) {
    if (i.isArray()) return i.toArray();
    // A lone part where a list was expected reads as a list of one.
    if (i.isString() || i.isObject()) return QJsonArray{i};
    return QJsonArray();
}

QVariantList synonyms(const QJsonValue& syno) {
    QVariantList out;
    const QJsonValue synos = get(syno, "synos");
    if (!synos.isArray()) return out;
    for (const QJsonValue& entry : synos.toArray()) {
        const QJsonValue s = get(entry, "syno");
        if (!present(s)) continue;
        QStringList words;
        const QJsonValue ws = get(s, "ws");
        if (ws.isArray())
            for (const QJsonValue& w : ws.toArray()) words << text(get(w, "w"));
        Record r;
        r.add("trans", text(get(s, "tran")));
        r.add("ws", MainQueryJSONResultParser::synonymWordsFragment(words));
        out.append(r.item());
    }
    return out;
}

void webTranslations(const QJsonValue& root, QVariantList& webTrans, QVariantList& webTransWord) {
    const QJsonValue list = get(get(root, "web_trans"), "web-translation");
    if (!list.isArray()) return;
    for (const QJsonValue& entry : list.toArray()) {
        const QString key = text(get(entry, "key"));
        const QJsonValue trans = get(entry, "trans");
        if (!trans.isArray()) continue;
        for (const QJsonValue& t : trans.toArray()) {
            const QString value = text(get(t, "value"));
            const QJsonValue line = get(get(t, "summary"), "line");
            if (nonEmptyArray(line)) {
                Record r;
                r.add("key", key)
                    .add("value", value)
                    .add("summary", text(first(line)))
                    .add("url", text(get(t, "url")))
                    .add("support", text(get(t, "support")));
                webTransWord.append(r.item());
            } else {
                Record r;
                r.add("key", key).add("trans", value);
                webTrans.append(r.item());
            }
        }
    }
}

QVariantList sentencePairs(const QJsonValue& root) {
    QVariantList out;
    const QJsonValue pairs = get(get(root, "blng_sents_part"), "sentence-pair");
    if (!pairs.isArray()) return out;
    for (const QJsonValue& p : pairs.toArray()) {
        const QString url = text(get(p, "url"));
        QString host;
        if (!url.isNull()) host = QUrl(url.trimmed()).host().trimmed();
        if (host.isNull() && !url.isNull()) host = QStringLiteral("");
        QString speech = text(get(p, "sentence-speech"));
        if (speech.isNull()) speech = text(get(p, "sentence-translation-speech"));
        Record r;
        r.add("sentence", text(get(p, "sentence")))
            .add("speechsentence", speech)
            .add("trans", text(get(p, "sentence-translation")))
            .add("url", url)
            .add("host", url.isNull() ? QString() : host);
        out.append(r.item());
    }
    return out;
}

QVariantList encyclopedia(const QJsonValue& root) {
    QVariantList out;
    QJsonValue digest = get(root, "baike");
    if (!present(digest)) digest = get(root, "wikipedia_digest");
    if (!digest.isObject()) return out;
    const QString source = text(get(get(digest, "source"), "name"));
    const QJsonValue summarys = get(digest, "summarys");
    if (!summarys.isArray()) return out;
    for (const QJsonValue& s : summarys.toArray()) {
        Record r;
        r.add("key", text(get(s, "key")))
            .add("summary", text(get(s, "summary")))
            .add("source", source)
            .add("image", text(get(s, "image")));
        out.append(r.item());
    }
    return out;
}

}  // namespace

QString MainQueryJSONResultParser::synonymWordsFragment(const QStringList& words) {
    QString fragment;
    for (const QString& w : words) {
        const QString e = w.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&#39;"));
        fragment += QStringLiteral(", <span class='synoword' data-word='%1'>%2</span>").arg(e, e);
    }
    if (!fragment.isEmpty()) fragment.remove(0, 1);
    return fragment;
}

std::optional<QVariantList> MainQueryJSONResultParser::parseSimpleDict(const QJsonValue& section,
                                                                       bool primary) const {
    const QJsonValue w = get(section, "word");
    if (!nonEmptyArray(w)) return std::nullopt;
    const QJsonValue trs = get(first(w), "trs");
    if (!present(trs)) return std::nullopt;
    QVariantList list;
    if (!trs.isArray()) return list;
    for (const QJsonValue& t : trs.toArray()) {
        const QJsonValue tr = get(t, "tr");
        if (!nonEmptyArray(tr)) continue;
        for (const QJsonValue& line : tr.toArray()) {
            const QJsonValue i = get(get(line, "l"), "i");
            if (!present(i)) continue;
            const QJsonArray parts = partsOf(i);
            if (primary) {
                QString joined;
                for (const QJsonValue& part : parts) joined += partText(part);
                list.append(QVariantMap{{QStringLiteral("item"),
                                         QVariantMap{{QStringLiteral("trans"), joined}}}});
            } else {
                for (const QJsonValue& part : parts) {
                    const QString s = partText(part);
                    if (s.isNull()) continue;
                    list.append(QVariantMap{{QStringLiteral("item"),
                                             QVariantMap{{QStringLiteral("trans"), s}}}});
                }
            }
        }
    }
    return list;
}

namespace {
// Wrapping the answer in an array admits a top-level scalar, which then
// reads as an answer without any section.
std::optional<QJsonValue> jsonRoot(const QString& json) {
    QJsonParseError err{};
    const QByteArray utf8 = json.toUtf8();
    QJsonDocument doc = QJsonDocument::fromJson(utf8, &err);
    if (err.error == QJsonParseError::NoError)
        return doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    const QJsonDocument wrapped = QJsonDocument::fromJson(QByteArray("[") + utf8 + QByteArray("]"), &err);
    if (err.error != QJsonParseError::NoError || wrapped.array().size() != 1) return std::nullopt;
    return wrapped.array().first();
}
}  // namespace

bool MainQueryJSONResultParser::isReadable(const QString& json) { return jsonRoot(json).has_value(); }

MainQueryResultPtr MainQueryJSONResultParser::parseJSON(const QString& json) {
    const std::optional<QJsonValue> parsed = jsonRoot(json);
    if (!parsed) return nullptr;
    const QJsonValue root = *parsed;

    auto r = std::make_shared<MainQueryResult>();

    const QJsonValue simple = get(root, "simple");
    const QJsonValue simpleWord = get(simple, "word");
    if (!present(simple) || !present(simpleWord)) {
        r->title = word;
        r->hasNoAnyTrans = flagOn();
        r->online = flagOn();
    }

    const QJsonValue typo = get(get(root, "typos"), "typo");
    if (present(typo)) {
        r->typos = asSent(typo);
        r->hasTypos = flagOn();
    }
    const QJsonValue hit = get(get(root, "web_search"), "hit");
    if (present(hit)) {
        r->webResults = asSent(hit);
        r->hasWebResults = flagOn();
    }

    const QJsonValue firstWord = first(simpleWord);
    if (present(firstWord)) r->title = text(get(firstWord, "return-phrase"));
    if (r->title.isEmpty()) r->title = text(get(root, "input"));

    r->favorited = favoritedFor(r->title);

    if (present(firstWord)) {
        r->ukPhone = text(get(firstWord, "ukphone"));
        r->usPhone = text(get(firstWord, "usphone"));
        r->ukSpeech = text(get(firstWord, "ukspeech"));
        r->usSpeech = text(get(firstWord, "usspeech"));
        r->phone = text(get(firstWord, "phone"));
        r->speech = text(get(firstWord, "speech"));
    }

    if (dict.isEmpty()) dict = QStringLiteral("ce");
    QJsonValue section = get(root, dict.toUtf8().constData());
    bool primary = section.isObject();
    if (!primary) {
        section = another_dict.isEmpty() ? QJsonValue(QJsonValue::Undefined)
                                         : get(root, another_dict.toUtf8().constData());
    }
    if (section.isObject()) {
        const std::optional<QVariantList> simpleTrans = parseSimpleDict(section, primary);
        if (simpleTrans) r->simpleTrans = *simpleTrans;
        r->hasSimpleTrans = flag(!r->simpleTrans.isEmpty());
    }
    // A section without a single translation records nothing.
    if (!section.isObject() || isSet(r->hasSimpleTrans))
        recordInHistory(r->title, r->simpleTrans, json);
    else
        HistoryRecordingFlags::sharedInstance().consume();

    const QJsonValue pic = get(get(root, "pic_dict"), "pic");
    r->pic = nonEmptyArray(pic) ? text(get(first(pic), "image")) : QString();

    const QJsonValue special = get(root, "special");
    if (special.isObject()) {
        r->hasSpecial = flagOn();
        r->special_total = asSent(get(special, "total"));
        r->special_co_add_url = asSent(get(special, "co-add"));
        r->special_entries = asSent(get(special, "entries"));
        const QJsonValue summary = get(special, "summary");
        if (present(summary)) {
            r->special_summary_text = text(get(summary, "text"));
            const QJsonValue sources = get(summary, "sources");
            if (present(sources)) {
                const QJsonValue source = get(sources, "source");
                r->special_summary_src_site = text(get(source, "site"));
                r->special_summary_src_url = text(get(source, "url"));
            }
        }
    }

    const QJsonValue hh = get(root, "hh");
    if (hh.isObject()) {
        r->hasHh = flagOn();
        const QJsonValue source = get(hh, "source");
        if (source.isObject()) {
            r->hh_src_name = text(get(source, "name"));
            r->hh_src_url = text(get(source, "url"));
        }
        const QJsonValue hhWord = first(get(hh, "word"));
        if (present(hhWord)) {
            const QJsonValue trs = get(hhWord, "trs");
            if (present(trs)) r->hh_trans = asSent(get(trs, "tr"));
            r->hh_phone = text(get(hhWord, "phone"));
            const QJsonValue l = get(get(hhWord, "key"), "l");
            if (present(l)) r->hh_key = asSent(get(l, "i"));
        }
    }

    QJsonValue auth = get(root, "ec21");
    if (auth.isObject()) {
        r->dictDisplayName = QStringLiteral("21世纪大英汉词典");
    } else {
        auth = get(root, "ce_new");
        if (auth.isObject()) r->dictDisplayName = QStringLiteral("新汉英大辞典");
    }
    if (auth.isObject()) {
        r->hasEc21 = flagOn();
        r->hasAuthTrans = flagOn();
        QVariantMap copy = auth.toObject().toVariantMap();
        copy.insert(QStringLiteral("dictName"), r->dictDisplayName);
        r->ec21Dict = copy;
    }

    const QJsonValue phrs = get(root, "phrs");
    if (phrs.isObject()) {
        r->hasPhrs = flagOn();
        r->phrs_word = text(get(phrs, "word"));
        r->phrs = asSent(get(phrs, "phrs"));
    }
    const QJsonValue rel = get(root, "rel_word");
    if (rel.isObject()) {
        r->hasRelword = flagOn();
        r->relword = text(get(rel, "word"));
        r->rels = asSent(get(rel, "rels"));
    }
    const QJsonValue ee = get(root, "ee");
    if (ee.isObject()) {
        r->hasEE = flagOn();
        r->eeDict = asSent(ee);
    }
    const QJsonValue collins = get(root, "collins");
    if (collins.isObject()) {
        r->hasCollins = flagOn();
        r->hasAuthTrans = flagOn();
        r->collinsDict = asSent(collins);
    }
    const QJsonValue syno = get(root, "syno");
    if (syno.isObject()) {
        r->synos = synonyms(syno);
        r->hasSynos = flag(!r->synos.isEmpty());
    }
    if (isSet(r->hasSynos) || isSet(r->hasPhrs) || isSet(r->hasRelword)) r->hasPhrsTab = flagOn();

    webTranslations(root, r->webTrans, r->webTransWord);
    r->hasWebTrans = flag(!r->webTrans.isEmpty());
    r->hasWebTransWord = flag(!r->webTransWord.isEmpty());
    if (isSet(r->hasWebTransWord)) r->hasWebTrans = flagOn();

    r->sentences = sentencePairs(root);
    r->hasSentences = flag(!r->sentences.isEmpty());

    const QJsonValue authSent = get(get(root, "auth_sents_part"), "sent");
    if (nonEmptyArray(authSent) || (authSent.isObject() && !authSent.toObject().isEmpty())) {
        r->hasAuthSentence = flagOn();
        r->authSentences = asSent(authSent);
    }
    const QJsonValue mediaSent = get(get(root, "media_sents_part"), "sent");
    if (nonEmptyArray(mediaSent) || (mediaSent.isObject() && !mediaSent.toObject().isEmpty())) {
        r->hasMediaSentence = flagOn();
        r->mediaSentences = asSent(mediaSent);
    }
    if (isSet(r->hasSentences) || isSet(r->hasMediaSentence) || isSet(r->hasAuthSentence))
        r->hasSentencesTab = flagOn();

    r->baike = encyclopedia(root);
    r->hasBaike = flag(!r->baike.isEmpty());

    if (isSet(r->hasBaike)) {
        r->hasNoAnyTrans = QString();
    } else {
        const bool none = !isSet(r->hasSentences) && !isSet(r->hasSimpleTrans) &&
                          !isSet(r->hasWebTrans) && !isSet(r->hasWebTransWord) &&
                          !isSet(r->hasSynos);
        r->hasNoAnyTrans = flag(none);
    }
    r->online = flagOn();
    return r;
}

void MainQueryJSONResultParser::recordInHistory(const QString& title, const QVariantList& simpleTrans,
                                                const QString& json)
{
    HistoryRecordingFlags& flags = HistoryRecordingFlags::sharedInstance();
    if (flags.shouldRecordHistory()) {
        QString definition;
        for (const QVariant& e : simpleTrans)
            definition += e.toMap().value(QStringLiteral("item")).toMap().value(QStringLiteral("trans")).toString()
                          + QLatin1Char(' ');
        if (MVDictHistory* h = MVDictHistory::sharedInstance())
            h->addWord(title, definition, json);
    }
    flags.consume();
}

void MainQueryJSONResultParser::bindToSideBarItemModel(const MainQueryResult* result) {
    SideBarItemModel& model = SideBarItemModel::sharedInstance();
    model.setHasAuthTrans(result ? result->hasAuthTrans : QString());
    model.setHasWebTrans(result ? result->hasWebTrans : QString());
    model.setHasSentences(result ? result->hasSentences : QString());
    model.setHasBaike(result ? result->hasBaike : QString());
}

std::optional<QString> MainQueryJSONResultParser::genHTML(const QString& json) {
    MainQueryResultPtr result = parseJSON(json);
    if (result) {
        result->favorited = favoritedFor(result->title);
        if (shouldSwizzleLocalParaphase) {
            result->simpleTrans = localWordParaphase;
            result->hasNoAnyTrans = QString();
            result->hasSimpleTrans = flagOn();
            result->phone = phonetic;
        }
    }
    bindToSideBarItemModel(result.get());
    if (!result) return std::nullopt;
    QString error;
    std::optional<QString> html =
        mustachedata::render(QStringLiteral("mainquerytemplate"), result->toMustache(), &error);
    if (!html) qWarning().noquote() << error;
    return html;
}
