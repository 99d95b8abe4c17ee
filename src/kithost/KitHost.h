#pragma once

#include "kithost/KTHException.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

class KTHApplicationIdentiferModel;
class KTHSettingsOnboardingManager;

// The host of the crash-reporting and analytics kits: one per process. It
// owns the identity every kit sends (API key, install UUID, execution and
// instance identifiers), reads the Info.plist "KitHost" block, carries the
// debug switch and starts the settings download and registration.
//
// with() runs the start-up once per process, on the calling thread (the
// main thread at launch); it throws KTHException on misconfiguration. The
// identity values are fixed before with() returns and may then be read from
// any thread; settings() is safe from any thread at any time.
class KitHost {
public:
    static KitHost& with(const QStringList& kitClassNames);
    static KitHost& sharedSDK();

    // The key set in code, else the Info.plist's; null (logged) when there
    // is none or the Info.plist block is invalid. Never throws.
    QString APIKey();
    void setAPIKey(const QString& key);
    QString installID() const { return installID_; }
    bool isFirstInstall() const { return isFirstInstall_; }
    QString executionIdentifier() const { return executionIdentifier_; }
    QString instanceIdentifier() const;
    // The saved settings; nullopt until a settings file exists.
    std::optional<QVariantMap> settings() const;
    QStringList kitClasses() const;
    bool debug() const;
    void setDebug(bool on);
    QString advertisingToken() const;
    void setAdvertisingToken(const QString& token);

    // The validated Info.plist "KitHost" dictionary; throws KTHException.
    QVariantMap kitHostConfig();
    static std::optional<QVariantMap> configurationDictionaryForKitClass(const QString& className);
    QVariantMap kitVersionsByKitBundleIdentifier() const;

    const KTHApplicationIdentiferModel* applicationIdentifierModel() const { return model_.get(); }
    std::shared_ptr<KTHSettingsOnboardingManager> settingsAndOnboardingManager() const { return manager_; }

    // Tests: a fresh host and guard, and the info dictionary it reads
    // (nullopt: the real one).
    static void resetForTesting();
    static void setInfoDictionaryForTesting(const std::optional<QVariantMap>& info);

private:
    KitHost();
    void start(const QStringList& kits);
    static QVariantMap infoDictionary();

    mutable QMutex mutex_;
    bool isFirstInstall_ = false;
    QStringList kitClasses_;
    std::optional<QVariantMap> kitHostConfig_;
    QString APIKey_;
    QString installID_;
    QString executionIdentifier_;
    QString advertisingToken_;
    std::shared_ptr<const KTHApplicationIdentiferModel> model_;
    std::shared_ptr<KTHSettingsOnboardingManager> manager_;
};
