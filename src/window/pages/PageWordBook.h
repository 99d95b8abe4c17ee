#pragma once

#include <QString>
#include <functional>

// How the lookup page's "add to / remove from word book" buttons reach the
// word book: the word book facade by default; tests install their own.
namespace pagewordbook {
struct Actions {
    // Adds a word and starts a synchronisation without merge; `stored` is
    // told on the main thread whether the word's row is in the file.
    std::function<void(const QString& word, const QString& phonetic, const QString& definition,
                       std::function<void(bool stored)> stored)>
        addWord;
    // Removes a word and starts a synchronisation without merge; `removed`
    // is told on the main thread whether the word is out of the file.
    std::function<void(const QString& word, std::function<void(bool removed)> removed)> delWord;
};
void setActions(Actions actions);
const Actions& actions();
}  // namespace pagewordbook
