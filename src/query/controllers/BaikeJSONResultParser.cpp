#include "query/controllers/BaikeJSONResultParser.h"

#include "models/MustacheData.h"
#include "query/controllers/JsonText.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>

QString BaikeJSONResultParser::wikipediaHomeUrl()
{
    return QStringLiteral("https://www.wikipedia.org/");
}

namespace {

QString text(const QJsonValue& v)
{
    return v.isString() ? v.toString() : (v.isDouble() ? mustachedata::numberText(v.toDouble()) : QString());
}

QVariantMap baikeSection(const QJsonObject& section)
{
    QVariantMap item;
    for (const char* key : {"subtitle", "content"}) {
        const QJsonValue v = section.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            break;
        item.insert(QString::fromLatin1(key), v.toVariant());
    }
    return QVariantMap{{QStringLiteral("item"), item}};
}

QVariantMap wikiSection(const QJsonObject& section)
{
    QVariantMap m;
    if (section.contains(QLatin1String("text")))
        m.insert(QStringLiteral("text"), section.value(QLatin1String("text")).toVariant());
    if (section.contains(QLatin1String("line"))) {
        m.insert(QStringLiteral("line"), section.value(QLatin1String("line")).toVariant());
        const int level = section.value(QLatin1String("toclevel")).toVariant().toInt();
        m.insert(QStringLiteral("linetag"), QStringLiteral("h%1").arg(level + 1));
    }
    return m;
}

}  // namespace

BaikeJSONResult BaikeJSONResultParser::parseJSON(const QString& answer) const
{
    BaikeJSONResult result;
    QJsonValue doc;
    QString error;
    if (!parseJsonText(answer, &doc, &error)) {
        qWarning().noquote() << error;
        result.noresult = true;
        return result;
    }
    const QJsonObject root = doc.toObject();
    result.input = text(root.value(QLatin1String("input")));
    if (result.input.startsWith(QLatin1String("bk:")))
        result.input = result.input.mid(3);

    if (root.contains(QLatin1String("baike_detail"))) {
        const QJsonObject d = root.value(QLatin1String("baike_detail")).toObject();
        result.source = BaikeJSONResult::BaikeDetail;
        result.headsection = text(d.value(QLatin1String("headSection")));
        result.title = text(d.value(QLatin1String("title")));
        result.enword = text(d.value(QLatin1String("enword")));
        const QJsonArray sections =
            d.value(QLatin1String("sections")).toObject().value(QLatin1String("section")).toArray();
        for (const QJsonValue& s : sections)
            result.sections.append(baikeSection(s.toObject()));
        const QJsonObject source = d.value(QLatin1String("source")).toObject();
        result.sourcename = text(source.value(QLatin1String("name")));
        result.sourceurl = text(source.value(QLatin1String("url")));
    } else if (root.contains(QLatin1String("wikipedia"))) {
        const QJsonObject w = root.value(QLatin1String("wikipedia")).toObject();
        result.source = BaikeJSONResult::Wikipedia;
        result.title = text(w.value(QLatin1String("displaytitle")));
        result.zhword = text(w.value(QLatin1String("zhword")));
        for (const QJsonValue& s : w.value(QLatin1String("sections")).toArray())
            result.sections.append(wikiSection(s.toObject()));
        result.sourcename = QStringLiteral("维基百科");
        result.sourceurl = wikipediaHomeUrl();
    } else {
        result.noresult = true;
    }
    return result;
}

std::optional<QString> BaikeJSONResultParser::genHTML(const BaikeJSONResult* article) const
{
    if (!article)
        return std::nullopt;
    const QString name = article->source == BaikeJSONResult::BaikeDetail ? QStringLiteral("bktemplate")
                                                                          : QStringLiteral("wikitemplate");
    return mustachedata::render(name, article->toMustache());
}

std::optional<QString> BaikeJSONResultParser::genHTMLWithZhEn(const QVariantMap* results) const
{
    if (!results)
        return std::nullopt;
    return mustachedata::render(QStringLiteral("bkwikitemplate"), *results);
}

BaikeSearchJSONResult BaikeJSONResultParser::parseSearchJSON(const QString& answer) const
{
    BaikeSearchJSONResult result;
    QJsonValue doc;
    QString error;
    if (!parseJsonText(answer, &doc, &error)) {
        qWarning().noquote() << error;
        result.noresult = true;
        return result;
    }
    const QJsonObject relative = doc.toObject().value(QLatin1String("baike_relative")).toObject();
    const QJsonObject source = relative.value(QLatin1String("source")).toObject();
    result.typo = text(source.value(QLatin1String("typo")));
    result.rawquery = text(source.value(QLatin1String("rawquery")));
    const QJsonValue items = relative.value(QLatin1String("items"));
    if (!items.isUndefined() && !items.isNull())
        result.items = items.toVariant();
    if (!result.typo.isEmpty())
        return result;
    result.noresult = !items.isArray() || items.toArray().isEmpty();
    return result;
}

std::optional<QString> BaikeJSONResultParser::htmlSearchResult(const QString& answer) const
{
    return mustachedata::render(QStringLiteral("bksearchtemplate"), parseSearchJSON(answer).toMustache());
}
