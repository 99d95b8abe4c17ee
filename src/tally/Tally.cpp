#include "tally/Tally.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHKit.h"
#include "kithost/KitHost.h"
#include "platform/ApplicationActivity.h"
#include "platform/MainThread.h"
#include "tally/CRKAnalyticsController.h"
#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKTallyEvent.h"

#include <QStandardPaths>
#include <mutex>

namespace {
std::once_flag g_startOnce;
std::mutex g_controllerMutex;
}  // namespace

Tally& Tally::sharedInstance()
{
    static Tally* instance = new Tally;   // lives to the end: queues may still log at exit
    return *instance;
}

void Tally::registerKit()
{
    KTHKitDescriptor kit;
    kit.className = QStringLiteral("Tally");
    kit.bundleIdentifier = bundleIdentifier();
    kit.kitDisplayVersion = kitDisplayVersion();
    kit.kitBuildVersion = kitBuildVersion();
    kit.initializeIfNeeded = &Tally::initializeIfNeeded;
    KTHKitRegistry::registerKit(kit);
}

void Tally::initializeIfNeeded()
{
    const auto crashKit = KTHKitRegistry::kitNamed(QStringLiteral("CrashKit"));
    if (crashKit && crashKit->adoptsKTHKit) {
        if (crashKit->initializeIfNeeded)
            crashKit->initializeIfNeeded();
        return;
    }
    startWithBetaToken(QString());
}

void Tally::startWithBetaToken(const QString& betaToken)
{
    sharedInstance().start(betaToken);
}

QString Tally::analyticsRootDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/com.crashkit.data/") + KTHApplicationBundleIdentifier() + QStringLiteral("/analytics");
}

void Tally::start(const QString& betaToken)
{
    std::call_once(g_startOnce, [this, betaToken] {
        if (!CRKAnalyticsController::supported())
            return;
        std::shared_ptr<CRKAnalyticsController> controller = CRKAnalyticsController::create(
            KitHost::sharedSDK().executionIdentifier(), analyticsRootDirectory(), betaToken);
        if (!controller)
            return;
        {
            std::lock_guard<std::mutex> lock(g_controllerMutex);
            controller_ = controller;
        }
        controller->logAppInstalled();
        controller->logAppLaunched();
        // The application may have become active before this start (its
        // window takes the focus early): its notice went unheard. It is
        // told a turn later, as a notice would come, after what this start
        // queued for the main thread (the previous run's crash); unless a
        // notice came meanwhile and was heard.
        if (ApplicationActivity::isActive())
            runOnMain([weak = std::weak_ptr<CRKAnalyticsController>(controller),
                       changes = ApplicationActivity::changes()] {
                const auto c = weak.lock();
                if (c && ApplicationActivity::changes() == changes)
                    c->applicationLifecycleEvent(QString::fromLatin1(kNSApplicationDidBecomeActiveNotification));
            });
    });
}

CRKAnalyticsController* Tally::analyticsController() const
{
    std::lock_guard<std::mutex> lock(g_controllerMutex);
    return controller_.get();
}

void Tally::logPreviousSessionCrashedOnDate(const QDateTime& date)
{
    if (auto* c = sharedInstance().analyticsController())
        c->logPreviousSessionCrashedOnDate(date);
}

void Tally::logCustomEventWithName(const QString& name, const QVariantMap& customAttributes)
{
    auto* c = sharedInstance().analyticsController();
    if (!c)
        return;
    if (const auto event = CRKTallyCustomEvent::create(name, customAttributes))
        c->logCustomEvent(*event);
}

void Tally::logPredefinedEvent(const CRKTallyEvent& event)
{
    if (auto* c = sharedInstance().analyticsController())
        c->logPredefinedEvent(event);
}

void Tally::logSignUpWithMethod(const QVariant& method, const QVariant& success, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::signUp(method, success, custom));
}

void Tally::logLoginWithMethod(const QVariant& method, const QVariant& success, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::login(method, success, custom));
}

void Tally::logShareWithMethod(const QVariant& method, const QVariant& contentName, const QVariant& contentType,
                               const QVariant& contentId, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::share(method, contentName, contentType, contentId, custom));
}

void Tally::logInviteWithMethod(const QVariant& method, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::invite(method, custom));
}

void Tally::logPurchaseWithPrice(const QVariant& price, const QVariant& currency, const QVariant& success,
                                 const QVariant& itemName, const QVariant& itemType, const QVariant& itemId,
                                 const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::purchase(price, currency, success, itemName, itemId, itemType, custom));
}

void Tally::logLevelStart(const QVariant& levelName, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::levelStart(levelName, custom));
}

void Tally::logLevelEnd(const QVariant& levelName, const QVariant& score, const QVariant& success,
                        const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::levelEnd(levelName, score, success, custom));
}

void Tally::logAddToCartWithPrice(const QVariant& price, const QVariant& currency, const QVariant& itemName,
                                  const QVariant& itemType, const QVariant& itemId, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::addToCart(price, currency, itemName, itemType, itemId, custom));
}

void Tally::logStartCheckoutWithPrice(const QVariant& price, const QVariant& currency, const QVariant& itemCount,
                                      const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::startCheckout(price, currency, itemCount, custom));
}

void Tally::logRating(const QVariant& rating, const QVariant& contentName, const QVariant& contentType,
                      const QVariant& contentId, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::rating(rating, contentName, contentType, contentId, custom));
}

void Tally::logContentViewWithName(const QVariant& contentName, const QVariant& contentType,
                                   const QVariant& contentId, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::contentView(contentName, contentType, contentId, custom));
}

void Tally::logSearchWithQuery(const QVariant& query, const QVariantMap& custom)
{
    logPredefinedEvent(CRKTallyPredefinedEvent::search(query, custom));
}
