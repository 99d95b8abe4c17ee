#include "query/SuggestXMLResultParser.h"

#include "platform/XmlDocument.h"

std::optional<SuggestResult> SuggestXMLResultParser::parseXML(const QString& xml) const {
    XmlDocument doc;
    if (!doc.parse(xml)) return std::nullopt;
    SuggestResult result;
    for (const XmlNode& item : doc.select(QStringLiteral("//suggest/items/item"))) {
        if (result.items.size() >= kMaxItems) break;
        SuggestResult::Item it;
        const XmlNode title = item.firstChild(QStringLiteral("title"));
        const XmlNode explain = item.firstChild(QStringLiteral("explain"));
        it.hasTitle = !title.isNull();
        if (it.hasTitle) it.title = title.text();
        it.hasExplain = it.hasTitle && !explain.isNull();
        if (it.hasExplain) it.explain = explain.text();
        result.items.append(it);
    }
    return result;
}
