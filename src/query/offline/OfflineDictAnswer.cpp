// The offline answers as the lookup engine's result models: apart from the
// lookup itself (OfflineDict.cpp), which the terminal commands use without them.
#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/WordStrokeXMLResult.h"
#include "platform/Resources.h"
#include "query/RequestData.h"
#include "query/offline/OfflineDict.h"

#include <memory>

namespace OfflineDict {

QVariant answer(const QString& word, const QString& indexName, int requestType, int dictType,
                const QString& folder) {
    if (requestType != kFullEntry && requestType != kQuickResult && requestType != kCapturePopup)
        return {};
    auto notFound = [requestType](const QString& title) -> QVariant {
        if (requestType != kFullEntry) return {};
        auto r = std::make_shared<MainQueryResult>();
        r->title = title;
        r->hasNoAnyTrans = QStringLiteral(" ");
        return QVariant::fromValue(r);
    };
    if (dictType != 0) return notFound(word);

    const Entry e = lookupEntry(word, indexName, folder.isEmpty() ? Resources::path(QStringLiteral("dict")) : folder);
    if (e.unavailable) return {};
    if (!e.found) return notFound(e.title);

    switch (requestType) {
    case kFullEntry: {
        auto r = std::make_shared<MainQueryResult>();
        r->title = e.title;
        r->phone = e.phone;
        for (const QString& s : e.senses)
            r->simpleTrans.append(QVariantMap{
                {QStringLiteral("item"), QVariantMap{{QStringLiteral("trans"), s}}}});
        if (!r->simpleTrans.isEmpty()) r->hasSimpleTrans = QStringLiteral(" ");
        return QVariant::fromValue(r);
    }
    case kQuickResult: {
        auto r = std::make_shared<FSearchResult>();
        r->title = e.title;
        r->phone = e.phone;
        r->trans = e.senses;
        return QVariant::fromValue(r);
    }
    default: {
        auto r = std::make_shared<WordStrokeXMLResult>();
        r->title = e.title;
        r->phone = e.phone;
        r->trans = e.senses;
        return QVariant::fromValue(r);
    }
    }
}

void install() {
    RequestData::setOfflineLookup([](const QString& word, const QString& localDict,
                                     int requestType, int dictType) {
        return answer(word, localDict, requestType, dictType);
    });
}

}  // namespace OfflineDict
