#pragma once

#include "crash/CRKBetaController.h"
#include "crash/CRKCrashReportingController.h"
#include "crash/CRKStackFrame.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QVector>
#include <functional>
#include <memory>

class CRKReport;
class QWebChannel;
class QWebEnginePage;

// The application's delegate. Every member is optional: an unset one counts
// as "not implemented".
struct CrashKitDelegate {
    // Once per report of an earlier run; call the handler (on any thread)
    // with true to send, false to delete the report.
    std::function<void(std::shared_ptr<CRKReport>, std::function<void(bool)>)> crashKitDidDetectReportForLastExecution;
    std::function<bool()> crashKitCanUseBackgroundSessions;
    // Runs inside the signal handler while the process is crashing: it must
    // be async-signal-safe (no Qt, no allocation, no locks).
    void (*crashKitDidDetectCrash)() = nullptr;
    std::function<bool(int signal)> ensureDeliveryOfUnixSignal;
    // Legacy, on the main thread after each offered report.
    std::function<void(std::shared_ptr<CRKReport>)> didDetectCrashDuringPreviousExecution;
    std::function<void()> crashKitDidDetectCrashDuringPreviousExecution;
};

// What the crash kit asks of the analytics kit. Installed by the
// application once both kits are built in; unset members do nothing.
struct CrashKitTallyHooks {
    std::function<void(const QString& betaToken)> startWithBetaToken;
    std::function<void(const QString& name, const QVariantMap& attributes)> logCustomEvent;
    std::function<void(const QDateTime& date)> logPreviousSessionCrashedOnDate;
};

// Thrown by throwException().
struct CrashKitTestException : std::exception {
    const char* what() const noexcept override { return "This is an Objective-C exception using for testing."; }
};

// The crash-reporting kit as the application sees it: started by the kit
// host (registerKit() makes it known there), it starts the crash reporting
// controller, the beta check and the analytics kit, and records user
// identity, keys, logs and errors into the current report.
class CrashKit : public CRKCrashReportingControllerDelegate, public CRKBetaControllerDelegate {
public:
    static CrashKit& sharedInstance();
    static void registerKit();
    static void initializeIfNeeded() { sharedInstance().start(); }
    static void setTallyHooks(CrashKitTallyHooks hooks);

    static QString bundleIdentifier() { return QStringLiteral("com.kitvendor.crashkit.mac"); }
    static QString kitDisplayVersion() { return QStringLiteral("3.4.1"); }
    static QString kitBuildVersion() { return QStringLiteral("92"); }
    QString version() const { return kitDisplayVersion(); }

    // The whole start, once per process (the kit host's initializeIfNeeded).
    // After startRecording() it does the rest only.
    void start();
    // The part of the start that must not wait for the window: the report
    // folders, this run's folder and the crash handlers, from here on. The
    // reports of earlier runs, their upload and the analytics kit wait for
    // start(). Main thread, once; writes files, so not for signal handlers.
    void startRecording();
    static CrashKit& startWithAPIKey(const QString& key, const CrashKitDelegate* delegate = nullptr);
    static CrashKit& startWithAPIKeyAfterDelay(const QString& key, const CrashKitDelegate* delegate, double delay);

    void setDelegate(const CrashKitDelegate& delegate);
    QString APIKey() const;
    QString installID() const;
    bool isFirstInstall() const;
    bool isCrashKitStarted() const;
    bool debugMode() const;
    void setDebugMode(bool on);

    void setUserIdentifier(const QString& value);
    void setUserName(const QString& value);
    void setUserEmail(const QString& value);
    void setObjectValue(const QVariant& value, const QString& key);
    void setIntValue(int value, const QString& key) { setObjectValue(value, key); }
    void setBoolValue(bool value, const QString& key) { setObjectValue(value, key); }
    void setFloatValue(float value, const QString& key) { setObjectValue(value, key); }
    void setDevelopmentPlatformName(const QString& value);
    void setDevelopmentPlatformVersion(const QString& value);
    QString developmentPlatformName() const;
    QString developmentPlatformVersion() const;
    void recordError(const QString& domain, qint64 code, const QVariantMap& userInfo = {},
                     const QVariantMap& additionalUserInfo = {});
    void recordCustomExceptionName(const QString& name, const QString& reason, const QVector<CRKStackFrame>& frames);
    void logEvent(const QString& name, const QVariantMap& attributes = {});
    // Puts the page-error script and the "crashkit" channel object on a page:
    // on `channel` when given (the page's own, set on it for its pages),
    // else on the page's channel, made when it has none.
    void monitorErrorsForWebPage(QWebEnginePage* page, QWebChannel* channel = nullptr);
    [[noreturn]] void crash();
    [[noreturn]] void throwException();

    CRKCrashReportingController* crashReportingController() const;
    CRKBetaController* betaController() const;

    // Tests: a kit not started yet.
    static void resetForTesting();

private:
    CrashKit() = default;
    void beginStart();
    void finishStart();
    CrashKitDelegate delegate() const;
    void warnDelegateAboutMethods();

    // CRKCrashReportingControllerDelegate
    void (*crashCallback())(void*) override;
    bool reportingControllerCanUseBackgroundSessions() override;
    bool reportingControllerMustInformDelegateOfReports() override;
    void reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<CRKInternalReport>& report,
                                                            std::function<void(bool)> completion) override;
    void reportingControllerInternalDidDetectReportForLastExecution(
        const std::shared_ptr<CRKInternalReport>& report) override;
    bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) override;
    void reportingControllerDidDetectUncleanEnd(const std::shared_ptr<CRKInternalReport>& report) override;
    QString APIKeyForCrashReportingController() override { return APIKey(); }
    QString installIDForCrashReportingController() override { return installID(); }
    bool isFirstInstallForCrashReportingController() override { return isFirstInstall(); }
    CRKSettings settingsForCrashReportingController() override;
    // CRKBetaControllerDelegate
    QString APIKeyForBetaController() override { return APIKey(); }
    CRKSettings settingsForBetaController() override;

    mutable QMutex mutex_;
    CrashKitDelegate delegate_;
    enum class Stage { NotStarted, Recording, Started };
    Stage stage_ = Stage::NotStarted;
    bool controllerBegun_ = false;   // under the start mutex
    QString betaToken_;
    std::unique_ptr<CRKCrashReportingController> controller_;
    std::unique_ptr<CRKBetaController> betaController_;
};
