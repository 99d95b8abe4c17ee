// Analytics costs: a priority-1 event logged from the calling thread, 10,000
// custom events reaching the disk, packaging a 1 MB log, and pruning plus
// sweeping a store of 1,000 fragments. Medians (and the 99th percentile of
// single events).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "kithost/KitHost.h"
#include "platform/CRKUserDefaults.h"
#include "platform/UserDefaults.h"
#include "tally/CRKAnalyticsController.h"
#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKAnalyticsGzip.h"
#include "tally/CRKEventLogEvent.h"
#include "tally/CRKEventLogSessionRepository.h"
#include "tally/CRKTallyEvent.h"

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

void freshHome(const QTemporaryDir& home)
{
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"})
        qputenv(var, home.path().toUtf8());
    UserDefaults::resetStandard();
    CRKUserDefaults::resetStandardUserDefaults();
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(QVariantMap{{"KitHost", QVariantMap{{"APIKey", "bench"}}}});
}

std::unique_ptr<CRKAnalyticsController> controller(const QTemporaryDir& home)
{
    CRKAnalyticsController::Options options;
    options.noSettingsMaintenanceDelay = std::chrono::hours(1);
    return CRKAnalyticsController::create("bench", home.path() + "/analytics", QString(), options);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    {
        QTemporaryDir home;
        freshHome(home);
        auto c = controller(home);
        std::vector<double> single;
        for (int i = 0; i < 2000; ++i) {
            const auto e = CRKAnalyticsEvent::appLaunched(1700000000000 + i, "0C6F1F7E-6B0B-4B8E-9C4B-7A9E1D2F3A4B");
            QElapsedTimer t;
            t.start();
            c->logEvent(e);
            single.push_back(t.nsecsElapsed() / 1e3);
        }
        std::printf("priority-1 event from the calling thread: median %.1f us, p99 %.1f us over %zu (target < 100 us, "
                    "p99 < 1 ms)\n",
                    percentile(single, 0.5), percentile(single, 0.99), single.size());
    }

    std::vector<double> bulk;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir home;
        freshHome(home);
        auto c = controller(home);
        const auto event = CRKTallyCustomEvent::create("looked_up", {{"word", "dictionary"}, {"tab", 1}});
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 10000; ++i)
            c->logCustomEvent(*event);
        c->drainQueuesForTesting();
        bulk.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("10,000 custom events on disk: median %.1f ms over %zu runs (target < 500 ms)\n",
                percentile(bulk, 0.5), bulk.size());

    std::vector<double> pack;
    {
        QTemporaryDir dir;
        QFile f(dir.path() + "/2.log");
        f.open(QIODevice::WriteOnly);
        for (int i = 0; f.size() < (1 << 20); ++i)
            f.write(CRKEventLogEvent(2, 1700000000000 + i, "custom",
                                     QByteArray("{\"custom_type\":\"looked_up\",\"eventId\":\"") + QByteArray::number(i)
                                         + "\",\"custom_attributes\":{\"word\":\"dictionary\"}}")
                        .eventData());
        f.close();
        for (int run = 0; run < 15; ++run) {
            QElapsedTimer t;
            t.start();
            CRKAnalyticsGzipCompressLogFile(f.fileName(), f.fileName() + ".zip");
            pack.push_back(t.nsecsElapsed() / 1e6);
        }
    }
    std::printf("packaging a 1 MB log: median %.2f ms over %zu runs (target < 30 ms)\n", percentile(pack, 0.5),
                pack.size());

    for (const int budget : {1000, 500}) {
    std::vector<double> prune;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir home;
        freshHome(home);
        for (int i = 0; i < 1000; ++i) {
            const QString d = home.path() + QStringLiteral("/analytics/v1/PACKAGED/1_old/%1_f").arg(i, 4, 10, QChar('0'));
            QDir().mkpath(d);
            QFile(d + "/2.log.zip").open(QIODevice::WriteOnly);
        }
        auto c = controller(home);
        c->setSettings(QVariantMap{{"features", QVariantMap{{"collect_analytics", true}}},
                                   {"analytics", QVariantMap{{"max_pending_send_file_count", budget}}}});
        c->drainQueuesForTesting();
        std::atomic<bool> done{false};
        QElapsedTimer t;
        t.start();
        c->pruneSessionFragmentLogFiles([&](const KTHError&) {
            c->cleanUpRepository([&](const KTHError&) { done = true; });
        });
        while (!done)
            QThread::usleep(100);
        prune.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("pruning to %d files and sweeping 1,000 fragments: median %.1f ms over %zu runs "
                "(target < 300 ms)\n",
                budget, percentile(prune, 0.5), prune.size());
    }
    KitHost::resetForTesting();
    return 0;
}
