#pragma once

#include <QString>

// How the lookup engine asks whether a word is in the user's word book without
// depending on the word book: the word book registers itself at start-up.
class WordPresence {
public:
    virtual ~WordPresence() = default;
    virtual bool hasWord(const QString& word) const = 0;

    // nullptr until the word book registers; readers then treat every word as absent.
    static WordPresence* shared();
    static void setShared(WordPresence* presence);
};
