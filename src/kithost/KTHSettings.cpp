#include "kithost/KTHSettings.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkOperation.h"
#include "kithost/KTHURLBuilder.h"
#include "platform/Lenient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

KTHSettings::KTHSettings(const QString& settingsPath) : path_(settingsPath) {}

std::optional<QVariantMap> KTHSettings::settingsDictionary()
{
    QMutexLocker lock(&mutex_);
    if (cached_)
        return cached_;
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    f.close();
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        const QString why = error.error != QJsonParseError::NoError ? error.errorString()
                                                                   : QStringLiteral("not a JSON object");
        KTHLog::write(QStringLiteral("[KitHost] Could not load settings with error: %1").arg(why));
        QFile::remove(path_);
        return std::nullopt;
    }
    cached_ = doc.object().toVariantMap();
    return cached_;
}

void KTHSettings::clearSettingsDictionary()
{
    QMutexLocker lock(&mutex_);
    cached_.reset();
}

QVariantMap KTHSettings::appSettings()
{
    const auto settings = settingsDictionary();
    if (!settings)
        return {};
    const QVariant app = settings->value(QStringLiteral("app"));
    return app.typeId() == QMetaType::QVariantMap ? app.toMap() : QVariantMap();
}

QString KTHSettings::appStatus()
{
    const QVariant status = appSettings().value(QStringLiteral("status"));
    return status.typeId() == QMetaType::QString ? status.toString() : QString();
}

bool KTHSettings::appNeedsOnboarding()
{
    return appStatus() == QLatin1String("new");
}

bool KTHSettings::appUpdateRequired()
{
    return lenient::toBool(appSettings().value(QStringLiteral("update_required")));
}

QUrl KTHSettings::settingsURLForEndpoint(const QString& endpoint, const QString& instanceIdentifier,
                                         const QString& iconHash)
{
    KTHURLBuilder b = KTHURLBuilder::URLWithBase(endpoint);
    b.appendComponent(QStringLiteral("/spi/v2/platforms/"));
    b.escapeAndAppendComponent(QLatin1String(kKTHPlatform));
    b.appendComponent(QStringLiteral("/apps/"));
    b.escapeAndAppendComponent(KTHApplicationBundleIdentifier());
    b.appendComponent(QStringLiteral("/settings"));
    auto orNull = [](const QString& s) { return s.isNull() ? QVariant() : QVariant(s); };
    b.appendValue(orNull(KTHApplicationBuildVersion()), QStringLiteral("build_version"));
    b.appendValue(orNull(KTHApplicationDisplayVersion()), QStringLiteral("display_version"));
    b.appendValue(orNull(instanceIdentifier), QStringLiteral("instance"));
    b.appendValue(orNull(iconHash), QStringLiteral("icon_hash"));
    b.appendValue(KTHApplicationInstallSource(), QStringLiteral("source"));
    return b.URL();
}
