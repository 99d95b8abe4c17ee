#include "kithost/KitHostStartup.h"

#include "kithost/KTHKit.h"
#include "kithost/KTHLog.h"
#include "kithost/KitHost.h"

namespace KitHostStartup {

void startWithCrashKit()
{
    QStringList kits;
    if (KTHKitRegistry::kitNamed(QStringLiteral("CrashKit")))
        kits << QStringLiteral("CrashKit");
    else if (KTHKitRegistry::kitNamed(QStringLiteral("Tally")))
        kits << QStringLiteral("Tally");   // until the crash kit starts it
    try {
        KitHost::with(kits);
    } catch (const KTHException& e) {
        KTHLog::write(QStringLiteral("%1: %2").arg(KTHException::name(), e.reason()));
    }
}

void startCrashRecording()
{
    const auto kit = KTHKitRegistry::kitNamed(QStringLiteral("CrashKit"));
    if (!kit || !kit->initializeEarly)
        return;
    KitHost& host = KitHost::sharedSDK();
    try {
        host.kitHostConfig();
    } catch (const KTHException&) {
        return;
    }
    if (host.APIKey().isEmpty())
        return;
    kit->initializeEarly();
}

}  // namespace KitHostStartup
