#include "query/StringAdditions.h"

namespace mvstring {

bool isEmpty(const QString& text) {
    for (QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

}  // namespace mvstring
