#include "kithost/KTHSettingsOnboardingManager.h"

#include "kithost/KTHApplicationIdentiferModel.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KitHost.h"
#include "kithost/KTHPinnedCertificates.h"
#include "platform/BundleInfo.h"
#include "platform/NotificationCenter.h"

#include <QStandardPaths>

KTHSettingsOnboardingManager::KTHSettingsOnboardingManager(std::shared_ptr<const KTHApplicationIdentiferModel> model)
    : settings_(settingsPath()),
      model_(std::move(model))
{
}

std::shared_ptr<KTHNetworkClient> KTHSettingsOnboardingManager::networkClient() const
{
    // Made on first use: the pinned roots and the session's network thread
    // cost tens of milliseconds that a launch's first moment cannot spare.
    QMutexLocker lock(&clientMutex_);
    if (!networkClient_)
        networkClient_ = std::make_shared<KTHNetworkClient>(KTHPinnedCertificates());
    return networkClient_;
}

KTHSettingsOnboardingManager::~KTHSettingsOnboardingManager() = default;

QString KTHSettingsOnboardingManager::settingsDirectoryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1Char('/')
           + QStringLiteral("%1.data").arg(QLatin1String(kKTHClientIdentifier)) + QLatin1Char('/')
           + BundleInfo::identifier();
}

QString KTHSettingsOnboardingManager::settingsPath()
{
    return settingsDirectoryPath() + QStringLiteral("/settings.json");
}

QVariantMap KTHSettingsOnboardingManager::defaultConfiguration()
{
    return {{QStringLiteral("SettingsEndpoint"), QString::fromLatin1(kKTHDefaultEndpoint)},
            {QStringLiteral("ConfigureEndpoint"), QString::fromLatin1(kKTHDefaultEndpoint)}};
}

QString KTHSettingsOnboardingManager::valueForConfigurationKey(const QString& key)
{
    const QString env = qEnvironmentVariable(key.toLatin1().constData());
    if (!env.isEmpty())
        return env;
    const QVariant plist = BundleInfo::objectForInfoDictionaryKey(QStringLiteral("CrashKit"));
    if (plist.typeId() == QMetaType::QVariantMap) {
        const QVariant v = plist.toMap().value(key);
        if (v.typeId() == QMetaType::QString && !v.toString().isEmpty())
            return v.toString();
    }
    return defaultConfiguration().value(key).toString();
}

QString KTHSettingsOnboardingManager::appIconHash() const
{
    if (!model_ || !model_->icon())
        return QString();
    return model_->icon()->dataHash;
}

QUrl KTHSettingsOnboardingManager::settingsURL() const
{
    return KTHSettings::settingsURLForEndpoint(valueForConfigurationKey(QStringLiteral("SettingsEndpoint")),
                                               model_ ? model_->instanceIdentifier() : QString(), appIconHash());
}

void KTHSettingsOnboardingManager::beginSettingsAndOnboardingOperationsWithAPIKey(const QString& APIKey,
                                                                                  const QVariantMap& kitVersions)
{
    {
        QMutexLocker lock(&mutex_);
        APIKey_ = APIKey;
        kitVersions_ = kitVersions;
    }
    beginSettingsDownload();
}

void KTHSettingsOnboardingManager::beginSettingsDownload()
{
    QString key;
    {
        QMutexLocker lock(&mutex_);
        key = APIKey_;
    }
    auto operation = std::make_shared<KTHDownloadAndSaveSettingsOperation>(
        key, weak_from_this(), settingsURL(), settingsDirectoryPath(), settingsPath(),
        model_ ? model_->installID() : KitHost::sharedSDK().installID(), KitHost::sharedSDK().advertisingToken(),
        networkClient());
    operation->start();
}

void KTHSettingsOnboardingManager::beginOnboarding(bool create, const QString& endpointString)
{
    QMutexLocker lock(&mutex_);
    if (onboardingOperation_)
        onboardingOperation_->cancel();
    onboardingOperation_ = std::make_shared<KTHOnboardingOperation>(weak_from_this(), create, APIKey_, kitVersions_,
                                                                   model_, endpointString, networkClient());
    onboardingOperation_->start();
}

void KTHSettingsOnboardingManager::finishNetworkingSession()
{
    std::shared_ptr<KTHNetworkClient> client;
    {
        QMutexLocker lock(&clientMutex_);
        client = networkClient_;
    }
    if (client)
        client->invalidateAndCancel();
}

void KTHSettingsOnboardingManager::postSettingsDownloadCompletedNotification()
{
    KTHLog::debugWrite(QStringLiteral("[KitHost] Settings are available for consumption"));
    NotificationCenter::defaultCenter().post(QString::fromLatin1(KTHSettingsAvailableNotification));
}

void KTHSettingsOnboardingManager::operationDidDownloadAndSaveSettingsWithError(KTHDownloadAndSaveSettingsOperation*,
                                                                               const KTHError& error)
{
    if (error) {
        KTHLog::write(QStringLiteral("[KitHost] failed to download settings %1").arg(error.description));
        finishNetworkingSession();
        return;
    }
    KTHLog::debugWrite(QStringLiteral("[KitHost] settings downloaded successfully"));
    settings_.clearSettingsDictionary();

    bool attempted;
    {
        QMutexLocker lock(&mutex_);
        attempted = hasAttemptedAppConfigure_;
    }
    if (attempted) {
        KTHLog::debugWrite(QStringLiteral("[KitHost] App already onboarded in this run of the app"));
        postSettingsDownloadCompletedNotification();
        finishNetworkingSession();
        return;
    }
    const QString endpoint = valueForConfigurationKey(QStringLiteral("ConfigureEndpoint"));
    if (settings_.appNeedsOnboarding()) {
        KTHLog::debugWrite(QStringLiteral("[KitHost] Starting onboarding with app create"));
        {
            QMutexLocker lock(&mutex_);
            hasAttemptedAppConfigure_ = true;
        }
        beginOnboarding(true, endpoint);
        return;
    }
    postSettingsDownloadCompletedNotification();
    if (settings_.appUpdateRequired()) {
        KTHLog::debugWrite(QStringLiteral("[KitHost] Starting onboarding with app update"));
        {
            QMutexLocker lock(&mutex_);
            hasAttemptedAppConfigure_ = true;
        }
        beginOnboarding(false, endpoint);
    } else {
        finishNetworkingSession();
    }
}

void KTHSettingsOnboardingManager::onboardingOperationDidCompleteAppCreationWithError(KTHOnboardingOperation*,
                                                                                     const KTHError& error)
{
    if (error) {
        KTHLog::write(QStringLiteral("[KitHost] unable to complete application configure: %1").arg(error.description));
        finishNetworkingSession();
        return;
    }
    {
        QMutexLocker lock(&mutex_);
        onboardingOperation_.reset();
    }
    KTHLog::debugWrite(QStringLiteral("[KitHost] completed configure"));
    beginSettingsDownload();
}

void KTHSettingsOnboardingManager::onboardingOperationDidCompleteAppUpdateWithError(KTHOnboardingOperation*,
                                                                                   const KTHError& error)
{
    finishNetworkingSession();
    if (error) {
        KTHLog::write(QStringLiteral("[KitHost] unable to complete application update: %1").arg(error.description));
        return;
    }
    QMutexLocker lock(&mutex_);
    onboardingOperation_.reset();
    KTHLog::debugWrite(QStringLiteral("[KitHost] completed application update"));
}
