#include "query/controllers/BaseQueryController.h"

#include "platform/NotificationCenter.h"
#include "platform/Reachability.h"


BaseQueryController::BaseQueryController(QObject* parent) : QueryController(parent)
{
    NotificationCenter::defaultCenter().addObserver(
        Reachability::kChangedNotification, this,
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
    internetActive_ = Reachability::shared()->isReachable();
}
