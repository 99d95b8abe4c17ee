#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class CRKAnalyticsController;
class CRKTallyEvent;

// The usage-analytics kit. The kit host starts it through its descriptor
// (registerKit()); the crash kit, once it exists, starts it itself and
// forwards its own events and the previous run's crash. All class methods
// are safe from any thread and do nothing while the kit has no controller.
class Tally {
public:
    static Tally& sharedInstance();
    // Registers the "Tally" kit descriptor with the kit host.
    static void registerKit();

    static QString bundleIdentifier() { return QStringLiteral("com.kitvendor.tally.mac"); }
    static QString kitDisplayVersion() { return QStringLiteral("1.0.1"); }
    static QString kitBuildVersion() { return QStringLiteral("4"); }
    // Hands over to the crash kit when it is registered; starts otherwise.
    static void initializeIfNeeded();

    static void startWithBetaToken(const QString& betaToken);
    // Runs once per process, whatever the token.
    void start(const QString& betaToken);
    // $XDG_CACHE_HOME/com.crashkit.data/<namespace>/analytics
    static QString analyticsRootDirectory();

    static void logPreviousSessionCrashedOnDate(const QDateTime& date);
    static void logCustomEventWithName(const QString& name, const QVariantMap& customAttributes = {});
    static void logPredefinedEvent(const CRKTallyEvent& event);

    static void logSignUpWithMethod(const QVariant& method, const QVariant& success, const QVariantMap& custom = {});
    static void logLoginWithMethod(const QVariant& method, const QVariant& success, const QVariantMap& custom = {});
    static void logShareWithMethod(const QVariant& method, const QVariant& contentName, const QVariant& contentType,
                                   const QVariant& contentId, const QVariantMap& custom = {});
    static void logInviteWithMethod(const QVariant& method, const QVariantMap& custom = {});
    static void logPurchaseWithPrice(const QVariant& price, const QVariant& currency, const QVariant& success,
                                     const QVariant& itemName, const QVariant& itemType, const QVariant& itemId,
                                     const QVariantMap& custom = {});
    static void logLevelStart(const QVariant& levelName, const QVariantMap& custom = {});
    static void logLevelEnd(const QVariant& levelName, const QVariant& score, const QVariant& success,
                            const QVariantMap& custom = {});
    static void logAddToCartWithPrice(const QVariant& price, const QVariant& currency, const QVariant& itemName,
                                      const QVariant& itemType, const QVariant& itemId,
                                      const QVariantMap& custom = {});
    static void logStartCheckoutWithPrice(const QVariant& price, const QVariant& currency,
                                          const QVariant& itemCount, const QVariantMap& custom = {});
    static void logRating(const QVariant& rating, const QVariant& contentName, const QVariant& contentType,
                          const QVariant& contentId, const QVariantMap& custom = {});
    static void logContentViewWithName(const QVariant& contentName, const QVariant& contentType,
                                       const QVariant& contentId, const QVariantMap& custom = {});
    static void logSearchWithQuery(const QVariant& query, const QVariantMap& custom = {});

    // Nullptr until started, and for good when the kit is not supported.
    CRKAnalyticsController* analyticsController() const;

private:
    Tally() = default;
    std::shared_ptr<CRKAnalyticsController> controller_;
};
