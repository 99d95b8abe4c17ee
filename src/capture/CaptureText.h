#pragma once

#include <QString>

// The text rules shared by the capture controllers, apart from any reader so
// they can be checked on their own.
namespace capturetext {

// A selection as looked up: trimmed, 1 to 49 characters, a numbered list
// line cut to its word; null when it is not to be looked up.
QString selectionToQuery(const QString& selected);

// Hover text: removes "？" and "?" and moves the pointer's offset back by the
// marks removed before it; joins lines with blanks.
struct Around {
    QString text;
    int offset = 0;
};
Around cleanAround(const QString& text, int offset);

}  // namespace capturetext
