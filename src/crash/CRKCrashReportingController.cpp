#include "crash/CRKCrashReportingController.h"

#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKException.h"
#include "crash/core/CRKQueue.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKSignal.h"
#include "crash/core/CRKUserLogging.h"
#include "platform/PrivateFiles.h"
#include "crash/core/CRKUtilities.h"
#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"
#include "kithost/KitHost.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"
#include "platform/ThreadStartHook.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> g_retryIntervalMs{600 * 1000};
// Left in a run's folder when it quits the ordinary way (hidden: never sent).
const QString kCleanExitName = QStringLiteral(".clean_exit");
QMutex g_presenterMutex;
CRKCrashReportingController::AlertPresenter g_presenter;

void writeInternalKeyLater(const char* key, const QByteArray& value)
{
    if (CRKQueue* queue = CRKContextLoggingQueue())
        queue->async([key, value] { CRKUserLoggingWriteInternalKeyValue(key, value.constData()); });
}

}  // namespace

CRKCrashReportingController::CRKCrashReportingController(std::shared_ptr<CRKFileManager> fileManager,
                                                         CRKCrashReportingControllerDelegate* delegate)
    : fileManager_(std::move(fileManager)), delegate_(delegate),
      workQueue_(std::make_shared<SerialQueue>(QStringLiteral("com.kitvendor.crashkit.mac.work-queue")))
{
    networkClient_ = std::make_shared<CRKNetworkClient>(workQueue_, fileManager_, this);
}

CRKCrashReportingController::~CRKCrashReportingController()
{
    life_.end();
    for (quint64 token : notificationTokens_)
        if (token)
            NotificationCenter::defaultCenter().removeObserver(token);
    workQueue_.reset();
    networkClient_.reset();
    CRKFileManager::unlock(currentReportLock_);
}

void CRKCrashReportingController::setRetryIntervalForTesting(int ms) { g_retryIntervalMs = ms; }

void CRKCrashReportingController::setAlertPresenter(AlertPresenter presenter)
{
    QMutexLocker lock(&g_presenterMutex);
    g_presenter = std::move(presenter);
}

CRKSettings CRKCrashReportingController::settings()
{
    QMutexLocker lock(&mutex_);
    if (!settings_)
        settings_ = delegate_->settingsForCrashReportingController();
    return *settings_;
}

CRKReportsController* CRKCrashReportingController::reportsController()
{
    QMutexLocker lock(&mutex_);
    if (!reportsController_)
        reportsController_ = std::make_unique<CRKReportsController>(this, networkClient_, fileManager_);
    return reportsController_.get();
}

QString CRKCrashReportingController::launchFailureMarkerPath() const
{
    return fileManager_->structurePath() + QStringLiteral("/launchmarker");
}

bool CRKCrashReportingController::startWithProfilingMark(quint64 mark, const QString& betaToken)
{
    return beginWithProfilingMark(mark, betaToken) && finishStart();
}

bool CRKCrashReportingController::beginWithProfilingMark(quint64 mark, const QString& betaToken)
{
    if (!checkPreconditions())
        return false;
    if (!settings().crashReportingEnabled()) {
        KTHLog::write(QStringLiteral("[CrashKit:Crash] Reporting is disabled"));
        fileManager_->removeContentsOfAllPaths();
        return false;
    }
    if (!prepareForNewLaunch())
        return false;
    profilingMark_ = mark;
    lastLaunchFailed_ = checkForAndCreateLaunchMarker();
    earlierReportPaths_.clear();
    for (const QString& path : fileManager_->activePathContents())
        if (!CRKFileManager::isReportFolderLive(path))
            earlierReportPaths_ << path;
    const auto report = setupCurrentReport();
    hasCurrentReport_ = report != nullptr;
    if (report)
        installCrashReportingHandlers(report, betaToken);
    else
        KTHLog::write(QStringLiteral("[CrashKit:Crash] Unable to setup a new report"));
    crashReportingSetupCompleted(mark);
    return true;
}

bool CRKCrashReportingController::finishStart()
{
    processExistingReportPaths(earlierReportPaths_, lastLaunchFailed_);
    earlierReportPaths_.clear();
    handleContentsInOtherReportingDirectories();
    writeInternalKeyLater("com.crashkit.kit-start-time", QByteArray::number(CRKProfileEndWithMark(profilingMark_)));
    return hasCurrentReport_;
}

bool CRKCrashReportingController::checkPreconditions()
{
    if (!KTHApplicationBundleIdentifier().isEmpty())
        return true;
    KTHLog::write(QStringLiteral("[CrashKit] An application must have a valid bundle idenifier in its Info.plist"));
    return false;
}

bool CRKCrashReportingController::prepareForNewLaunch()
{
    workQueue_->async([fm = fileManager_] { fm->removeLegacyDirectories(); });
    if (!fileManager_->prepareForNewLaunch())
        return false;
    fileManager_->removeStalePartialPackages();
    return true;
}

bool CRKCrashReportingController::checkForAndCreateLaunchMarker()
{
    if (launchFailureMarkerPresent()) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] Last launch failed"));
        return true;
    }
    createLaunchFailureMarker();
    return false;
}

bool CRKCrashReportingController::createLaunchFailureMarker()
{
    const int fd = ::open(QFile::encodeName(launchFailureMarkerPath()).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, privatefiles::kFileMode);
    return fd >= 0 && ::close(fd) == 0;
}

bool CRKCrashReportingController::launchFailureMarkerPresent() const
{
    return QFileInfo::exists(launchFailureMarkerPath());
}

void CRKCrashReportingController::removeLaunchFailureMarker() { fileManager_->removeItemAtPath(launchFailureMarkerPath()); }

std::shared_ptr<CRKInternalReport> CRKCrashReportingController::setupCurrentReport()
{
    createLaunchFailureMarker();
    const QString identifier = KitHost::sharedSDK().executionIdentifier();
    const QString path = fileManager_->setupNewPathForExecutionIdentifier(identifier);
    if (path.isEmpty())
        return nullptr;
    // Held for the life of the process: another instance starting now sees
    // a live folder and neither offers nor deletes it.
    currentReportLock_ = CRKFileManager::lockReportFolder(path);
    currentReportPath_ = path;
    return CRKInternalReport::create(path, identifier);
}

uint32_t CRKCrashReportingController::machExceptionMask()
{
    // SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP in the macOS
    // numbering the delegate is asked with.
    static const int order[] = {6, 10, 8, 4, 11, 12, 5};
    uint32_t mask = 0;
    for (int signal : order) {
        if (!delegate_->reportingControllerEnsureDeliveryOfUnixSignal(signal))
            continue;
        switch (signal) {
        case 4: mask |= 4; break;
        case 5: mask |= 64; break;
        case 6: case 12: mask |= 1024; break;
        case 8: mask |= 8; break;
        case 10: case 11: mask |= 2; break;
        default: break;
        }
    }
    return mask;
}

void CRKCrashReportingController::installCrashReportingHandlers(const std::shared_ptr<CRKInternalReport>& report,
                                                                const QString& betaToken)
{
    const CRKSettings s = settings();
    const QByteArray apiKey = delegate_->APIKeyForCrashReportingController().toUtf8();
    const QByteArray path = QFile::encodeName(report->path());
    const QByteArray session = report->identifier().toUtf8();
    const QByteArray install = delegate_->installIDForCrashReportingController().toUtf8();
    const QByteArray beta = betaToken.toUtf8();
    const QByteArray model = KTHHostModel().toUtf8();
    const QByteArray osBuild = KTHHostOSBuildVersion().toUtf8();
    const QByteArray osDisplay = KTHHostOSDisplayVersion().toUtf8();
    const QByteArray locale = QLocale::system().name().toUtf8();
    const QByteArray bundle = KTHApplicationBundleIdentifier().toUtf8();
    const QByteArray build = KTHApplicationBuildVersion().toUtf8();
    const QByteArray display = KTHApplicationDisplayVersion().toUtf8();
    const QByteArray documents =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));

    CRKContextParameters p;
    p.reportPath = path.constData();
    p.apiKey = apiKey.constData();
    p.firstInstall = delegate_->isFirstInstallForCrashReportingController();
    p.crashCallback = delegate_->crashCallback();
    p.delegate = nullptr;
    p.sessionId = session.constData();
    p.installId = install.constData();
    p.betaToken = betaToken.isNull() ? nullptr : beta.constData();
    p.machExceptionExclusionMask = machExceptionMask();
    p.errorReportingEnabled = s.errorReportingEnabled();
    p.customExceptionsEnabled = s.customExceptionsEnabled();
    p.maxCustomExceptions = s.maxCustomExceptions();
    p.errorLogBufferSize = s.errorLogBufferSize();
    p.logBufferSize = s.logBufferSize();
    p.maxCustomKeys = s.maxCustomKeys();
    p.hostModel = model.constData();
    p.osBuildVersion = osBuild.constData();
    p.osDisplayVersion = osDisplay.constData();
    p.locale = locale.constData();
    p.bundleId = bundle.constData();
    p.buildVersion = build.constData();
    p.displayVersion = display.constData();
    p.documentsPath = documents.isEmpty() ? nullptr : documents.constData();
    if (!CRKContextIsInitialized()) {
        CRKContextInitialize(&p);
        // Threads the project starts get alternate signal stacks of their own.
        setThreadStartHook(CRKSignalThreadStarted);
    }
    setupStateNotifications();
}

void CRKCrashReportingController::setupStateNotifications()
{
    writeInternalKeyLater("com.crashkit.in-background", "0");
    NotificationCenter& center = NotificationCenter::defaultCenter();
    notificationTokens_[0] = center.addObserver(QStringLiteral("NSApplicationWillBecomeActiveNotification"), nullptr,
                                                [](const Notification&) {
                                                    CRKUserLoggingRecordInternalKeyValue("com.crashkit.in-background", "0");
                                                });
    notificationTokens_[1] = center.addObserver(QStringLiteral("NSApplicationDidResignActiveNotification"), nullptr,
                                                [](const Notification&) {
                                                    CRKUserLoggingRecordInternalKeyValue("com.crashkit.in-background", "1");
                                                });
    notificationTokens_[2] = center.addObserver(QStringLiteral("NSApplicationWillTerminateNotification"), nullptr,
                                                [path = currentReportPath_](const Notification&) {
                                                    QFile marker(path + QLatin1Char('/') + kCleanExitName);
                                                    if (!marker.open(QIODevice::WriteOnly))
                                                        KTHLog::write(QStringLiteral("[CrashKit:Crash] Unable to mark a clean exit"));
                                                    else
                                                        privatefiles::narrowOpenFile(marker);
                                                });
}

void CRKCrashReportingController::crashReportingSetupCompleted(quint64 mark)
{
    if (!QCoreApplication::instance())
        return;
    runOnMain([this, watch = life_.watch(), mark] {
        watch.run([&] {
            // The first turn of the event loop: this launch did not die early.
            removeLaunchFailureMarker();
            writeInternalKeyLater("com.crashkit.first-run-loop-time", QByteArray::number(CRKProfileEndWithMark(mark)));
            QTimer::singleShot(2000, qApp, [this, watch] {
                watch.run([&] {
                    if (CRKContextIsInitialized()) {
                        CRKExceptionCheckHandlers();
                        CRKSignalCheckHandlers();
                    }
                    checkForUserPromptSetting();
                });
            });
        });
    });
}

void CRKCrashReportingController::checkForUserPromptSetting()
{
    if (settings().userPromptEnabled() && !delegateNeedsToBeInformedOfReports())
        KTHLog::write(QStringLiteral(
            "[CrashKit:Crash] WARNING: the user prompt feature is enabled. As of CrashKit 3.0.0, implementing a user "
            "prompt is the application's responsibility. See CrashKit.h's notes about "
            "-crashKitDidDetectReportForLastExecution:completionHandler:"));
}

bool CRKCrashReportingController::delegateNeedsToBeInformedOfReports()
{
    return delegate_->reportingControllerMustInformDelegateOfReports();
}

bool CRKCrashReportingController::canProcessUrgentReports()
{
    return settings().canProcessUrgentReports() && !needsToPrompt() && !delegateNeedsToBeInformedOfReports();
}

bool CRKCrashReportingController::needsToPrompt()
{
    const int choice = promptChoice_.load();
    if (choice == 2 || choice == 3)
        return false;
    return settings().userPromptEnabled();
}

void CRKCrashReportingController::processExistingReportPaths(const QStringList& paths, bool urgent)
{
    for (const QString& path : paths)
        processExistingActiveReportPath(path, urgent);
}

void CRKCrashReportingController::processExistingActiveReportPath(const QString& path, bool urgent)
{
    const auto report = CRKInternalReport::reportWithPath(path);
    if (report && !report->isCrash() && !QFileInfo::exists(path + QLatin1Char('/') + kCleanExitName))
        delegate_->reportingControllerDidDetectUncleanEnd(report);
    if (!report || !report->needsToBeSubmitted()) {
        workQueue_->async([fm = fileManager_, path] {
            if (!CRKFileManager::isReportFolderLive(path))
                fm->removeItemAtPath(path);
        });
        return;
    }
    delegate_->reportingControllerInternalDidDetectReportForLastExecution(report);
    if (urgent && canProcessUrgentReports()) {
        reportsController()->prepareAndSubmitReport(report, true, true);
        return;
    }
    // The application answers when it likes, from any thread.
    delegate_->reportingControllerDidDetectReportForLastExecution(
        report, [this, watch = life_.watch(), report](bool submit) {
            watch.run([&] { handleDelegateCompletionForReport(report, submit); });
        });
}

void CRKCrashReportingController::handleDelegateCompletionForReport(const std::shared_ptr<CRKInternalReport>& report,
                                                                    bool submit)
{
    workQueue_->async([this, report, submit] {
        if (submit) {
            if (needsToPrompt())
                displayPermissionAlertForReport(report);
            else
                reportsController()->prepareAndSubmitReport(report, false, true);
            return;
        }
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] Removing report at request of delegate"));
        removeReport(report);
    });
}

void CRKCrashReportingController::displayPermissionAlertForReport(const std::shared_ptr<CRKInternalReport>& report)
{
    const CRKSettings s = settings();
    const QString title = s.interactivePromptTitle(), message = s.interactivePromptMessage(),
                  cancel = s.interactivePromptCancelTitle(), send = s.interactivePromptSendTitle(),
                  always = s.interactivePromptAlwaysSendTitle();
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] Displaying permission alert"));
    runOnMain([=, this, watch = life_.watch()] {
        watch.run([&] { setupAndDisplayAlert(title, message, cancel, send, always, report); });
    });
}

void CRKPermissionAlertOpen(const QString& title, const QString& message, const QString& cancel, const QString& send,
                            const QString& alwaysSend, std::function<void(int)> done);

void CRKCrashReportingController::presentAlert(const QString& title, const QString& message, const QString& cancel,
                                               const QString& send, const QString& alwaysSend,
                                               std::function<void(int)> done)
{
    AlertPresenter presenter;
    {
        QMutexLocker lock(&g_presenterMutex);
        presenter = g_presenter;
    }
    if (presenter)
        presenter(title, message, cancel, send, alwaysSend, std::move(done));
    else
        CRKPermissionAlertOpen(title, message, cancel, send, alwaysSend, std::move(done));
}

void CRKCrashReportingController::setupAndDisplayAlert(const QString& title, const QString& message,
                                                       const QString& cancel, const QString& send,
                                                       const QString& alwaysSend,
                                                       const std::shared_ptr<CRKInternalReport>& report)
{
    pendingAlerts_.append({title, message, cancel, send, alwaysSend, report});
    showNextAlert();
}

// One alert at a time: the reports behind it wait, and follow the choice
// the first answer made.
void CRKCrashReportingController::showNextAlert()
{
    while (!alertShowing_ && !pendingAlerts_.isEmpty()) {
        const PendingAlert next = pendingAlerts_.takeFirst();
        switch (promptChoice_.load()) {
        case 1:
            handlePromptCompleteForReport(next.report, false, false);
            continue;
        case 2:
        case 3:
            handlePromptCompleteForReport(next.report, true, false);
            continue;
        default:
            break;
        }
        alertShowing_ = true;
        const bool hasAlways = !next.alwaysSend.isNull();
        presentAlert(next.title, next.message, next.cancel, next.send, next.alwaysSend,
                     [this, watch = life_.watch(), report = next.report, hasAlways](int response) {
                         watch.run([&] {
                             const int cancelResponse = hasAlways ? 1002 : 1001;
                             handlePromptCompleteForReport(report, response != cancelResponse,
                                                           hasAlways && response == 1001);
                             alertShowing_ = false;
                             showNextAlert();
                         });
                     });
    }
}

void CRKCrashReportingController::handlePromptCompleteForReport(const std::shared_ptr<CRKInternalReport>& report,
                                                                bool submit, bool alwaysSubmit)
{
    // The choice is taken at once, so the alerts already queued for the
    // other reports follow it without asking again.
    if (!submit)
        promptChoice_ = 1;
    else
        promptChoice_ = alwaysSubmit ? 3 : 2;
    workQueue_->async([this, report, submit, alwaysSubmit] {
        if (!submit) {
            KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] Removing report at request of user"));
            removeReport(report);
            return;
        }
        reportsController()->prepareAndSubmitReport(report, false, true);
        if (alwaysSubmit)
            KTHLog::debugWrite(QStringLiteral("should set always submit here"));
    });
}

void CRKCrashReportingController::removeReport(const std::shared_ptr<CRKInternalReport>& report)
{
    fileManager_->removeItemAtPath(report->path());
}

void CRKCrashReportingController::handleContentsInOtherReportingDirectories()
{
    handleExistingFilesInProcessing();
    handleExistingFilesInPrepared();
}

void CRKCrashReportingController::handleExistingFilesInProcessing()
{
    QStringList folders;
    for (const QString& path : fileManager_->processingPathContents())
        if (!CRKFileManager::isReportFolderLive(path))
            folders << path;
    workQueue_->async([this, folders] {
        for (const QString& path : folders) {
            if (!QFileInfo::exists(path))
                continue;
            const auto report = CRKInternalReport::reportWithPath(path);
            if (report)
                reportsController()->prepareAndSubmitReport(report, false, false);
            else if (!CRKFileManager::isReportFolderLive(path))
                fileManager_->removeItemAtPath(path);   // nothing to name it by: it can never be sent
        }
    });
}

void CRKCrashReportingController::handleExistingFilesInPrepared()
{
    const QStringList packages = fileManager_->preparedPathContents();
    networkClient_->attemptToReconnectBackgroundSessionWithCompletionBlock(
        [this, packages] { workQueue_->async([this, packages] { uploadPreexistingFiles(packages); }); });
}

void CRKCrashReportingController::uploadPreexistingFiles(const QStringList& paths)
{
    for (const QString& path : paths)
        if (QFileInfo::exists(path))
            reportsController()->uploadPackagedReportAtPath(path, false);
}

bool CRKCrashReportingController::networkClientCanUseBackgroundSessions()
{
    return delegate_->reportingControllerCanUseBackgroundSessions();
}

void CRKCrashReportingController::networkClientDidFinishUpload(const QString& path, const KTHError& error)
{
    reportsController()->reportUploadAtPath(path, error);
}

void CRKCrashReportingController::reportsControllerDidCompletePackageSubmission(const QString& path,
                                                                                const KTHError& error)
{
    if (!error) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] report submission successful"));
        return;
    }
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] report submission failed with error %1").arg(error.description));
    CRKSDKLog("%s: Error: failed to submit report '%s'\n",
              "-[CRKCrashReportingController reportsController:didCompletePackageSubmission:error:]",
              error.description.toUtf8().constData());
    retryUploadForReportAtPath(path);
}

void CRKCrashReportingController::retryUploadForReportAtPath(const QString& path)
{
    {
        QMutexLocker lock(&mutex_);
        if (++retries_[path] > kMaximumRetriesPerRun)
            return;   // the package stays in "prepared" for the next start
    }
    workQueue_->after(std::chrono::milliseconds(g_retryIntervalMs.load()), [this, watch = life_.watch(), path] {
        watch.run([&] {
            KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash] re-attempting report submission"));
            reportsController()->uploadPackagedReportAtPath(path, false);
        });
    });
}

QString CRKCrashReportingController::APIKeyForReportsController()
{
    return delegate_->APIKeyForCrashReportingController();
}

QString CRKCrashReportingController::bundleIdentifierForReportsController() { return KTHApplicationBundleIdentifier(); }
