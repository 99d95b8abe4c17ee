#include "query/RequestData.h"
#include "query/offline/OfflineDict.h"

namespace OfflineDict {

void install() {
    RequestData::setOfflineLookup([](const QString& word, const QString& localDict,
                                     int requestType, int dictType) {
        return answer(word, localDict, requestType, dictType);
    });
}

}  // namespace OfflineDict
