#pragma once

#include <QString>
#include <optional>

// The back/forward list of lookups across tabs, as the lookup page uses it.
namespace BackForwardList {
struct Item {
    QString query;
    int tab = 0;
    int scrollPosition = 0;
};
void appendQuery(const QString& query, int tab);
void setScrollPosition(int position);
std::optional<Item> getPrevItem();
std::optional<Item> getNextItem();
bool isPrevItem();
bool isNextItem();
}  // namespace BackForwardList
