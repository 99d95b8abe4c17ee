#include "query/FSearchXMLResultParser.h"

#include "models/MustacheData.h"
#include "platform/XmlDocument.h"

FSearchResultPtr FSearchXMLResultParser::parseXML(const QString& xml) const {
    if (xml.isNull()) return nullptr;
    XmlDocument doc;
    if (!doc.parse(xml)) return nullptr;
    // Well-formed XML without the answer's element (an error page in XHTML)
    // is no quick result.
    if (doc.select(QStringLiteral("//mirvodict")).isEmpty()) return nullptr;
    auto r = std::make_shared<FSearchResult>();
    for (const XmlNode& n : doc.select(QStringLiteral("//mirvodict/return-phrase"))) r->title = n.text();
    for (const XmlNode& n : doc.select(QStringLiteral("//mirvodict/phonetic-symbol"))) {
        const QString t = n.text();
        if (!t.isEmpty()) r->phone = QStringLiteral("[%1]").arg(t);
    }
    const QVector<XmlNode> blocks = doc.select(QStringLiteral("//mirvodict/custom-translation"));
    if (blocks.isEmpty()) {
        r->haveSpeech = false;
    } else {
        const XmlNode type = blocks.last().firstChild(QStringLiteral("type"));
        r->haveSpeech = type.isNull() || type.text() != QLatin1String("ce");
    }
    for (const XmlNode& t : doc.select(QStringLiteral("//mirvodict/custom-translation/translation"))) {
        const XmlNode content = t.firstChild(QStringLiteral("content"));
        if (!content.isNull()) r->trans.append(content.text());
    }
    return r;
}

std::optional<QString> FSearchXMLResultParser::genHTML(const QString& xml) const {
    const FSearchResultPtr r = parseXML(xml);
    if (!r) return std::nullopt;
    if (r->trans.isEmpty()) return QString(QLatin1String(""));
    return mustachedata::render(QStringLiteral("fsearchtemplate"), r->toMustache());
}
