#include "capture/WordStrokeXMLResultParser.h"

#include "models/MustacheData.h"
#include "platform/XmlDocument.h"
#include "query/offline/OfflineDict.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcParser, "mirvok.capture.parser")
}

WordStrokeXMLResultPtr WordStrokeXMLResultParser::parseXML(const QString& xml) {
    if (xml.isNull()) return nullptr;
    // A document type declaration only serves entity tricks in a service
    // answer; the quick result never carries one.
    if (xml.contains(QLatin1String("<!DOCTYPE"), Qt::CaseInsensitive)) return nullptr;
    XmlDocument doc;
    if (!doc.parse(xml)) return nullptr;
    auto r = std::make_shared<WordStrokeXMLResult>();
    for (const XmlNode& n : doc.select(QStringLiteral("//mirvodict/return-phrase"))) {
        r->title = n.text();
        title_ = r->title;
    }
    for (const XmlNode& n : doc.select(QStringLiteral("//mirvodict/phonetic-symbol"))) {
        const QString t = n.text();
        if (!t.isEmpty()) r->phone = QStringLiteral("[%1]").arg(t);
    }
    for (const XmlNode& n : doc.select(QStringLiteral("//mirvodict/dictcn-speach"))) {
        const QString t = n.text();
        if (!t.isEmpty()) r->speech = t;
    }
    for (const XmlNode& t : doc.select(QStringLiteral("//mirvodict/custom-translation/translation"))) {
        const XmlNode content = t.firstChild(QStringLiteral("content"));
        if (!content.isNull()) r->trans.append(content.text());
    }
    for (const XmlNode& w : doc.select(QStringLiteral("//mirvodict/mirvo-web-dict/web-translation"))) {
        const XmlNode key = w.firstChild(QStringLiteral("key"));
        QVariantMap inner;
        if (!key.isNull()) {
            QString values;
            for (const XmlNode& tr : w.children(QStringLiteral("trans"))) {
                values += tr.firstChild(QStringLiteral("value")).text();
                values += QStringLiteral("; ");
            }
            inner.insert(QStringLiteral("key"), key.text());
            inner.insert(QStringLiteral("trans"), values);
        }
        r->webTrans.append(QVariantMap{{QStringLiteral("item"), inner}});
    }
    return r;
}

std::optional<QString> WordStrokeXMLResultParser::genHTML(const QString& xml) {
    const WordStrokeXMLResultPtr r = parseXML(xml);
    if (!r) return std::nullopt;
    title_ = r->title;
    if (r->trans.isEmpty() && r->webTrans.isEmpty()) return QString(QLatin1String(""));
    return render(*r);
}

std::optional<QString> WordStrokeXMLResultParser::render(const WordStrokeXMLResult& result) {
    QString error;
    std::optional<QString> html =
        mustachedata::render(QStringLiteral("wordstroketemplate"), result.toMustache(), &error);
    if (!html) qCWarning(lcParser).noquote() << error;
    return html;
}

WordStrokeXMLResultPtr WordStrokeXMLResultParser::offlineUnavailable(const QString& word) {
    if (!OfflineDict::unavailable()) return {};
    auto result = std::make_shared<WordStrokeXMLResult>();
    result->title = word;
    result->notice = OfflineDict::unavailableText();
    return result;
}

WordStrokeAnswer WordStrokeXMLResultParser::readAnswer(const QVariant& answer) {
    WordStrokeAnswer out;
    if (answer.metaType() == QMetaType::fromType<QByteArray>()) {
        const QString text = QString::fromUtf8(answer.toByteArray());
        WordStrokeXMLResultParser parser;
        out.html = parser.genHTML(text).value_or(QString());
        out.result = parser.parseXML(text);
        out.title = parser.title();
    } else if (answer.metaType() == QMetaType::fromType<WordStrokeXMLResultPtr>()) {
        out.result = answer.value<WordStrokeXMLResultPtr>();
        if (out.result) {
            out.html = render(*out.result).value_or(QString());
            out.title = out.result->title;
        }
    }
    return out;
}
