// Kit host start-up cost on the calling (main) thread in a fresh home, and
// the settings round trip to a loopback fake service: median of 15 runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "kithost/KTHSettingsOnboardingManager.h"
#include "kithost/KitHost.h"
#include "platform/CRKUserDefaults.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/FakeKitService.h"

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    FakeKitService fake;
    std::atomic<int> notified{0};
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(QString::fromLatin1(KTHSettingsAvailableNotification), &observer,
                                                    [&](const Notification&) { ++notified; });
    std::vector<double> startup, roundTrip;
    for (int run = 0; run < 15; ++run) {
        QTemporaryDir home;
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"})
            qputenv(var, home.path().toUtf8());
        UserDefaults::resetStandard();
        CRKUserDefaults::resetStandardUserDefaults();
        KitHost::resetForTesting();
        const int before = notified.load();
        QElapsedTimer t;
        t.start();
        KitHost::with({});
        startup.push_back(t.nsecsElapsed() / 1e6);
        while (notified.load() == before && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        roundTrip.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("KitHost::with in a fresh home (main thread): median %.2f ms over %zu runs (target < 15 ms)\n",
                median(startup), startup.size());
    std::printf("settings round trip to a loopback fake: median %.2f ms over %zu runs (target < 50 ms)\n",
                median(roundTrip), roundTrip.size());
    KitHost::resetForTesting();
    return 0;
}
