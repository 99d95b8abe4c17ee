#include "query/controllers/BaseQueryController.h"

#include "platform/NotificationCenter.h"

namespace {
std::function<bool()>& probe()
{
    static std::function<bool()> p;
    return p;
}
}  // namespace

void BaseQueryController::setInternetProbe(std::function<bool()> p)
{
    probe() = std::move(p);
}

bool BaseQueryController::probeInternet()
{
    return probe() ? probe()() : true;
}

BaseQueryController::BaseQueryController(QObject* parent) : QueryController(parent)
{
    NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("kNetworkReachabilityChangedNotification"), this,
        [this](const Notification&) { checkNetworkStatus(); });
    // Start from what the probe sees now: starting "offline" would send the
    // first lookups to the small offline dictionary on a working network.
    checkNetworkStatus();
}

BaseQueryController::~BaseQueryController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void BaseQueryController::checkNetworkStatus()
{
    internetActive_ = probeInternet();
}
