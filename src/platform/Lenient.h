#pragma once

#include <QJsonValue>
#include <QString>
#include <QVariant>

// Conversions with the forgiving rules the stored settings and the service's
// JSON have always been read with: numbers may arrive as strings and the
// other way round, and a value of the wrong kind reads as empty, never fails.
namespace lenient {

bool toBool(const QVariant& v);
qint64 toInteger(const QVariant& v);
double toDouble(const QVariant& v);
QString toString(const QVariant& v);

bool toBool(const QJsonValue& v);
qint64 toInteger(const QJsonValue& v);
double toDouble(const QJsonValue& v);
// Strings as they are, numbers printed as integers where whole, anything else "".
QString toString(const QJsonValue& v);

// String forms: leading white space, an optional sign, then digits.
bool stringToBool(const QString& s);
qint64 stringToInteger(const QString& s);

}  // namespace lenient
