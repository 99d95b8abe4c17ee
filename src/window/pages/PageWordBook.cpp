#include "window/pages/PageWordBook.h"

namespace pagewordbook {
namespace {
Actions& stored()
{
    static Actions a;
    return a;
}
}  // namespace

void setActions(Actions actions)
{
    stored() = std::move(actions);
}

const Actions& actions()
{
    return stored();
}
}  // namespace pagewordbook
