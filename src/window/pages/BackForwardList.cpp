#include "window/pages/BackForwardList.h"

namespace BackForwardList {

void appendQuery(const QString&, int) {}
void setScrollPosition(int) {}
std::optional<Item> getPrevItem()
{
    return std::nullopt;
}
std::optional<Item> getNextItem()
{
    return std::nullopt;
}
bool isPrevItem()
{
    return false;
}
bool isNextItem()
{
    return false;
}

}  // namespace BackForwardList
