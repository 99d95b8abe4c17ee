#include "models/SuggestResult.h"

QVariantMap SuggestResult::toMustache() const {
    QVariantList list;
    list.reserve(items.size());
    for (const Item& it : items) {
        QVariantMap rec;
        if (it.hasTitle) {
            rec.insert(QStringLiteral("title"), it.title);
            if (it.hasExplain) rec.insert(QStringLiteral("explain"), it.explain);
        }
        list.append(QVariantMap{{QStringLiteral("item"), rec}});
    }
    return QVariantMap{{QStringLiteral("items"), list}};
}
