#include "crash/CRKBetaController.h"

#include "crash/CrashKitConstants.h"
#include "crash/CRKReportsController.h"
#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KTHPinnedCertificates.h"
#include "kithost/KTHSettingsOnboardingManager.h"
#include "kithost/KTHURLBuilder.h"
#include "kithost/KitHost.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMutex>
#include <QTimer>

namespace {
QMutex g_tokenMutex;
CRKBetaTokenProvider g_tokenProvider;
}  // namespace

void CRKSetBetaTokenProvider(CRKBetaTokenProvider provider)
{
    QMutexLocker lock(&g_tokenMutex);
    g_tokenProvider = std::move(provider);
}

QString CRKBetaToken()
{
    QMutexLocker lock(&g_tokenMutex);
    return g_tokenProvider ? g_tokenProvider() : QString();
}

std::optional<CRKBetaUpdate> CRKBetaUpdate::betaUpdateWithDictionary(const QVariant& object, KTHError* error)
{
    const QVariantMap map = object.typeId() == QMetaType::QVariantMap ? object.toMap() : QVariantMap();
    const QVariant url = map.value(QStringLiteral("url"));
    const QUrl parsed(url.typeId() == QMetaType::QString ? url.toString() : QString(), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.isEmpty()) {
        if (error)
            *error = {QStringLiteral("NSURLErrorDomain"), -1017, {}, QStringLiteral("cannot parse response")};
        return std::nullopt;
    }
    CRKBetaUpdate update;
    update.url = parsed;
    const QVariant version = map.value(QStringLiteral("version_string"));
    if (version.typeId() == QMetaType::QString)
        update.version = version.toString();
    return update;
}

CRKBetaController::CRKBetaController(CRKBetaControllerDelegate* delegate)
    : delegate_(delegate), client_(std::make_unique<KTHNetworkClient>(KTHPinnedCertificates())),
      queue_(std::make_unique<SerialQueue>(QStringLiteral("com.kitvendor.crashkit.mac.beta"))),
      activeUpdate_(std::make_shared<std::optional<CRKBetaUpdate>>())
{
}

CRKBetaController::~CRKBetaController()
{
    life_.end();
    if (observer_)
        NotificationCenter::defaultCenter().removeObserver(observer_);
    queue_.reset();
}

bool CRKBetaController::isBetaSupported() { return KTHApplicationInstallSource() == KTHInstallSourceBeta; }

bool CRKBetaController::start()
{
    betaToken_ = CRKBetaToken();
    if (betaToken_.isEmpty())
        return false;
    observer_ = NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(KTHSettingsAvailableNotification), nullptr, [this](const Notification&) { checkForUpdate(); });
    return true;
}

std::optional<CRKBetaUpdate> CRKBetaController::activeUpdate() const
{
    return *activeUpdate_;
}

QUrl CRKBetaController::betaUpdateURL()
{
    KTHURLBuilder builder = KTHURLBuilder::URLWithBase(delegate_->settingsForBetaController().betaEndpoint());
    builder.appendComponent(QStringLiteral("/spi/v2/platforms/"));
    builder.appendComponent(QStringLiteral("mac"));
    builder.appendComponent(QStringLiteral("/apps/"));
    builder.appendComponent(KTHApplicationBundleIdentifier());
    builder.appendComponent(QStringLiteral("/beta_update_check"));
    builder.appendValue(KTHApplicationBuildVersion(), QStringLiteral("build_version"));
    builder.appendValue(KTHApplicationDisplayVersion(), QStringLiteral("display_version"));
    builder.appendValue(KitHost::sharedSDK().instanceIdentifier(), QStringLiteral("instance"));
    builder.appendValue(KTHApplicationInstallSource(), QStringLiteral("source"));
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Beta Update-Check url string: '%1'").arg(builder.URLString()));
    return builder.URL();
}

KTHURLRequest CRKBetaController::betaRequest()
{
    KTHURLRequest request;
    request.url = betaUpdateURL();
    request.method = "GET";
    request.timeoutMs = 10000;
    request.headers = CrashKitConstants::standardHeaders(CRKReportsController::localeIdentifier().toUtf8(),
                                                         delegate_->APIKeyForBetaController().toUtf8());
    request.headers.append({"X-CrashKit-Beta-Token", betaToken_.toUtf8()});
    return request;
}

void CRKBetaController::checkForUpdate()
{
    queue_->async([this, watch = life_.watch()] {
        watch.run([&] {
            if (!isBetaSupported() || checksSuspended_ || retrying_)
                return;
            KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Loading beta update"));
            // A check in flight (or one that failed) keeps later ones out.
            retrying_ = true;
            // The answer comes on the network thread and may outlive us.
            client_->startDataTaskWithRequest(
                betaRequest(), 10, [this, watch](const QByteArray& data, const KTHHTTPResponse&, const KTHError& e) {
                    watch.run([&] {
                        queue_->async([this, watch, data, e] { watch.run([&] { handleAnswer(data, e); }); });
                    });
                });
        });
    });
}

void CRKBetaController::handleAnswer(const QByteArray& data, const KTHError& error)
{
    if (error || data.isEmpty()) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Failed to load update '%1'").arg(error.description));
        return;
    }
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Beta update loaded"));
    temporarilySuspendChecks();
    retrying_ = false;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Unable to deserialize beta update data: %1").arg(parseError.errorString()));
        return;
    }
    KTHError e;
    const auto update = CRKBetaUpdate::betaUpdateWithDictionary(doc.toVariant(), &e);
    if (!update) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Unable to read beta update data: %1").arg(e.description));
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Beta] Beta update url is invalid"));
        return;
    }
    // No prompt is shown; the update is only kept.
    runOnMain([active = activeUpdate_, u = *update] { *active = u; });
}

void CRKBetaController::temporarilySuspendChecks()
{
    const double seconds = delegate_->settingsForBetaController().betaSuspendDuration().toDouble();
    if (seconds <= 0 || !QCoreApplication::instance())
        return;
    checksSuspended_ = true;
    runOnMain([this, watch = life_.watch(), seconds] {
        QTimer::singleShot(int(std::min(seconds, 86400.0) * 1000), qApp,
                           [this, watch] { watch.run([&] { checksSuspended_ = false; }); });
    });
}
