#pragma once

#include "crash/CRKNetworkClient.h"
#include "platform/LifeGuard.h"
#include "crash/CRKReportsController.h"
#include "crash/CRKSettings.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CRKFileManager;
class CRKInternalReport;
class SerialQueue;

class CRKCrashReportingControllerDelegate {
public:
    virtual ~CRKCrashReportingControllerDelegate() = default;
    // The crash callback: a plain function, run inside the signal handler,
    // so it must be async-signal-safe. Null: none is installed.
    virtual void (*crashCallback())(void*) = 0;
    virtual bool reportingControllerCanUseBackgroundSessions() = 0;
    virtual bool reportingControllerMustInformDelegateOfReports() = 0;
    virtual void reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<CRKInternalReport>& report,
                                                                    std::function<void(bool)> completion) = 0;
    virtual void reportingControllerInternalDidDetectReportForLastExecution(
        const std::shared_ptr<CRKInternalReport>& report) = 0;
    virtual bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) = 0;
    // An earlier run that left no crash record and did not quit: killed,
    // out of memory, lost power, or a crash before the handlers were in.
    virtual void reportingControllerDidDetectUncleanEnd(const std::shared_ptr<CRKInternalReport>&) {}
    virtual QString APIKeyForCrashReportingController() = 0;
    virtual QString installIDForCrashReportingController() = 0;
    virtual bool isFirstInstallForCrashReportingController() = 0;
    virtual CRKSettings settingsForCrashReportingController() = 0;
};

// The life cycle of crash reporting for one process: the report folders,
// this run's folder and launch marker, the crash-time core's set-up, and the
// reports earlier runs left (offered to the delegate or the user, then
// processed, packaged and uploaded on the work queue).
//
// Failed uploads are retried 600 s later, at most 6 times per package per
// run; no answer deletes a package, so after that it waits for the next
// start.
class CRKCrashReportingController : public CRKNetworkClientDelegate, public CRKReportsControllerDelegate {
public:
    // Answers to the permission alert (1000 + button index; the buttons are
    // send, always send when given, cancel).
    using AlertPresenter = std::function<void(const QString& title, const QString& message, const QString& cancel,
                                              const QString& send, const QString& alwaysSend,
                                              std::function<void(int)> done)>;

    CRKCrashReportingController(std::shared_ptr<CRKFileManager> fileManager,
                                CRKCrashReportingControllerDelegate* delegate);
    ~CRKCrashReportingController() override;

    // The whole start: beginWithProfilingMark() and, when it answers true,
    // finishStart(). Answers whether this run has a report folder.
    bool startWithProfilingMark(quint64 mark, const QString& betaToken);
    // What must be in place from the first moment of a launch, on the
    // starting thread: the report folders, the launch marker, this run's
    // folder and the crash handlers, and the list of the folders earlier
    // runs left. False when crash reporting cannot or must not run (no
    // bundle identifier, switched off, folders not creatable); then
    // finishStart() must not be called. Writes files; not for signal
    // handlers.
    bool beginWithProfilingMark(quint64 mark, const QString& betaToken);
    // The rest, once, after beginWithProfilingMark() answered true: the
    // reports of earlier runs (urgent ones on this thread, the others
    // through the delegate and the work queue) and the left-over
    // processing and prepared folders. Answers whether this run has a
    // report folder.
    bool finishStart();

    uint32_t machExceptionMask();
    bool canProcessUrgentReports();
    bool needsToPrompt();
    int promptChoice() const { return promptChoice_.load(); }
    CRKSettings settings();
    CRKReportsController* reportsController();
    SerialQueue* workQueue() const { return workQueue_.get(); }
    QString currentReportPath() const { return currentReportPath_; }
    QString launchFailureMarkerPath() const;

    // The alert shown on the main thread; tests put a stand-in here.
    static void setAlertPresenter(AlertPresenter presenter);
    static void presentAlert(const QString& title, const QString& message, const QString& cancel,
                             const QString& send, const QString& alwaysSend, std::function<void(int)> done);
    static void setRetryIntervalForTesting(int ms);
    static constexpr int kMaximumRetriesPerRun = 6;

    // CRKNetworkClientDelegate
    bool networkClientCanUseBackgroundSessions() override;
    void networkClientDidFinishUpload(const QString& path, const KTHError& error) override;
    // CRKReportsControllerDelegate
    void reportsControllerDidCompletePackageSubmission(const QString& path, const KTHError& error) override;
    CRKSettings settingsForReportsController() override { return settings(); }
    QString APIKeyForReportsController() override;
    QString bundleIdentifierForReportsController() override;

private:
    bool checkPreconditions();
    bool prepareForNewLaunch();
    bool checkForAndCreateLaunchMarker();
    std::shared_ptr<CRKInternalReport> setupCurrentReport();
    void installCrashReportingHandlers(const std::shared_ptr<CRKInternalReport>& report, const QString& betaToken);
    void crashReportingSetupCompleted(quint64 mark);
    void setupStateNotifications();
    void checkForUserPromptSetting();
    void processExistingReportPaths(const QStringList& paths, bool urgent);
    void processExistingActiveReportPath(const QString& path, bool urgent);
    void handleDelegateCompletionForReport(const std::shared_ptr<CRKInternalReport>& report, bool submit);
    void displayPermissionAlertForReport(const std::shared_ptr<CRKInternalReport>& report);
    void setupAndDisplayAlert(const QString& title, const QString& message, const QString& cancel, const QString& send,
                              const QString& alwaysSend, const std::shared_ptr<CRKInternalReport>& report);
    void showNextAlert();
    void handlePromptCompleteForReport(const std::shared_ptr<CRKInternalReport>& report, bool submit, bool alwaysSubmit);
    void removeReport(const std::shared_ptr<CRKInternalReport>& report);
    void handleContentsInOtherReportingDirectories();
    void handleExistingFilesInProcessing();
    void handleExistingFilesInPrepared();
    void uploadPreexistingFiles(const QStringList& paths);
    void retryUploadForReportAtPath(const QString& path);
    bool createLaunchFailureMarker();
    bool launchFailureMarkerPresent() const;
    void removeLaunchFailureMarker();
    bool delegateNeedsToBeInformedOfReports();

    std::shared_ptr<CRKFileManager> fileManager_;
    CRKCrashReportingControllerDelegate* delegate_;
    std::shared_ptr<SerialQueue> workQueue_;
    std::shared_ptr<CRKNetworkClient> networkClient_;
    QMutex mutex_;   // guards the two made-once members and the retry counts
    std::unique_ptr<CRKReportsController> reportsController_;
    std::optional<CRKSettings> settings_;
    QHash<QString, int> retries_;
    std::atomic<int> promptChoice_{0};
    QString currentReportPath_;
    // Carried from beginWithProfilingMark() to finishStart().
    quint64 profilingMark_ = 0;
    bool lastLaunchFailed_ = false;
    QStringList earlierReportPaths_;
    bool hasCurrentReport_ = false;
    int currentReportLock_ = -1;
    LifeGuard life_;
    struct PendingAlert {
        QString title, message, cancel, send, alwaysSend;
        std::shared_ptr<CRKInternalReport> report;
    };
    QList<PendingAlert> pendingAlerts_;   // main thread only
    bool alertShowing_ = false;           // main thread only
    quint64 notificationTokens_[3] = {0, 0, 0};
};
