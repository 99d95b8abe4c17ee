#include "window/pages/PageWordBook.h"

#include "wordbook/MVWordBook.h"

namespace pagewordbook {
namespace {
// The word book's own facade, unless something else was installed.
Actions facadeActions()
{
    Actions a;
    a.addWord = [](const QString& word, const QString& phonetic, const QString& definition,
                   std::function<void(bool)> stored) {
        MVWordBook& book = MVWordBook::sharedInstance();
        book.addWord(word, phonetic, definition, nullptr, std::move(stored));
        book.startSyncWithDelegate(nullptr, false);
    };
    a.delWord = [](const QString& word, std::function<void(bool)> removed) {
        MVWordBook& book = MVWordBook::sharedInstance();
        book.delWord(word, nullptr, std::move(removed));
        book.startSyncWithDelegate(nullptr, false);
    };
    return a;
}

Actions& stored()
{
    static Actions a = facadeActions();
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
