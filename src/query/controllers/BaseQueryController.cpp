#include "query/controllers/BaseQueryController.h"

#include "platform/NotificationCenter.h"
#include "platform/Reachability.h"
#include "models/MainQueryResult.h"
#include "query/RequestData.h"


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

const QString BaseQueryController::kLocalDict = QStringLiteral("mvdict.idx");

bool BaseQueryController::requestEntry(RequestData* online, RequestData* offline, const QString& url,
                                       const QString& word, const std::function<bool(const QVariant&)>& readable,
                                       const Deliver& deliver)
{
    if (!internetActive_) {
        if (answerFromShippedDict(offline, word, false, deliver))
            return true;
        deliver(QVariant());
        return false;
    }
    // A service that cannot be reached at all still leaves the shipped dictionary.
    auto cb = [this, offline, word, readable, deliver](const QVariant& a) {
        if (readable(a) || !answerFromShippedDict(offline, word, true, deliver))
            deliver(a);
    };
    if (RequestData::escapeURL(word).size() >= kPostThreshold)
        online->requestDataWithURL(url, {QStringLiteral("q")}, {word}, this, cb);
    else
        online->requestDataWithURL(url, {}, {}, this, cb);
    return true;
}

bool BaseQueryController::answerFromShippedDict(RequestData* offline, const QString& word, bool onlyEntries,
                                                const Deliver& deliver)
{
    bool answered = false;
    offline->requestData(word, kLocalDict, 1, int(dictType_), this,
                         [onlyEntries, &answered, &deliver](const QVariant& a) {
        if (!a.isValid())
            return;
        if (onlyEntries && a.metaType() == QMetaType::fromType<MainQueryResultPtr>()) {
            const MainQueryResultPtr r = a.value<MainQueryResultPtr>();
            if (!r || !r->hasNoAnyTrans.isEmpty())
                return;
        }
        answered = true;
        deliver(a);
    });
    return answered;
}
