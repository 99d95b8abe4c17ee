#include "kithost/KitHost.h"

#include "kithost/KTHApplicationIdentiferModel.h"
#include "kithost/KTHIdentifiers.h"
#include "kithost/KTHKit.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkOperation.h"
#include "kithost/KTHSettingsOnboardingManager.h"
#include "platform/BundleInfo.h"
#include "platform/CRKUserDefaults.h"

#include <QJsonDocument>

namespace {

constexpr char kInstallUUIDKey[] = "com.crashkit.iuuid";
const QString kHost = QStringLiteral("KitHost");

QMutex g_mutex;   // guards the instance pointer and the test dictionary
std::unique_ptr<KitHost> g_host;
// Held for the whole start-up, so a concurrent first call waits for it to
// end; recursive, so a kit that calls with() while starting gets the host.
QRecursiveMutex g_startMutex;
bool g_started = false;
std::optional<QVariantMap> g_testInfo;

}  // namespace

KitHost& KitHost::sharedSDK()
{
    QMutexLocker lock(&g_mutex);
    if (!g_host)
        g_host.reset(new KitHost);
    return *g_host;
}

KitHost& KitHost::with(const QStringList& kitClassNames)
{
    KitHost& host = sharedSDK();
    QMutexLocker lock(&g_startMutex);
    // The guard fires before the start, so a start that throws is not
    // tried again later in the run.
    if (g_started)
        return host;
    g_started = true;
    host.start(kitClassNames);
    return host;
}

void KitHost::resetForTesting()
{
    QMutexLocker start(&g_startMutex);
    QMutexLocker lock(&g_mutex);
    g_host.reset();
    g_started = false;
}

void KitHost::setInfoDictionaryForTesting(const std::optional<QVariantMap>& info)
{
    QMutexLocker lock(&g_mutex);
    g_testInfo = info;
}

QVariantMap KitHost::infoDictionary()
{
    {
        QMutexLocker lock(&g_mutex);
        if (g_testInfo)
            return *g_testInfo;
    }
    return BundleInfo::infoDictionary();
}

KitHost::KitHost()
{
    CRKUserDefaults& defaults = CRKUserDefaults::standardUserDefaults();
    const QString key = QString::fromLatin1(kInstallUUIDKey);
    const QVariant stored = defaults.objectForKeyByMigratingFromNSUserDefaults(key);
    if (stored.typeId() == QMetaType::QString && !stored.toString().isEmpty()) {
        installID_ = stored.toString();
    } else {
        isFirstInstall_ = true;
        installID_ = KTHNewUUIDString();
        defaults.setObject(installID_, key);
        defaults.synchronize();
    }
    executionIdentifier_ = KTHNewUUIDString().remove(QLatin1Char('-')).toLower();
    model_ = KTHApplicationIdentiferModel::create(installID_);
    manager_ = std::make_shared<KTHSettingsOnboardingManager>(model_);
}

QString KitHost::APIKey()
{
    {
        QMutexLocker lock(&mutex_);
        if (!APIKey_.isNull())
            return APIKey_;
    }
    QVariant key;
    try {
        key = kitHostConfig().value(QStringLiteral("APIKey"));
    } catch (const KTHException& e) {
        KTHLog::write(QStringLiteral("%1: %2").arg(KTHException::name(), e.reason()));
        return QString();
    }
    QMutexLocker lock(&mutex_);
    APIKey_ = key.toString();
    if (APIKey_.isEmpty())
        KTHLog::write(QStringLiteral("[KitHost] KitHost API Key is nil! KitHost won't work unless there is a valid "
                                     "API Key setup in Info.plist"));
    return APIKey_;
}

void KitHost::setAPIKey(const QString& key)
{
    QMutexLocker lock(&mutex_);
    APIKey_ = key;
}

QString KitHost::instanceIdentifier() const
{
    return model_ ? model_->instanceIdentifier() : QString();
}

std::optional<QVariantMap> KitHost::settings() const
{
    return manager_->settingsModel().settingsDictionary();
}

QStringList KitHost::kitClasses() const
{
    QMutexLocker lock(&mutex_);
    return kitClasses_;
}

bool KitHost::debug() const { return KTHLog::debug(); }
void KitHost::setDebug(bool on) { KTHLog::setDebug(on); }

QString KitHost::advertisingToken() const
{
    QMutexLocker lock(&mutex_);
    return advertisingToken_;
}

void KitHost::setAdvertisingToken(const QString& token)
{
    QMutexLocker lock(&mutex_);
    advertisingToken_ = token;
}

QVariantMap KitHost::kitHostConfig()
{
    {
        QMutexLocker lock(&mutex_);
        if (kitHostConfig_)
            return *kitHostConfig_;
    }
    const QVariantMap info = infoDictionary();
    if (info.isEmpty())
        throw KTHException(QStringLiteral("[%1] Cannot find Info.plist.").arg(kHost));
    const QVariant block = info.value(kHost);
    if (block.typeId() != QMetaType::QVariantMap)
        throw KTHException(
            QStringLiteral("[%1] Value of Info.plist key \"%2\" must be a NSDictionary.").arg(kHost, kHost));
    const QVariantMap config = block.toMap();
    if (config.value(QStringLiteral("Kits")).typeId() != QMetaType::QVariantList)
        KTHLog::write(QStringLiteral("[KitHost] [%1] Value of Info.plist[%2][%3] should be a NSArray.")
                          .arg(kHost, kHost, QStringLiteral("Kits")));
    if (config.value(QStringLiteral("APIKey")).typeId() != QMetaType::QString)
        throw KTHException(QStringLiteral("[%1] Value of Info.plist[%2][%3] must contain your %4 API Key.")
                               .arg(kHost, kHost, QStringLiteral("APIKey"), kHost));
    QMutexLocker lock(&mutex_);
    kitHostConfig_ = config;
    return config;
}

std::optional<QVariantMap> KitHost::configurationDictionaryForKitClass(const QString& className)
{
    const QVariantList kits = sharedSDK().kitHostConfig().value(QStringLiteral("Kits")).toList();
    for (const QVariant& entry : kits) {
        const QVariantMap kit = entry.toMap();
        if (kit.value(QStringLiteral("KitName")).toString() != className)
            continue;
        // The scrambled form is ours to choose: we store it plainly, and
        // plain KitInfo values win over it.
        QVariantMap out = kit.value(QStringLiteral("ObfuscatedKitInfo")).toMap();
        const QVariantMap plain = kit.value(QStringLiteral("KitInfo")).toMap();
        for (auto it = plain.begin(); it != plain.end(); ++it)
            out.insert(it.key(), it.value());
        return out;
    }
    return std::nullopt;
}

QVariantMap KitHost::kitVersionsByKitBundleIdentifier() const
{
    QVariantMap versions;
    for (const QString& name : kitClasses()) {
        const auto kit = KTHKitRegistry::kitNamed(name);
        if (!kit)
            continue;
        if (kit->adoptsKTHKit)
            versions.insert(kit->bundleIdentifier, kit->kitDisplayVersion);
        else if (kit->instanceBundleIdentifier && kit->instanceVersion)
            versions.insert(kit->instanceBundleIdentifier(), kit->instanceVersion());
    }
    versions.insert(QString::fromLatin1(kKTHClientIdentifier), QString::fromLatin1(kKTHDisplayVersion));
    KTHLog::debugWrite(QStringLiteral("[KitHost] Initialized with kit versions: %1")
                           .arg(QString::fromUtf8(QVariant(versions).toJsonDocument().toJson(QJsonDocument::Compact))));
    return versions;
}

void KitHost::start(const QStringList& kits)
{
    bool keySetInCode;
    {
        QMutexLocker lock(&mutex_);
        keySetInCode = !APIKey_.isNull();
    }
    if (!keySetInCode)
        kitHostConfig();   // a misconfigured Info.plist throws here, to the caller of with()
    const QString key = APIKey();
    if (key.isEmpty())
        return;

    QStringList list;
    for (const QString& name : kits) {
        const auto kit = KTHKitRegistry::kitNamed(name);
        bool valid = kit && kit->adoptsKTHKit;
        if (kit && !kit->adoptsKTHKit && kit->hasSharedInstance) {
            KTHLog::write(QStringLiteral("[%1] Please upgrade to the latest version of \"%2\"").arg(kHost, name));
            valid = kit->start && kit->instanceBundleIdentifier && kit->instanceVersion;
        }
        if (!valid)
            throw KTHException(QStringLiteral("[%1] It appears that \"%2\" is not a valid KitHost Kit. Please make "
                                              "sure you only pass KitHost Kits to [KitHost with:].")
                                   .arg(kHost, name));
        list.append(name);
    }
    if (KTHKitRegistry::kitNamed(QStringLiteral("Dialkit")) && !list.contains(QStringLiteral("Dialkit")))
        list.append(QStringLiteral("Dialkit"));
    const auto tally = KTHKitRegistry::kitNamed(QStringLiteral("Tally"));
    if (list.contains(QStringLiteral("CrashKit")) && tally && tally->adoptsKTHKit
        && !list.contains(QStringLiteral("Tally")))
        list.append(QStringLiteral("Tally"));
    {
        QMutexLocker lock(&mutex_);
        kitClasses_ = list;
    }
    for (const QString& name : list) {
        const auto kit = KTHKitRegistry::kitNamed(name);
        if (!kit)
            continue;
        if (kit->adoptsKTHKit) {
            if (kit->initializeIfNeeded)
                kit->initializeIfNeeded();
        } else if (kit->start) {
            kit->start();
        }
    }
    manager_->beginSettingsAndOnboardingOperationsWithAPIKey(key, kitVersionsByKitBundleIdentifier());
}
