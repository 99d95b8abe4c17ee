#pragma once

#include <QString>
#include <functional>

// How the lookup page's "add to / remove from word book" buttons reach the
// word book. The word book subsystem installs its facade's operations here
// at start-up; until then the buttons do nothing.
namespace pagewordbook {
struct Actions {
    // Adds a word and starts a synchronisation without merge.
    std::function<void(const QString& word, const QString& phonetic, const QString& definition)> addWord;
    // Removes a word and starts a synchronisation without merge.
    std::function<void(const QString& word)> delWord;
};
void setActions(Actions actions);
const Actions& actions();
}  // namespace pagewordbook
