#include "tally/CRKAnalyticsMetadataController.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KitHost.h"
#include "platform/BundleInfo.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QThread>

namespace {

void setValue(QVariantMap& map, const QString& key, const QVariant& value)
{
    if (!value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isNull()))
        return;
    map.insert(key, value);
}

}  // namespace

CRKAnalyticsMetadataController::CRKAnalyticsMetadataController(quint64 timestamp, const QString& betaToken)
{
    // No advertising identifier exists here; the host hears that too.
    KitHost::sharedSDK().setAdvertisingToken(QString());
    metadata_ = metadataWithTimeStamp(timestamp, betaToken, QString());
    json_ = QJsonDocument(QJsonObject::fromVariantMap(metadata_)).toJson(QJsonDocument::Compact);
}

QVariantMap CRKAnalyticsMetadataController::metadataWithTimeStamp(quint64 timestamp, const QString& betaToken,
                                                                  const QString& adToken)
{
    KitHost& host = KitHost::sharedSDK();
    QVariantMap m;
    setValue(m, QStringLiteral("generator"), QStringLiteral("Tally Mac SDK/1.0.1"));
    setValue(m, QStringLiteral("links_ad_support"), false);
    setValue(m, QStringLiteral("advertising_tracking_enabled"), false);
    setValue(m, QStringLiteral("advertising_id"), adToken);
    setValue(m, QStringLiteral("api_key"), host.APIKey());
    setValue(m, QStringLiteral("session_id"), host.executionIdentifier());
    setValue(m, QStringLiteral("started_at"), qint64(timestamp / 1000));
    setValue(m, QStringLiteral("install_id"), host.installID());
    setValue(m, QStringLiteral("beta_tester_token"), unwrapBetaToken(betaToken));
    const QString model = KTHHostModel();
    setValue(m, QStringLiteral("model"), model);
    setValue(m, QStringLiteral("machine"), model);
    setValue(m, QStringLiteral("locale"), hostLocale());
    setValue(m, QStringLiteral("os_build"), KTHHostOSBuildVersion());
    setValue(m, QStringLiteral("os_version"), KTHHostOSDisplayVersion());
    setValue(m, QStringLiteral("platform"), QStringLiteral("mac"));
    setValue(m, QStringLiteral("platform_code"), 0);
    setValue(m, QStringLiteral("cores"), hostNumCores());
    setValue(m, QStringLiteral("jailbroken"), false);
    setValue(m, QStringLiteral("bundle_id"), KTHApplicationBundleIdentifier());
    setValue(m, QStringLiteral("bundle_version"), KTHApplicationBuildVersion());
    setValue(m, QStringLiteral("bundle_short_version"), KTHApplicationDisplayVersion());
    setValue(m, QStringLiteral("instance_id"), host.instanceIdentifier());
    return m;
}

QString CRKAnalyticsMetadataController::unwrapBetaToken(const QString& token)
{
    if (token.isNull())
        return QString();
    const QStringList parts = token.split(QLatin1Char(':'));
    if (parts.size() == 2 && parts[0] == QLatin1String("2"))
        return parts[1];
    return QString();
}

QString CRKAnalyticsMetadataController::hostLocale()
{
    return QLocale::system().name();
}

int CRKAnalyticsMetadataController::hostNumCores()
{
    return QThread::idealThreadCount();
}
