#pragma once

#include <QString>
#include <QVariantMap>
#include <QVector>

// The suggestion list of the search field, in the service's order.
class SuggestResult {
public:
    struct Item {
        // A record ends at its first missing value: without a title the item
        // carries neither title nor explanation.
        QString title;
        QString explain;
        bool hasTitle = false;
        bool hasExplain = false;
    };
    QVector<Item> items;

    // {"items": [{"item": {"title", "explain"}}, ...]}
    QVariantMap toMustache() const;
};
