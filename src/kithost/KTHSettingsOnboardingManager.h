#pragma once

#include "kithost/KTHDownloadAndSaveSettingsOperation.h"
#include "kithost/KTHOnboardingOperation.h"
#include "kithost/KTHSettings.h"

#include <QMutex>
#include <QVariantMap>
#include <memory>

class KTHApplicationIdentiferModel;
class KTHNetworkClient;

inline constexpr char KTHSettingsAvailableNotification[] = "KTHSettingsAvailableNotification";
inline constexpr char kKTHDefaultEndpoint[] = "https://kit.mirvok.example";

// Drives one run's settings sequence: download and save, then (at most
// once per run) create or update the registration, then announce
// KTHSettingsAvailableNotification on NotificationCenter. Callbacks and the
// notification run on the network thread. Hold it in a shared_ptr: the
// operations keep only weak references to it.
class KTHSettingsOnboardingManager : public KTHDownloadAndSaveSettingsOperationDelegate,
                                     public KTHOnboardingOperationDelegate,
                                     public std::enable_shared_from_this<KTHSettingsOnboardingManager> {
public:
    // `model` may be null (the executable could not be read).
    explicit KTHSettingsOnboardingManager(std::shared_ptr<const KTHApplicationIdentiferModel> model);
    ~KTHSettingsOnboardingManager() override;

    void beginSettingsAndOnboardingOperationsWithAPIKey(const QString& APIKey, const QVariantMap& kitVersions);
    void beginSettingsDownload();
    void beginOnboarding(bool create, const QString& endpointString);

    KTHSettings& settingsModel() { return settings_; }
    QUrl settingsURL() const;
    // $XDG_CACHE_HOME/io.kithost.sdk.mac.data/<bundle identifier>
    static QString settingsDirectoryPath();
    static QString settingsPath();
    QString appIconHash() const;

    // Environment variable of that name, else the Info.plist CrashKit
    // dictionary, else the built-in default.
    static QString valueForConfigurationKey(const QString& key);
    static QVariantMap defaultConfiguration();

    void finishNetworkingSession();
    std::shared_ptr<KTHNetworkClient> networkClient() const;

    void operationDidDownloadAndSaveSettingsWithError(KTHDownloadAndSaveSettingsOperation* operation,
                                                      const KTHError& error) override;
    void onboardingOperationDidCompleteAppCreationWithError(KTHOnboardingOperation* operation,
                                                            const KTHError& error) override;
    void onboardingOperationDidCompleteAppUpdateWithError(KTHOnboardingOperation* operation,
                                                          const KTHError& error) override;

private:
    void postSettingsDownloadCompletedNotification();

    QMutex mutex_;
    bool hasAttemptedAppConfigure_ = false;
    KTHSettings settings_;
    std::shared_ptr<const KTHApplicationIdentiferModel> model_;
    std::shared_ptr<KTHOnboardingOperation> onboardingOperation_;
    QString APIKey_;
    QVariantMap kitVersions_;
    mutable QMutex clientMutex_;   // guards networkClient_ only
    mutable std::shared_ptr<KTHNetworkClient> networkClient_;
};
