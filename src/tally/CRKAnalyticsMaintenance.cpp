// The maintenance chain of CRKAnalyticsController: open a new fragment,
// package the closed ones, upload, prune, sweep.
#include "tally/CRKAnalyticsController.h"

#include "kithost/KTHLog.h"
#include "kithost/KitHost.h"
#include "platform/CRKUserDefaults.h"
#include "platform/SerialQueue.h"
#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKAnalyticsGzip.h"
#include "tally/CRKAnalyticsNetworkingClient.h"
#include "tally/CRKEventLogFile.h"
#include "tally/CRKEventLogSessionRepository.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kLastMaintenanceDate = QStringLiteral("com.crashkit.insights.lastmaintenancedate");
const QString kActive = QString::fromLatin1(kCRKActiveStateName);
const QString kPackaged = QString::fromLatin1(kCRKPackagedStateName);

void logStepError(const char* what, const KTHError& error)
{
    if (error)
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] %1 {%2}").arg(QLatin1String(what), error.description));
}

// A rename is only as durable as the folder entry that records it.
void syncDirectory(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void CRKAnalyticsController::maintainSessionFragmentsIgnoringError()
{
    maintainSessionFragments([](const KTHError& error) {
        if (error)
            KTHLog::debugWrite(
                QStringLiteral("[CrashKit:Tally] Unable to maintain session fragments {%1}").arg(error.description));
    });
}

void CRKAnalyticsController::maintainSessionFragments(Completion completion)
{
    dispatchToMaintenance([this, completion = std::move(completion)] {
        chainCompletions_.push_back(completion);
        if (chainRunning_) {
            // Steps of two chains must not interleave: pruning could delete
            // a fragment mid-upload. One more run follows this one.
            chainRequested_ = true;
            return;
        }
        runChain();
    });
}

void CRKAnalyticsController::runChain()
{
    chainRunning_ = true;
    chainRequested_ = false;
    std::vector<Completion> completions;
    completions.swap(chainCompletions_);
    auto finish = [this, completions] {
        saveLastMaintenanceDate(QDateTime::currentDateTimeUtc());
        ++chainsRun_;
        for (const Completion& c : completions)
            c(KTHError());
        chainRunning_ = false;
        if (chainRequested_)
            runChain();
    };
    openNewSessionFragment([this, finish](const KTHError& e) {
        logStepError("Unable to open new session fragment", e);
        packageClosedSessionFragments([this, finish](const KTHError& e) {
            logStepError("Unable to package closed session fragments", e);
            transmitPackagedSessionFragments([this, finish](const KTHError& e) {
                if (e)
                    logStepError("Unable to transmit packaged session fragments", e);
                else
                    KTHLog::debugWrite(
                        QStringLiteral("[CrashKit:Tally] Successfully transmitted packaged session fragments"));
                pruneSessionFragmentLogFiles([this, finish](const KTHError& e) {
                    logStepError("Unable to prune session fragment log files", e);
                    cleanUpRepository([finish](const KTHError& e) {
                        logStepError("Unable to clean up session repository", e);
                        finish();
                    });
                });
            });
        });
    });
}

void CRKAnalyticsController::openNewSessionFragment(Completion completion)
{
    dispatchToMaintenance([this, completion] {
        KTHError error;
        prepareNewSessionFragment(CRKAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(),
                                  CRKAnalyticsTimestampGenerator::generateAnalyticsTimestamp(), &error);
        completion(error);
    });
}

void CRKAnalyticsController::packageClosedSessionFragments(Completion completion)
{
    dispatchToMaintenance([this, completion] {
        KTHError error;
        if (!repository_->purgePrepSessionFragmentDirectoriesForStateName(kPackaged, &error))
            KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to purge packaged prep session fragments "
                                              "{error = %1}")
                                   .arg(error.description));
        error = KTHError();
        const auto fragments = repository_->sessionFragmentDirectoriesForStateName(kActive, &error);
        if (!fragments) {
            completion(error);
            return;
        }
        for (const QString& fragment : *fragments) {
            if (isOpenSessionFragmentDirectory(fragment))
                continue;
            if (!packageLogsFromActiveSessionFragment(fragment, &error)) {
                completion(error);
                return;
            }
        }
        completion(KTHError());
    });
}

bool CRKAnalyticsController::packageLogsFromActiveSessionFragment(const QString& active, KTHError* error)
{
    const auto prep = repository_->prepSessionFragmentDirectoryFor(kPackaged, active, error);
    if (!prep)
        return false;
    const auto items = CRKEventLogSessionRepository::contentsOfDirectory(active, error);
    if (!items)
        return false;
    for (const QString& item : *items) {
        if (QFileInfo(item).suffix() != QLatin1String("log"))
            continue;
        const QString target = *prep + QLatin1Char('/') + QFileInfo(item).fileName() + QStringLiteral(".zip");
        // Only whole records go out; the gzip file is on disk before the
        // rename below makes the fragment visible as packaged.
        if (CRKAnalyticsGzipCompressLogFile(item, target) != 0) {
            *error = CRKPosixError(EIO, QStringLiteral("compress %1").arg(item));
            CRKEventLogSessionRepository::deleteItem(*prep);
            return false;
        }
    }
    syncDirectory(*prep);
    const auto final = repository_->removePrepStatusFromSessionFragmentDirectory(*prep, error);
    if (!final)
        return false;
    syncDirectory(CRKEventLogSessionRepository::parentDirectory(*final));
    return repository_->removeSessionFragmentDirectory(active, error);
}

void CRKAnalyticsController::transmitPackagedSessionFragments(Completion completion)
{
    dispatchToMaintenance([this, completion] {
        if (!settings().analyticsURL.isValid() || settings().analyticsURL.isEmpty()) {
            completion(error(-2, QStringLiteral("no analytics URL in the settings")));
            return;
        }
        if (sessionFragmentsToTransmit_) {
            completion(error(-1, QStringLiteral("a transmission is already running")));
            return;
        }
        const auto fragments = repository_->sessionFragmentDirectoriesForStateName(kPackaged);
        if (!fragments) {
            completion(KTHError());
            return;
        }
        sessionFragmentsToTransmit_ = *fragments;
        transmitNext(completion);
    });
}

void CRKAnalyticsController::transmitNext(Completion completion)
{
    if (sessionFragmentsToTransmit_->isEmpty()) {
        sessionFragmentsToTransmit_.reset();
        completion(KTHError());
        return;
    }
    const QString fragment = sessionFragmentsToTransmit_->takeFirst();
    KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Transmitting packaged session fragments in %1").arg(fragment));
    const auto files = repository_->logFilesForSessionFragmentDirectory(fragment);
    if (!files || files->isEmpty() || CRKEventLogSessionRepository::isPrepDirectory(fragment)) {
        transmitNext(completion);
        return;
    }
    networkingClient_->transmitLogFiles(
        *files, settings().analyticsURL, KitHost::sharedSDK().APIKey(),
        [this, watch = life_.watch(), fragment, completion](const KTHError& uploadError) {
            watch.run([&] {
                maintenanceQueue_->async([this, fragment, completion, uploadError] {
                    if (!uploadError) {
                        KTHError error;
                        if (!repository_->removeSessionFragmentDirectory(fragment, &error))
                            KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] Unable to delete session fragment "
                                                              "directory \"%1\" {%2}")
                                                   .arg(fragment, error.description));
                    }
                    transmitNext(completion);
                });
            });
        });
}

std::optional<QStringList> CRKAnalyticsController::nonCurrentLogFilesForAllStates(KTHError* error) const
{
    const auto files = repository_->logFilesForAllStates(error);
    if (!files)
        return std::nullopt;
    QStringList out;
    for (const QString& file : *files)
        if (!isOpenSessionFragmentDirectory(CRKEventLogSessionRepository::parentDirectory(file)))
            out << file;
    return out;
}

std::vector<QStringList> CRKAnalyticsController::mutableSortedFileURLsGroupedByPriorities(const QStringList& files)
{
    std::vector<QStringList> groups;
    for (const QString& file : files) {
        const quint64 p = CRKEventLogSessionRepository::priorityForEventLogFileWithName(QFileInfo(file).fileName());
        if (p == CRKEventLogSessionRepository::kNoPriority)
            continue;
        if (groups.size() <= p)
            groups.resize(p + 1);
        groups[p] << file;
    }
    for (QStringList& group : groups)
        std::sort(group.begin(), group.end());
    return groups;
}

void CRKAnalyticsController::pruneSessionFragmentLogFiles(Completion completion)
{
    dispatchToMaintenance([this, completion] {
        const Settings s = settings();
        // Without settings the store is still bounded, by a built-in budget.
        const quint32 budget = s.haveSettings ? s.maxPendingSendFileCount : options_.noSettingsFileBudget;
        KTHError err;
        const auto files = nonCurrentLogFilesForAllStates(&err);
        if (!files) {
            completion(err);
            return;
        }
        qint64 count = files->size();
        if (count <= qint64(budget)) {
            completion(KTHError());
            return;
        }
        auto groups = mutableSortedFileURLsGroupedByPriorities(*files);
        while (count > qint64(budget)) {
            if (groups.empty() || groups.back().isEmpty()) {
                completion(error(-3, QStringLiteral("no file left to prune")));
                return;
            }
            const QString victim = groups.back().takeFirst();
            if (!repository_->removeLogFile(victim, &err)) {
                completion(err);
                return;
            }
            while (!groups.empty() && groups.back().isEmpty())
                groups.pop_back();
            --count;
        }
        completion(KTHError());
    });
}

void CRKAnalyticsController::cleanUpRepository(Completion completion)
{
    dispatchToMaintenance([this, completion] {
        KTHError error;
        repository_->cleanUpEventLogRepositoryIgnoringSessionFragmentDirectories(openSessionFragmentDirectories(),
                                                                                 &error);
        completion(error);
    });
}

QDateTime CRKAnalyticsController::lastMaintenanceDate()
{
    const QVariant value = CRKUserDefaults::standardUserDefaults().objectForKey(kLastMaintenanceDate);
    if (value.typeId() == QMetaType::QDateTime && value.toDateTime().isValid())
        return value.toDateTime();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    saveLastMaintenanceDate(now);
    return now;
}

void CRKAnalyticsController::saveLastMaintenanceDate(const QDateTime& date)
{
    CRKUserDefaults& defaults = CRKUserDefaults::standardUserDefaults();
    defaults.setObject(date, kLastMaintenanceDate);
    defaults.synchronize();
}

std::chrono::milliseconds CRKAnalyticsController::initialMaintenanceDelay(quint32 intervalSecs,
                                                                          const QDateTime& lastMaintenance,
                                                                          const QDateTime& now)
{
    const qint64 interval = qint64(intervalSecs) * 1000;
    const qint64 elapsed = lastMaintenance.msecsTo(now);
    // A date in the future (clock set back) must not push maintenance out.
    return std::chrono::milliseconds(std::clamp<qint64>(interval - elapsed, 0, interval));
}

void CRKAnalyticsController::scheduleSessionMaintenance()
{
    const quint64 generation = ++timerGeneration_;   // cancels any armed timer
    const Settings s = settings();
    if (!analyticsFeatureSwitchEnabled() || s.flushIntervalSecs == 0)
        return;
    armTimer(generation, initialMaintenanceDelay(s.flushIntervalSecs, lastMaintenanceDate(),
                                                 QDateTime::currentDateTimeUtc()));
}

void CRKAnalyticsController::armTimer(quint64 generation, std::chrono::milliseconds delay)
{
    life_.watch().run([&] {
        maintenanceQueue_->after(delay, [this, generation] {
            if (generation != timerGeneration_)
                return;
            maintainSessionFragmentsIgnoringError();
            armTimer(generation, std::chrono::milliseconds(qint64(settings().flushIntervalSecs) * 1000));
        });
    });
}
