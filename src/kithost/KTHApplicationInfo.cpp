#include "kithost/KTHApplicationInfo.h"

#include "platform/BundleInfo.h"
#include "platform/HostInfo.h"

#include <QStringList>

QString KTHApplicationBundleIdentifier()
{
    QString id = BundleInfo::identifier();
    return id.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString KTHApplicationBuildVersion() { return BundleInfo::buildVersion(); }

QString KTHApplicationDisplayVersion() { return BundleInfo::shortVersion(); }

QString KTHApplicationName()
{
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        const QString v = BundleInfo::objectForInfoDictionaryKey(QString::fromLatin1(key)).toString();
        if (!v.isEmpty())
            return v;
    }
    return KTHApplicationBuildVersion();
}

bool KTHApplicationHasAppStoreReceipt()
{
    return false;
}

bool KTHApplicationSignedForDistribution()
{
    return BundleInfo::objectForInfoDictionaryKey(QStringLiteral("CrashKitSignedForDistribution")).toBool();
}

int KTHApplicationInstallSource()
{
    if (KTHApplicationHasAppStoreReceipt())
        return KTHInstallSourceAppStore;
    if (KTHApplicationSignedForDistribution())
        return KTHInstallSourceBeta;
    return KTHInstallSourceOther;
}

bool KTHApplicationMayReportDeviceIdentifiers(const QVariantMap& info)
{
    const QVariant kitHost = info.value(QStringLiteral("KitHost"));
    if (kitHost.typeId() == QMetaType::QVariantMap) {
        const QVariant v = kitHost.toMap().value(QStringLiteral("ReportIdentifiers"));
        if (v.isValid())
            return v.toBool();
    }
    const QVariant top = info.value(QStringLiteral("CrashKitCollectDeviceIdentifiers"));
    if (top.isValid())
        return top.toBool();
    return true;
}

bool KTHApplicationMayReportDeviceIdentifiers()
{
    return KTHApplicationMayReportDeviceIdentifiers(BundleInfo::infoDictionary());
}

KTHHostOSVersion KTHHostOSVersionFromText(const QString& versionId)
{
    KTHHostOSVersion v;
    const QStringList parts = versionId.split(QLatin1Char('.'));
    qint64* fields[3] = {&v.major, &v.minor, &v.patch};
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
        bool ok = false;
        const qint64 n = parts[i].toLongLong(&ok);
        if (!ok)
            break;
        *fields[i] = n;
    }
    return v;
}

KTHHostOSVersion KTHHostOperatingSystemVersion()
{
    return KTHHostOSVersionFromText(HostInfo::osVersionId());
}

int KTHHostOSVersionCode(const KTHHostOSVersion& version)
{
    switch (version.minor) {
    case 6: return 1060;
    case 7: return 1070;
    case 8: return 1080;
    case 9: return 1090;
    case 10: return 101000;
    case 11: return 101100;
    default: return 0;
    }
}

QString KTHHostOSDisplayVersion()
{
    const KTHHostOSVersion v = KTHHostOperatingSystemVersion();
    return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
}

QString KTHHostOSBuildVersion() { return HostInfo::kernelRelease(); }

QString KTHHostModel() { return HostInfo::productName(); }
