#pragma once

#include "kithost/KTHURLTypes.h"
#include "platform/LifeGuard.h"
#include "platform/NotificationCenter.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class CRKAnalyticsMetadataController;
class CRKAnalyticsNetworkingClient;
class CRKEventLogEvent;
class CRKEventLogFile;
class CRKEventLogSessionRepository;
class CRKTallyEvent;
class SerialQueue;

inline constexpr char kCRKAnalyticsControllerErrorDomain[] = "CRKAnalyticsControllerErrorDomain";

// The engine of the analytics kit. Every event becomes one line in the log
// file of its priority (0 high, 1 medium, 2 low) in the open session
// fragment; a maintenance chain closes the fragment, packages closed ones as
// gzip, uploads them to the URL the settings name, prunes the store to a
// file budget and sweeps stray items.
//
// Threads: the public entry points are safe from any thread. Priorities 0
// and 1 are written before logEvent() returns, priority 2 later. Folder
// work, settings, the chain and upload completions run on the maintenance
// queue; one chain runs at a time (a trigger during a run asks for one more
// run after it). A fragment counts as open, and is never packaged, while
// any priority queue may still write to it.
class CRKAnalyticsController {
public:
    using Completion = std::function<void(const KTHError&)>;

    // The applied settings, swapped whole so readers on any thread see one
    // consistent set.
    struct Settings {
        bool haveSettings = false;
        bool collectAnalytics = false;
        QUrl analyticsURL;
        bool flushOnBackground = false;
        quint64 maxByteSizePerFile = 0;
        quint32 flushIntervalSecs = 0;
        quint32 maxPendingSendFileCount = 0;
        bool trackCustomEvents = true;
        bool trackPredefinedEvents = true;
        qint64 samplingRate = 0;
    };

    struct Options {
        // Without any settings, one chain runs this long after start and
        // pruning keeps at most this many closed files.
        std::chrono::milliseconds noSettingsMaintenanceDelay{60000};
        quint32 noSettingsFileBudget = 100;
        // How long opening a fragment waits for the queues to switch.
        std::chrono::milliseconds fragmentSwitchDeadline{5000};
        // Tests: runs on a priority queue as it starts switching fragments.
        std::function<void(quint64 priority)> switchHookForTesting;
    };

    static bool supported();
    static bool deviceMeetsMinimumRequirements() { return true; }

    // Nullptr when the first session fragment cannot be prepared.
    static std::unique_ptr<CRKAnalyticsController> create(const QString& sessionIdentifier,
                                                          const QString& rootDirectory, const QString& betaToken,
                                                          const Options& options);
    static std::unique_ptr<CRKAnalyticsController> create(const QString& sessionIdentifier,
                                                          const QString& rootDirectory, const QString& betaToken)
    {
        return create(sessionIdentifier, rootDirectory, betaToken, Options());
    }
    ~CRKAnalyticsController();

    void logPredefinedEvent(const CRKTallyEvent& event);
    void logCustomEvent(const CRKTallyEvent& event);
    void logTallyEvent(const CRKTallyEvent& event);
    void logAppInstalled();
    void logAppLaunched();
    void applicationLifecycleEvent(const QString& notificationName);
    void logPreviousSessionCrashedOnDate(const QDateTime& date);
    void logEvent(const std::shared_ptr<CRKEventLogEvent>& event);

    void setSettings(const std::optional<QVariantMap>& settings);
    Settings settings() const;
    bool analyticsFeatureSwitchEnabled() const;
    bool customEventsFeatureSwitchEnabled() const;
    bool predefinedEventsFeatureSwitchEnabled() const;

    // Maintenance steps; bodies and completions run on the maintenance queue.
    void openNewSessionFragment(Completion completion);
    void packageClosedSessionFragments(Completion completion);
    void transmitPackagedSessionFragments(Completion completion);
    void pruneSessionFragmentLogFiles(Completion completion);
    void cleanUpRepository(Completion completion);
    void maintainSessionFragments(Completion completion);
    void maintainSessionFragmentsIgnoringError();

    // Files grouped by priority (index), each group sorted by path; files
    // without a priority are left out.
    static std::vector<QStringList> mutableSortedFileURLsGroupedByPriorities(const QStringList& files);
    // When the first timer firing is due: what is left of the interval since
    // the last maintenance, never below 0 nor above the interval.
    static std::chrono::milliseconds initialMaintenanceDelay(quint32 intervalSecs, const QDateTime& lastMaintenance,
                                                             const QDateTime& now);

    const QString& rootDirectory() const { return root_; }
    const QString& sessionIdentifier() const { return sessionIdentifier_; }
    quint64 sessionTimestamp() const { return sessionTimestamp_; }
    QString currentSessionFragmentDirectory() const;
    // Lets the tests wait for the queues: runs an empty task on each.
    void drainQueuesForTesting();
    int chainsFinishedForTesting() const { return chainsRun_.load(); }

    static KTHError error(int code, const QString& description);

private:
    CRKAnalyticsController(const QString& sessionIdentifier, quint64 sessionTimestamp, const QString& root,
                           const QString& betaToken, const Options& options);
    bool init();

    void dispatchToMaintenance(std::function<void()> task);
    bool prepareNewSessionFragment(const QString& identifier, quint64 timestamp, KTHError* error);
    bool ensureLogFileExistsForPriority(quint64 priority, KTHError* error);
    void writeEvent(const std::shared_ptr<CRKEventLogEvent>& event);
    bool isOpenSessionFragmentDirectory(const QString& directory) const;
    QStringList openSessionFragmentDirectories() const;
    std::optional<QStringList> nonCurrentLogFilesForAllStates(KTHError* error) const;
    bool packageLogsFromActiveSessionFragment(const QString& active, KTHError* error);
    void transmitNext(Completion completion);
    QDateTime lastMaintenanceDate();
    void saveLastMaintenanceDate(const QDateTime& date);
    void scheduleSessionMaintenance();
    void armTimer(quint64 generation, std::chrono::milliseconds delay);
    void readLastSessionInformation();
    void saveCurrentSessionInformation();
    void handleDisabledFeatureSwitch();
    bool handleSizeTriggeredMaintainSessionFragmentForLogFile(const CRKEventLogFile& file);
    void handlePriorityTriggeredMaintainSessionFragmentForEvent(const CRKEventLogEvent& event);
    void applySettings(const std::optional<QVariantMap>& settings);
    void runChain();
    void recordPreviousSessionCrash(const QDateTime& date);

    const QString root_;
    const QString sessionIdentifier_;
    const quint64 sessionTimestamp_;
    const QString betaToken_;
    const Options options_;
    std::unique_ptr<CRKEventLogSessionRepository> repository_;
    std::unique_ptr<CRKAnalyticsMetadataController> metadataController_;
    std::unique_ptr<CRKAnalyticsNetworkingClient> networkingClient_;

    mutable QMutex settingsMutex_;
    std::shared_ptr<const Settings> settings_;
    std::atomic<bool> performSessionMaintenanceAfterSettingsArrive_{false};

    // Open-fragment bookkeeping (any thread, under fragmentMutex_).
    mutable QMutex fragmentMutex_;
    QString currentFragmentIdentifier_;
    quint64 currentFragmentTimestamp_ = 0;
    QString currentFragmentDirectory_;
    std::array<QString, 3> queueFragmentDirectories_;   // what each queue writes into
    std::map<QString, int> pendingFragmentDirectories_; // prepared, queues still to switch
    struct Fragment {
        QString identifier;
        quint64 timestamp = 0;
        QString directory;
    };
    Fragment latestFragment_;   // the last one prepared

    // Per priority, touched only on that priority's queue.
    std::array<QString, 3> priorityFiles_;
    std::array<quint64, 3> priorityFragmentTimestamps_{};
    std::array<std::unique_ptr<CRKEventLogFile>, 3> priorityCurrentFragmentEventFiles_;

    // Maintenance queue only.
    bool loggedAnalyticsEnabled_ = false;
    bool fragmentClosedByDisabling_ = false;
    bool chainRunning_ = false;
    bool chainRequested_ = false;
    std::vector<Completion> chainCompletions_;
    std::optional<QStringList> sessionFragmentsToTransmit_;
    quint64 timerGeneration_ = 0;
    std::atomic<int> chainsRun_{0};

    QString lastSessionIdentifier_;
    quint64 lastSessionTimestamp_ = 0;
    std::optional<QByteArray> lastSessionMetadata_;

    std::vector<NotificationCenter::Token> observers_;
    // Lets completions from other threads reach the maintenance queue only
    // while the controller lives.
    LifeGuard life_;
    // Stopped explicitly by the destructor, maintenance first (its tasks
    // reach the priority queues), so no task outlives the members it uses.
    std::array<std::unique_ptr<SerialQueue>, 3> priorityQueues_;
    std::unique_ptr<SerialQueue> maintenanceQueue_;
};
