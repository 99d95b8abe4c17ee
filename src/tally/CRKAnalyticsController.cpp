#include "tally/CRKAnalyticsController.h"

#include "kithost/KTHLog.h"
#include "kithost/KTHSettingsOnboardingManager.h"
#include "kithost/KitHost.h"
#include "platform/BundleInfo.h"
#include "platform/CRKUserDefaults.h"
#include "platform/Lenient.h"
#include "platform/SerialQueue.h"
#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKAnalyticsMetadataController.h"
#include "tally/CRKAnalyticsNetworkingClient.h"
#include "tally/CRKEventLogFile.h"
#include "tally/CRKEventLogSessionRepository.h"
#include "tally/CRKTallyEvent.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <condition_variable>
#include <mutex>

namespace {

const QString kLastSessionIdentifier = QStringLiteral("com.crashkit.insights.lastsessionidentifier");
const QString kLastSessionTimestamp = QStringLiteral("com.crashkit.insights.lastsessiontimestamp");
const QString kLastSessionMetadata = QStringLiteral("com.crashkit.insights.lastsessionmetadata");

// Counts the three priority queues through their switch to a new fragment.
struct Latch {
    std::mutex mutex;
    std::condition_variable cv;
    int left;
    explicit Latch(int n) : left(n) {}
    void countDown()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (--left == 0)
            cv.notify_all();
    }
    bool wait(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, timeout, [this] { return left == 0; });
    }
};

}  // namespace

KTHError CRKAnalyticsController::error(int code, const QString& description)
{
    KTHError e;
    e.domain = QString::fromLatin1(kCRKAnalyticsControllerErrorDomain);
    e.code = code;
    e.description = description;
    return e;
}

bool CRKAnalyticsController::supported()
{
    if (!deviceMeetsMinimumRequirements())
        return false;
    const QVariant extension = BundleInfo::objectForInfoDictionaryKey(QStringLiteral("NSExtension"));
    if (!extension.isValid())
        return true;
    if (extension.typeId() != QMetaType::QVariantMap) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Error: NSExtension Info.plist entry is mal-formed\n"));
        return true;
    }
    if (extension.toMap().value(QStringLiteral("NSExtensionPointIdentifier")).typeId() != QMetaType::QString) {
        KTHLog::debugWrite(
            QStringLiteral("[CrashKit:Tally] Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n"));
        return true;
    }
    return false;
}

std::unique_ptr<CRKAnalyticsController> CRKAnalyticsController::create(const QString& sessionIdentifier,
                                                                       const QString& rootDirectory,
                                                                       const QString& betaToken,
                                                                       const Options& options)
{
    const quint64 timestamp = CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp();
    std::unique_ptr<CRKAnalyticsController> controller(
        new CRKAnalyticsController(sessionIdentifier, timestamp, rootDirectory, betaToken, options));
    if (!controller->init())
        return nullptr;
    return controller;
}

CRKAnalyticsController::CRKAnalyticsController(const QString& sessionIdentifier, quint64 sessionTimestamp,
                                               const QString& root, const QString& betaToken, const Options& options)
    : root_(root),
      sessionIdentifier_(sessionIdentifier),
      sessionTimestamp_(sessionTimestamp),
      betaToken_(betaToken),
      options_(options),
      repository_(std::make_unique<CRKEventLogSessionRepository>(root)),
      metadataController_(std::make_unique<CRKAnalyticsMetadataController>(sessionTimestamp, betaToken)),
      networkingClient_(std::make_unique<CRKAnalyticsNetworkingClient>()),
      settings_(std::make_shared<Settings>())
{
    maintenanceQueue_ = std::make_unique<SerialQueue>(QStringLiteral("com.crashkit.analytics.maintenance"));
    priorityQueues_[0] = std::make_unique<SerialQueue>(QStringLiteral("com.crashkit.analytics.high-priority"));
    priorityQueues_[1] = std::make_unique<SerialQueue>(QStringLiteral("com.crashkit.analytics.medium-priority"));
    priorityQueues_[2] = std::make_unique<SerialQueue>(QStringLiteral("com.crashkit.analytics.low-priority"));
}

bool CRKAnalyticsController::init()
{
    KTHError error;
    const bool prepared = prepareNewSessionFragment(
        CRKAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(), sessionTimestamp_, &error);
    if (!prepared)
        KTHLog::debugWrite(
            QStringLiteral("[CrashKit:Tally] Unable to prepare new session fragment {error: %1}").arg(error.description));
    readLastSessionInformation();
    saveCurrentSessionInformation();

    NotificationCenter& center = NotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver(QString::fromLatin1(KTHSettingsAvailableNotification), nullptr,
                                            [this](const Notification&) {
                                                setSettings(KitHost::sharedSDK().settings());
                                            }));
    for (const char* name : {kNSApplicationWillTerminateNotification, kNSApplicationWillResignActiveNotification,
                             kNSApplicationDidBecomeActiveNotification})
        observers_.push_back(center.addObserver(QString::fromLatin1(name), nullptr, [this](const Notification& n) {
            applicationLifecycleEvent(n.name);
        }));
    if (!prepared)
        return false;
    setSettings(KitHost::sharedSDK().settings());
    // A machine that never reaches the settings service still has its store
    // packaged and bounded.
    maintenanceQueue_->after(options_.noSettingsMaintenanceDelay, [this] {
        if (!settings().haveSettings)
            maintainSessionFragmentsIgnoringError();
    });
    return true;
}

CRKAnalyticsController::~CRKAnalyticsController()
{
    for (NotificationCenter::Token token : observers_)
        NotificationCenter::defaultCenter().removeObserver(token);
    life_.end();
    maintenanceQueue_.reset();
    for (auto& queue : priorityQueues_)
        queue.reset();
}

void CRKAnalyticsController::dispatchToMaintenance(std::function<void()> task)
{
    life_.watch().run([&] {
        if (maintenanceQueue_)
            maintenanceQueue_->async(std::move(task));
    });
}

void CRKAnalyticsController::drainQueuesForTesting()
{
    maintenanceQueue_->sync([] {});
    for (auto& queue : priorityQueues_)
        queue->sync([] {});
    maintenanceQueue_->sync([] {});
}

// ---- Events ---------------------------------------------------------------

void CRKAnalyticsController::logPredefinedEvent(const CRKTallyEvent& event)
{
    if (predefinedEventsFeatureSwitchEnabled())
        logTallyEvent(event);
    else
        KTHLog::write(QStringLiteral("[CrashKit:Tally] Tally Event tracking is disabled for this application. "
                                     "Ignoring %1")
                          .arg(event.description()));
}

void CRKAnalyticsController::logCustomEvent(const CRKTallyEvent& event)
{
    if (customEventsFeatureSwitchEnabled())
        logTallyEvent(event);
    else
        KTHLog::write(QStringLiteral("[CrashKit:Tally] Tally Event tracking is disabled for this application. "
                                     "Ignoring %1")
                          .arg(event.description()));
}

void CRKAnalyticsController::logTallyEvent(const CRKTallyEvent& event)
{
    if (!analyticsFeatureSwitchEnabled()) {
        KTHLog::write(QStringLiteral("[CrashKit:Tally] Tally is disabled for this application. Please enable Tally "
                                     "on your dashboard."));
        return;
    }
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Logging event: %1").arg(event.description()));
    logEvent(CRKAnalyticsEvent::fromTallyEvent(event, CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                               CRKAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

void CRKAnalyticsController::logAppInstalled()
{
    if (KitHost::sharedSDK().isFirstInstall())
        logEvent(CRKAnalyticsEvent::appInstalled(CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                                 CRKAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

void CRKAnalyticsController::logAppLaunched()
{
    logEvent(CRKAnalyticsEvent::appLaunched(CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                            CRKAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

void CRKAnalyticsController::applicationLifecycleEvent(const QString& notificationName)
{
    logEvent(CRKAnalyticsEvent::lifecycleFromNotification(
        notificationName, CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
        CRKAnalyticsIdentifierGenerator::generateEventIdentifier(), settings().flushOnBackground));
    // Low-priority lines still queued would die with the process.
    if (notificationName == QLatin1String(kNSApplicationWillTerminateNotification))
        priorityQueues_[2]->sync([] {});
}

void CRKAnalyticsController::logEvent(const std::shared_ptr<CRKEventLogEvent>& event)
{
    if (!event)
        return;
    const Settings s = settings();
    if (CRKAnalyticsEventFilter::shouldDiscardEvent(event.get(), betaToken_, KitHost::sharedSDK().installID(),
                                                    s.samplingRate)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Application is enabled for sampling, skipping %1")
                               .arg(event->key()));
        return;
    }
    if (!analyticsFeatureSwitchEnabled())
        return;
    const quint64 p = event->priority();
    if (p > 2)
        return;
    if (p < 2)
        priorityQueues_[p]->sync([this, event] { writeEvent(event); });
    else
        priorityQueues_[p]->async([this, event] { writeEvent(event); });
}

void CRKAnalyticsController::writeEvent(const std::shared_ptr<CRKEventLogEvent>& event)
{
    const quint64 p = event->priority();
    KTHError error;
    if (!ensureLogFileExistsForPriority(p, &error)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to create a new log file for priority %1 {error: %2}")
                               .arg(p)
                               .arg(error.description));
        return;
    }
    CRKEventLogFile& file = *priorityCurrentFragmentEventFiles_[p];
    if (!file.appendEvent(*event, &error)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to log event {error: %1}").arg(error.description));
        return;
    }
    if (!handleSizeTriggeredMaintainSessionFragmentForLogFile(file))
        handlePriorityTriggeredMaintainSessionFragmentForEvent(*event);
}

bool CRKAnalyticsController::ensureLogFileExistsForPriority(quint64 p, KTHError* error)
{
    if (priorityCurrentFragmentEventFiles_[p])
        return true;
    if (priorityFiles_[p].isEmpty()) {
        *error = CRKAnalyticsController::error(-4, QStringLiteral("no session fragment is open"));
        return false;
    }
    auto file = CRKEventLogFile::open(priorityFiles_[p]);
    if (!file) {
        *error = CRKPosixError(EIO, QStringLiteral("open %1").arg(priorityFiles_[p]));
        return false;
    }
    const auto metadata = CRKAnalyticsMetadataEvent(p, priorityFragmentTimestamps_[p],
                                                    metadataController_->metadataJSONData());
    if (!file->appendEvent(*metadata, error))
        return false;
    priorityCurrentFragmentEventFiles_[p] = std::move(file);
    return true;
}

bool CRKAnalyticsController::handleSizeTriggeredMaintainSessionFragmentForLogFile(const CRKEventLogFile& file)
{
    const quint64 limit = settings().maxByteSizePerFile;
    if (limit == 0 || file.fileSize() <= limit)
        return false;
    maintainSessionFragmentsIgnoringError();
    return true;
}

void CRKAnalyticsController::handlePriorityTriggeredMaintainSessionFragmentForEvent(const CRKEventLogEvent& event)
{
    if (event.priority() != 0)
        return;
    if (settings().haveSettings)
        maintainSessionFragmentsIgnoringError();
    else
        performSessionMaintenanceAfterSettingsArrive_ = true;
}

// ---- Fragments -----------------------------------------------------------

bool CRKAnalyticsController::prepareNewSessionFragment(const QString& identifier, quint64 timestamp, KTHError* error)
{
    const auto dir = repository_->sessionFragmentDirectoryFor(QString::fromLatin1(kCRKActiveStateName),
                                                              sessionIdentifier_, sessionTimestamp_, identifier,
                                                              timestamp, error);
    if (!dir)
        return false;
    std::array<QString, 3> files;
    for (quint64 p = 0; p < 3; ++p)
        files[p] = *dir + QLatin1Char('/') + CRKEventLogSessionRepository::activeEventLogFileNameForPriority(p);
    {
        QMutexLocker lock(&fragmentMutex_);
        pendingFragmentDirectories_[*dir] += 3;
        latestFragment_ = {identifier, timestamp, *dir};
    }
    auto latch = std::make_shared<Latch>(3);
    for (quint64 p = 0; p < 3; ++p) {
        priorityQueues_[p]->async([this, p, latch, file = files[p], dir = *dir, timestamp] {
            if (options_.switchHookForTesting)
                options_.switchHookForTesting(p);
            priorityCurrentFragmentEventFiles_[p].reset();
            priorityFiles_[p] = file;
            priorityFragmentTimestamps_[p] = timestamp;
            {
                QMutexLocker lock(&fragmentMutex_);
                queueFragmentDirectories_[p] = dir;
                if (--pendingFragmentDirectories_[dir] == 0) {
                    pendingFragmentDirectories_.erase(dir);
                    // Every queue writes here now, even after a missed
                    // deadline: this is the open fragment.
                    if (latestFragment_.directory == dir) {
                        currentFragmentIdentifier_ = latestFragment_.identifier;
                        currentFragmentTimestamp_ = latestFragment_.timestamp;
                        currentFragmentDirectory_ = dir;
                    }
                }
            }
            latch->countDown();
        });
    }
    if (!latch->wait(options_.fragmentSwitchDeadline)) {
        // The queues that have not switched keep writing the old fragment;
        // both stay open until every queue has moved on.
        if (error)
            *error = CRKAnalyticsController::error(-5, QStringLiteral("the log queues did not switch in time"));
        return false;
    }
    return true;
}

QString CRKAnalyticsController::currentSessionFragmentDirectory() const
{
    QMutexLocker lock(&fragmentMutex_);
    return currentFragmentDirectory_;
}

QStringList CRKAnalyticsController::openSessionFragmentDirectories() const
{
    QMutexLocker lock(&fragmentMutex_);
    QStringList open;
    auto add = [&open](const QString& dir) {
        if (!dir.isEmpty() && !open.contains(QDir::cleanPath(dir)))
            open << QDir::cleanPath(dir);
    };
    add(currentFragmentDirectory_);
    for (const QString& dir : queueFragmentDirectories_)
        add(dir);
    for (const auto& [dir, left] : pendingFragmentDirectories_)
        add(dir);
    return open;
}

bool CRKAnalyticsController::isOpenSessionFragmentDirectory(const QString& directory) const
{
    return openSessionFragmentDirectories().contains(QDir::cleanPath(directory));
}

// ---- Settings ------------------------------------------------------------

CRKAnalyticsController::Settings CRKAnalyticsController::settings() const
{
    QMutexLocker lock(&settingsMutex_);
    return *settings_;
}

bool CRKAnalyticsController::analyticsFeatureSwitchEnabled() const
{
    const Settings s = settings();
    return !s.haveSettings || s.collectAnalytics;
}

bool CRKAnalyticsController::customEventsFeatureSwitchEnabled() const
{
    const Settings s = settings();
    if (!s.haveSettings)
        return true;
    return s.collectAnalytics && s.trackCustomEvents;
}

bool CRKAnalyticsController::predefinedEventsFeatureSwitchEnabled() const
{
    const Settings s = settings();
    if (!s.haveSettings)
        return true;
    return s.collectAnalytics && s.trackPredefinedEvents;
}

void CRKAnalyticsController::setSettings(const std::optional<QVariantMap>& settings)
{
    dispatchToMaintenance([this, settings] { applySettings(settings); });
}

void CRKAnalyticsController::applySettings(const std::optional<QVariantMap>& dictionary)
{
    const QVariantMap all = dictionary.value_or(QVariantMap());
    const QVariantMap features = all.value(QStringLiteral("features")).toMap();
    const QVariantMap analytics = all.value(QStringLiteral("analytics")).toMap();
    auto s = std::make_shared<Settings>();
    s->haveSettings = dictionary.has_value();
    s->collectAnalytics = lenient::toBool(features.value(QStringLiteral("collect_analytics")));
    if (s->collectAnalytics)
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Tally enabled with settings: %1")
                               .arg(QString::fromUtf8(QJsonDocument::fromVariant(analytics).toJson(QJsonDocument::Compact))));
    const QString url = lenient::toString(analytics.value(QStringLiteral("url")));
    s->analyticsURL = url.isEmpty() ? QUrl() : QUrl(url);
    s->flushOnBackground = lenient::toBool(analytics.value(QStringLiteral("flush_on_background")));
    s->maxByteSizePerFile = quint64(lenient::toInteger(analytics.value(QStringLiteral("max_byte_size_per_file"))));
    s->flushIntervalSecs = quint32(lenient::toInteger(analytics.value(QStringLiteral("flush_interval_secs"))));
    s->maxPendingSendFileCount =
        quint32(lenient::toInteger(analytics.value(QStringLiteral("max_pending_send_file_count"))));
    s->trackCustomEvents = lenient::toBool(analytics.value(QStringLiteral("track_custom_events")));
    s->trackPredefinedEvents = lenient::toBool(analytics.value(QStringLiteral("track_predefined_events")));
    s->samplingRate = lenient::toInteger(analytics.value(QStringLiteral("sampling_rate")));
    {
        QMutexLocker lock(&settingsMutex_);
        settings_ = s;
    }
    scheduleSessionMaintenance();
    handleDisabledFeatureSwitch();
    if (!s->collectAnalytics)
        return;
    if (fragmentClosedByDisabling_) {
        // Switched back on: events need an open fragment again.
        KTHError error;
        fragmentClosedByDisabling_ = !prepareNewSessionFragment(
            CRKAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(),
            CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(), &error);
    }
    if (!loggedAnalyticsEnabled_) {
        KTHError error;
        if (const auto dir = repository_->sessionDirectoryFor(QString::fromLatin1(kCRKActiveStateName),
                                                               sessionIdentifier_, sessionTimestamp_, &error)) {
            KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Logging events to session directory %1").arg(*dir));
            loggedAnalyticsEnabled_ = true;
        }
    }
    if (performSessionMaintenanceAfterSettingsArrive_.exchange(false))
        maintainSessionFragmentsIgnoringError();
}

void CRKAnalyticsController::handleDisabledFeatureSwitch()
{
    if (analyticsFeatureSwitchEnabled())
        return;
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Tally is disabled. Cleaning up session directory"));
    if (!QFileInfo::exists(root_))
        return;
    for (quint64 p = 0; p < 3; ++p)
        priorityQueues_[p]->sync([this, p] {
            priorityFiles_[p].clear();
            priorityCurrentFragmentEventFiles_[p].reset();
            QMutexLocker lock(&fragmentMutex_);
            queueFragmentDirectories_[p].clear();
        });
    fragmentClosedByDisabling_ = true;
    if (!QDir(root_).removeRecursively())
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to purge analytics directory {error = %1}")
                               .arg(QStringLiteral("cannot remove %1").arg(root_)));
    performSessionMaintenanceAfterSettingsArrive_ = false;
}

// ---- Sessions ------------------------------------------------------------

void CRKAnalyticsController::readLastSessionInformation()
{
    lastSessionIdentifier_.clear();
    lastSessionTimestamp_ = 0;
    lastSessionMetadata_.reset();
    CRKUserDefaults& defaults = CRKUserDefaults::standardUserDefaults();
    const QVariant id = defaults.objectForKey(kLastSessionIdentifier);
    const QVariant ts = defaults.objectForKey(kLastSessionTimestamp);
    const QVariant metadata = defaults.objectForKey(kLastSessionMetadata);
    const bool number = ts.typeId() == QMetaType::LongLong || ts.typeId() == QMetaType::Int
                        || ts.typeId() == QMetaType::ULongLong || ts.typeId() == QMetaType::Double;
    if (id.typeId() == QMetaType::QString && number && metadata.typeId() == QMetaType::QByteArray) {
        lastSessionIdentifier_ = id.toString();
        lastSessionTimestamp_ = ts.toULongLong();
        lastSessionMetadata_ = metadata.toByteArray();
    }
}

void CRKAnalyticsController::saveCurrentSessionInformation()
{
    CRKUserDefaults& defaults = CRKUserDefaults::standardUserDefaults();
    defaults.setObject(sessionIdentifier_, kLastSessionIdentifier);
    defaults.setObject(qint64(sessionTimestamp_), kLastSessionTimestamp);
    defaults.setObject(metadataController_->metadataJSONData(), kLastSessionMetadata);
    defaults.synchronize();
}

void CRKAnalyticsController::logPreviousSessionCrashedOnDate(const QDateTime& date)
{
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Logging previous session crashed event {date: %1}")
                           .arg(date.toString(Qt::ISODate)));
    dispatchToMaintenance([this, date] { recordPreviousSessionCrash(date); });
}

void CRKAnalyticsController::recordPreviousSessionCrash(const QDateTime& date)
{
    if (!date.isValid() || lastSessionIdentifier_.isEmpty() || !lastSessionMetadata_)
        return;
    const quint64 crashTime = quint64(date.toSecsSinceEpoch()) * 1000;
    const auto crash = CRKAnalyticsEvent::appCrashed(crashTime, CRKAnalyticsIdentifierGenerator::generateEventIdentifier());
    const auto metadata = CRKAnalyticsMetadataEvent(1, crashTime, lastSessionMetadata_);
    KTHError error;
    const auto path = repository_->eventLogFileFor(
        QString::fromLatin1(kCRKActiveStateName), lastSessionIdentifier_, lastSessionTimestamp_,
        CRKAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(), crashTime, 1, &error);
    if (!path) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to create a new session fragment to contain crash "
                                          "event {error: %1}")
                               .arg(error.description));
        return;
    }
    auto file = CRKEventLogFile::open(*path);
    bool ok = false;
    if (!file) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to log metadata event {error: %1}").arg(*path));
    } else if (!file->appendEvent(*metadata, &error)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to log metadata event {error: %1}").arg(error.description));
    } else if (!crash || !file->appendEvent(*crash, &error)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to log crash event {error: %1}").arg(error.description));
    } else {
        ok = true;
    }
    file.reset();
    if (!ok)
        repository_->removeLogFile(*path);
}
