#include "crash/CrashKit.h"

#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKReport.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKException.h"
#include "crash/core/CRKUserLogging.h"
#include "crash/core/CRKUtilities.h"
#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHKit.h"
#include "kithost/KTHLog.h"
#include "kithost/KitHost.h"
#include "platform/Lenient.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <atomic>

namespace {

QMutex g_instanceMutex;
CrashKit* g_instance = nullptr;
QMutex g_tallyMutex;
CrashKitTallyHooks g_tally;
// Read inside the signal handler: a plain pointer, set before the handlers.
std::atomic<void (*)()> g_crashCallback{nullptr};

void deliverCrashDelegateCallback(void*)
{
    if (auto callback = g_crashCallback.load())
        callback();
}

CrashKitTallyHooks tally()
{
    QMutexLocker lock(&g_tallyMutex);
    return g_tally;
}

QByteArray descriptionText(const QVariant& value) { return lenient::toString(value).toUtf8(); }

void recordInternal(const char* key, const QString& value)
{
    const QByteArray v = value.toUtf8();
    CRKUserLoggingRecordInternalKeyValue(key, value.isNull() ? nullptr : v.constData());
}

}  // namespace

CrashKit& CrashKit::sharedInstance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = new CrashKit;
    return *g_instance;
}

void CrashKit::resetForTesting()
{
    QMutexLocker lock(&g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

void CrashKit::registerKit()
{
    KTHKitDescriptor kit;
    kit.className = QStringLiteral("CrashKit");
    kit.bundleIdentifier = bundleIdentifier();
    kit.kitDisplayVersion = kitDisplayVersion();
    kit.kitBuildVersion = kitBuildVersion();
    kit.initializeIfNeeded = [] { initializeIfNeeded(); };
    kit.initializeEarly = [] { sharedInstance().startRecording(); };
    KTHKitRegistry::registerKit(kit);
}

void CrashKit::setTallyHooks(CrashKitTallyHooks hooks)
{
    QMutexLocker lock(&g_tallyMutex);
    g_tally = std::move(hooks);
}

CrashKitDelegate CrashKit::delegate() const
{
    QMutexLocker lock(&mutex_);
    return delegate_;
}

namespace {
// The kit's start runs once, on the first caller's thread; a second caller
// waits for it rather than seeing a half-started kit. Recursive: the
// analytics kit started from here may ask for this start again.
QRecursiveMutex g_startMutex;
}  // namespace

void CrashKit::startRecording()
{
    QMutexLocker once(&g_startMutex);
    beginStart();
}

void CrashKit::start()
{
    QMutexLocker once(&g_startMutex);
    beginStart();
    finishStart();
}

void CrashKit::beginStart()
{
    {
        QMutexLocker lock(&mutex_);
        if (stage_ != Stage::NotStarted)
            return;
        stage_ = Stage::Recording;
    }
    const quint64 mark = CRKProfileMark();
    KTHLog::write(QStringLiteral("[CrashKit] Version %1 (%2)").arg(kitDisplayVersion(), kitBuildVersion()));
    KTHLog::debugWrite(QStringLiteral("[CrashKit] Running on %1, %2 (%3)")
                           .arg(KTHHostModel(), KTHHostOSDisplayVersion(), KTHHostOSBuildVersion()));
    if (QCoreApplication::instance())
        runOnMain([this] { warnDelegateAboutMethods(); });
    auto fileManager = std::make_shared<CRKFileManager>();
    QString betaToken;
    if (CRKBetaController::isBetaSupported()) {
        auto beta = std::make_unique<CRKBetaController>(this);
        if (!beta->start())
            KTHLog::write(QStringLiteral("[CrashKit] Beta could not be initialized"));
        betaToken = beta->betaToken();
        QMutexLocker lock(&mutex_);
        betaController_ = std::move(beta);
    }
    auto controller = std::make_unique<CRKCrashReportingController>(fileManager, this);
    CRKCrashReportingController* raw = controller.get();
    {
        QMutexLocker lock(&mutex_);
        controller_ = std::move(controller);
        betaToken_ = betaToken;
    }
    controllerBegun_ = raw->beginWithProfilingMark(mark, betaToken);
    if (!controllerBegun_)
        KTHLog::write(QStringLiteral("[CrashKit] Crash reporting could not be initialized"));
}

void CrashKit::finishStart()
{
    CRKCrashReportingController* controller;
    QString betaToken;
    {
        QMutexLocker lock(&mutex_);
        if (stage_ != Stage::Recording)
            return;
        stage_ = Stage::Started;
        controller = controller_.get();
        betaToken = betaToken_;
    }
    if (controllerBegun_ && !controller->finishStart())
        KTHLog::write(QStringLiteral("[CrashKit] Crash reporting could not be initialized"));
    if (const auto hooks = tally(); hooks.startWithBetaToken)
        hooks.startWithBetaToken(betaToken);
}

CrashKit& CrashKit::startWithAPIKey(const QString& key, const CrashKitDelegate* delegate)
{
    CrashKit& kit = sharedInstance();
    if (delegate)
        kit.setDelegate(*delegate);
    KitHost::sharedSDK().setAPIKey(key);
    KitHost::with({QStringLiteral("CrashKit")});
    return kit;
}

CrashKit& CrashKit::startWithAPIKeyAfterDelay(const QString& key, const CrashKitDelegate* delegate, double)
{
    KTHLog::write(delegate ? QStringLiteral("[CrashKit] Warning, startWithAPIKey:delegate:afterDelay: is deprecated.")
                           : QStringLiteral("[CrashKit] Warning, startWithAPIKey:afterDelay: is deprecated."));
    return startWithAPIKey(key, delegate);
}

void CrashKit::warnDelegateAboutMethods()
{
    const CrashKitDelegate d = delegate();
    if (d.didDetectCrashDuringPreviousExecution || d.crashKitDidDetectCrashDuringPreviousExecution)
        KTHLog::write(QStringLiteral("[CrashKit] The CrashKit delegate '%1' implements deprecated methods.  Please see "
                                     "CrashKit.h for details.")
                          .arg(QStringLiteral("CrashKitDelegate")));
}

void CrashKit::setDelegate(const CrashKitDelegate& delegate)
{
    bool started;
    {
        QMutexLocker lock(&mutex_);
        delegate_ = delegate;
        started = controller_ != nullptr;
    }
    if (started)
        KTHLog::write(QStringLiteral(
            "[CrashKit] Warning, setting delegate after start. Make sure to set the CrashKit delegate before calling "
            "startWithAPIKey:.., or +[KitHost with...] to avoid missing some delegate callbacks."));
}

QString CrashKit::APIKey() const { return KitHost::sharedSDK().APIKey(); }
QString CrashKit::installID() const { return KitHost::sharedSDK().installID(); }
bool CrashKit::isFirstInstall() const { return KitHost::sharedSDK().isFirstInstall(); }
bool CrashKit::isCrashKitStarted() const { return crashReportingController() != nullptr; }
bool CrashKit::debugMode() const { return KitHost::sharedSDK().debug(); }

void CrashKit::setDebugMode(bool on)
{
    KitHost::sharedSDK().setDebug(on);
    if (isCrashKitStarted())
        KTHLog::write(QStringLiteral("[CrashKit] Warning, consider enabling debug mode before starting CrashKit"));
}

CRKCrashReportingController* CrashKit::crashReportingController() const
{
    QMutexLocker lock(&mutex_);
    return controller_.get();
}

CRKBetaController* CrashKit::betaController() const
{
    QMutexLocker lock(&mutex_);
    return betaController_.get();
}

void CrashKit::setUserIdentifier(const QString& value) { recordInternal("com.crashkit.user-id", value); }
void CrashKit::setUserName(const QString& value) { recordInternal("com.crashkit.user-name", value); }
void CrashKit::setUserEmail(const QString& value) { recordInternal("com.crashkit.user-email", value); }
void CrashKit::setDevelopmentPlatformName(const QString& value)
{
    recordInternal("com.crashkit.development-platform-name", value);
}
void CrashKit::setDevelopmentPlatformVersion(const QString& value)
{
    recordInternal("com.crashkit.development-platform-version", value);
}

QString CrashKit::developmentPlatformName() const
{
    KTHLog::write(QStringLiteral("[CrashKit] developmentPlatformName is write-only"));
    return QString();
}

QString CrashKit::developmentPlatformVersion() const
{
    KTHLog::write(QStringLiteral("[CrashKit] developmentPlatformVersion is write-only"));
    return QString();
}

void CrashKit::setObjectValue(const QVariant& value, const QString& key)
{
    const QByteArray k = key.toUtf8(), v = descriptionText(value);
    CRKUserLoggingRecordUserKeyValue(k.constData(), value.isNull() ? nullptr : v.constData());
}

void CrashKit::recordError(const QString& domain, qint64 code, const QVariantMap& userInfo,
                           const QVariantMap& additionalUserInfo)
{
    auto pairs = [](const QVariantMap& map) {
        std::vector<std::pair<std::string, std::string>> out;
        for (auto it = map.begin(); it != map.end(); ++it)
            out.emplace_back(it.key().toStdString(), lenient::toString(it.value()).toStdString());
        return out;
    };
    CRKUserLoggingRecordError(domain.toUtf8().constData(), code, pairs(userInfo), pairs(additionalUserInfo));
}

void CrashKit::recordCustomExceptionName(const QString& name, const QString& reason,
                                         const QVector<CRKStackFrame>& frames)
{
    std::vector<QByteArray> texts;
    texts.reserve(size_t(frames.size()) * 3);
    std::vector<CRKExceptionFrame> out;
    for (const CRKStackFrame& f : frames) {
        texts.push_back(f.symbol.toUtf8());
        const char* symbol = f.symbol.isNull() ? nullptr : texts.back().constData();
        texts.push_back(f.library.toUtf8());
        const char* library = f.library.isNull() ? nullptr : texts.back().constData();
        texts.push_back(f.fileName.toUtf8());
        const char* file = f.fileName.isNull() ? nullptr : texts.back().constData();
        out.push_back({f.address, symbol, f.offset, library, file, f.lineNumber});
    }
    CRKExceptionRecord(kCRKExceptionCustom, name.toUtf8().constData(), reason.toUtf8().constData(), out.data(),
                       uint32_t(out.size()), false);
}

void CrashKit::logEvent(const QString& name, const QVariantMap& attributes)
{
    if (const auto hooks = tally(); hooks.logCustomEvent)
        hooks.logCustomEvent(name, attributes);
}

void CrashKit::crash() { __builtin_trap(); }

void CrashKit::throwException() { throw CrashKitTestException(); }

void (*CrashKit::crashCallback())(void*)
{
    void (*callback)() = delegate().crashKitDidDetectCrash;
    if (!callback)
        return nullptr;
    g_crashCallback = callback;
    return deliverCrashDelegateCallback;
}

bool CrashKit::reportingControllerCanUseBackgroundSessions()
{
    const CrashKitDelegate d = delegate();
    return d.crashKitCanUseBackgroundSessions ? d.crashKitCanUseBackgroundSessions() : true;
}

bool CrashKit::reportingControllerMustInformDelegateOfReports()
{
    const CrashKitDelegate d = delegate();
    return d.crashKitDidDetectReportForLastExecution || d.didDetectCrashDuringPreviousExecution
           || d.crashKitDidDetectCrashDuringPreviousExecution;
}

void CrashKit::reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<CRKInternalReport>& report,
                                                                  std::function<void(bool)> completion)
{
    if (!reportingControllerMustInformDelegateOfReports()) {
        completion(true);
        return;
    }
    const CrashKitDelegate d = delegate();
    auto publicReport = std::make_shared<CRKReport>(report);
    if (d.crashKitDidDetectReportForLastExecution)
        d.crashKitDidDetectReportForLastExecution(publicReport, std::move(completion));
    else
        completion(true);
    if (QCoreApplication::instance() && (d.didDetectCrashDuringPreviousExecution || d.crashKitDidDetectCrashDuringPreviousExecution))
        runOnMain([d, publicReport] {
            if (d.didDetectCrashDuringPreviousExecution)
                d.didDetectCrashDuringPreviousExecution(publicReport);
            if (d.crashKitDidDetectCrashDuringPreviousExecution)
                d.crashKitDidDetectCrashDuringPreviousExecution();
        });
}

void CrashKit::reportingControllerInternalDidDetectReportForLastExecution(
    const std::shared_ptr<CRKInternalReport>& report)
{
    CRKReport publicReport(report);
    if (!publicReport.isCrash())
        return;
    const auto date = publicReport.dateCreated();
    const auto hooks = tally();
    if (date && hooks.logPreviousSessionCrashedOnDate && QCoreApplication::instance())
        runOnMain([hooks, d = *date] { hooks.logPreviousSessionCrashedOnDate(d); });
}

void CrashKit::reportingControllerDidDetectUncleanEnd(const std::shared_ptr<CRKInternalReport>& report)
{
    // A line of the log only: the report service and the analytics service
    // know no such event.
    const auto started = CRKReport(report).dateCreated();
    const QString when = started ? started->toString(Qt::ISODate) : QStringLiteral("unknown");
    KTHLog::write(QStringLiteral("[CrashKit:Crash] The run %1 started at %2 ended uncleanly: no crash record, no quit")
                      .arg(report->identifier(), when));
}

bool CrashKit::reportingControllerEnsureDeliveryOfUnixSignal(int signal)
{
    const CrashKitDelegate d = delegate();
    return d.ensureDeliveryOfUnixSignal ? d.ensureDeliveryOfUnixSignal(signal) : false;
}

CRKSettings CrashKit::settingsForCrashReportingController() { return CRKSettings(KitHost::sharedSDK().settings()); }
CRKSettings CrashKit::settingsForBetaController() { return CRKSettings(KitHost::sharedSDK().settings()); }

#include "crash/CRKWebViewHook.h"

#include <QWebChannel>
#include <QWebEnginePage>

void CrashKit::monitorErrorsForWebPage(QWebEnginePage* page, QWebChannel* channel)
{
    if (!page)
        return;
    if (!channel)
        channel = page->webChannel();
    if (!channel) {
        channel = new QWebChannel(page);
        page->setWebChannel(channel);
    }
    if (!channel->registeredObjects().contains(QStringLiteral("crashkit")))
        channel->registerObject(QStringLiteral("crashkit"), new CRKWebViewMessageHandler(page));
    if (!CRKWebViewInstallErrorScript(page))
        KTHLog::write(QStringLiteral("[CrashKit] Unable to monitor %1").arg(page->objectName()));
}
