#pragma once

#include <QString>

namespace mvstring {

// True for text that is empty or only white space and line ends.
//
// A null QString (a missing text) answers true as well. The one caller, the
// query history store, skips a word that is missing just as one that is
// blank; the "missing is not empty" answer of the old string category was only
// an accident of messaging nil, and would let a missing word through.
bool isEmpty(const QString& text);

}  // namespace mvstring
