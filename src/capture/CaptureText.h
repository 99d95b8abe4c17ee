#pragma once

#include <QString>

// The text rules shared by the capture controllers, apart from any reader so
// they can be checked on their own.
namespace capturetext {

// The longest selection that is looked up, in UTF-16 units.
constexpr int kSelectionLimit = 49;

// A selection as looked up: trimmed, 1 to 49 characters, a numbered list
// line cut to its word; null when it is not to be looked up.
QString selectionToQuery(const QString& selected);

// Text handed over whole (the desktop's Services entry): trimmed and cut to
// the selection limit, never splitting a character.
QString capToSelectionLimit(const QString& text);

// Hover text: removes "？" and "?" and moves the pointer's offset back by the
// marks removed before it; joins lines with blanks.
struct Around {
    QString text;
    int offset = 0;
};
Around cleanAround(const QString& text, int offset);

}  // namespace capturetext
