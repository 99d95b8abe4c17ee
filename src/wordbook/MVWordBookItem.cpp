#include "wordbook/MVWordBookItem.h"

QString MVWordBookItem::makeIntp(const QString& phonetic, const QString& definition)
{
    // An absent definition prints the way the platform prints a missing object.
    const QString def = definition.isNull() ? QStringLiteral("(null)") : definition;
    if (!phonetic.isEmpty()) {
        if (phonetic.endsWith(QLatin1Char(']')))
            return phonetic + QStringLiteral("\\n") + def;
        return QLatin1Char('[') + phonetic + QStringLiteral("]\\n") + def;
    }
    return QStringLiteral("\\n") + def;
}

QString MVWordBookItem::intp() const
{
    return makeIntp(phonetic, definition);
}
