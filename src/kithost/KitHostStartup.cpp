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
    try {
        KitHost::with(kits);
    } catch (const KTHException& e) {
        KTHLog::write(QStringLiteral("%1: %2").arg(KTHException::name(), e.reason()));
    }
}

}  // namespace KitHostStartup
