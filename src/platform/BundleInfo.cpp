#include "platform/BundleInfo.h"

#include "platform/Resources.h"

#include <QFile>
#include <QXmlStreamReader>

namespace BundleInfo {

namespace {

// Reads the value element the reader is positioned on (after its start tag).
QVariant readValue(QXmlStreamReader& xml) {
    const QStringView tag = xml.name();
    if (tag == u"string" || tag == u"date" || tag == u"data")
        return xml.readElementText(QXmlStreamReader::IncludeChildElements);
    if (tag == u"integer") {
        bool ok = false;
        const qlonglong n = xml.readElementText().trimmed().toLongLong(&ok);
        return ok ? QVariant(n) : QVariant();
    }
    if (tag == u"real") {
        bool ok = false;
        const double d = xml.readElementText().trimmed().toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    if (tag == u"true" || tag == u"false") {
        const bool b = tag == u"true";
        xml.skipCurrentElement();
        return b;
    }
    xml.skipCurrentElement();
    return {};
}

}  // namespace

QVariantMap parsePropertyList(const QByteArray& data) {
    QVariantMap out;
    QXmlStreamReader xml(data);
    // Entity declarations in a DOCTYPE are never expanded by QXmlStreamReader
    // beyond the predefined ones, so a hostile file cannot blow up here.
    bool inTopDict = false;
    QString pendingKey;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (!inTopDict) {
            if (xml.name() == u"dict") inTopDict = true;
            continue;
        }
        if (xml.name() == u"key") {
            pendingKey = xml.readElementText();
            continue;
        }
        const QVariant v = readValue(xml);
        if (!pendingKey.isNull() && v.isValid()) out.insert(pendingKey, v);
        pendingKey = QString();
    }
    return out;
}

QVariantMap infoDictionary() {
    static const QVariantMap info = [] {
        QFile f(Resources::path(QStringLiteral("Info.plist")));
        if (!f.open(QIODevice::ReadOnly)) return QVariantMap();
        return parsePropertyList(f.readAll());
    }();
    return info;
}

QVariant objectForInfoDictionaryKey(const QString& key) { return infoDictionary().value(key); }

QString identifier() {
    const QString id = infoDictionary().value(QStringLiteral("CFBundleIdentifier")).toString();
    return id.isEmpty() ? QString::fromLatin1(kDefaultIdentifier) : id;
}

QString shortVersion() {
    return infoDictionary().value(QStringLiteral("CFBundleShortVersionString")).toString();
}

QString buildVersion() { return infoDictionary().value(QStringLiteral("CFBundleVersion")).toString(); }

QString vendorChannel() {
    QFile f(Resources::path(QStringLiteral("vendor")));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("unknown");
    QString text = QString::fromUtf8(f.readAll());
    text.remove(u' ');
    text.remove(u'\n');
    return text;
}

}  // namespace BundleInfo

QString appShortVersion() { return BundleInfo::shortVersion(); }
