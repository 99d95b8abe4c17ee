#include "platform/BundleInfo.h"

#include "platform/PropertyList.h"
#include "platform/Resources.h"

#include <QFile>

namespace BundleInfo {

QVariantMap parsePropertyList(const QByteArray& data) {
    return PropertyList::parse(data).toMap();
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
