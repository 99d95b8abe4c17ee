#include "window/pages/BackForwardList.h"

#include "query/QueryHistoryManager.h"

namespace BackForwardList {

namespace {
std::optional<Item> toItem(const QueryHistoryItem* item)
{
    if (!item)
        return std::nullopt;
    return Item{item->query, item->tab, item->scrollPosition};
}
}  // namespace

void appendQuery(const QString& query, int tab)
{
    QueryHistoryManager::getInstance().appendQuery(query, tab);
}

void setScrollPosition(int position)
{
    QueryHistoryManager::getInstance().setScrollPosition(position);
}

std::optional<Item> getPrevItem()
{
    return toItem(QueryHistoryManager::getInstance().getPrevItem());
}

std::optional<Item> getNextItem()
{
    return toItem(QueryHistoryManager::getInstance().getNextItem());
}

bool isPrevItem()
{
    return QueryHistoryManager::getInstance().isPrevItem();
}

bool isNextItem()
{
    return QueryHistoryManager::getInstance().isNextItem();
}

}  // namespace BackForwardList
