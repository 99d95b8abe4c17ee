#include "platform/Lenient.h"

#include <cmath>
#include <limits>

namespace lenient {

bool stringToBool(const QString& s) {
    int i = 0;
    while (i < s.size() && s[i].isSpace()) ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    while (i < s.size() && s[i] == u'0') ++i;
    if (i >= s.size()) return false;
    const QChar c = s[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

qint64 stringToInteger(const QString& s) {
    int i = 0;
    while (i < s.size() && s[i].isSpace()) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    qint64 n = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        const int d = s[i].unicode() - u'0';
        if (n > (std::numeric_limits<qint64>::max() - d) / 10) return negative ? std::numeric_limits<qint64>::min()
                                                                               : std::numeric_limits<qint64>::max();
        n = n * 10 + d;
    }
    return negative ? -n : n;
}

bool toBool(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool();
    case QMetaType::QString: return stringToBool(v.toString());
    case QMetaType::QByteArray: return stringToBool(QString::fromUtf8(v.toByteArray()));
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        return v.toLongLong() != 0;
    case QMetaType::Double: case QMetaType::Float: return v.toDouble() != 0.0;
    default: return false;
    }
}

qint64 toInteger(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    case QMetaType::QString: return stringToInteger(v.toString());
    case QMetaType::QByteArray: return stringToInteger(QString::fromUtf8(v.toByteArray()));
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        return v.toLongLong();
    case QMetaType::Double: case QMetaType::Float: {
        // Converting a double beyond qint64 is undefined; saturate as the
        // string form does. The values come from files and the network.
        const double d = v.toDouble();
        if (!std::isfinite(d)) return 0;
        if (d >= 9223372036854775808.0) return std::numeric_limits<qint64>::max();
        if (d < -9223372036854775808.0) return std::numeric_limits<qint64>::min();
        return static_cast<qint64>(d);
    }
    default: return 0;
    }
}

double toDouble(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QString: {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok ? d : static_cast<double>(stringToInteger(v.toString()));
    }
    case QMetaType::Bool: case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt:
    case QMetaType::ULongLong: case QMetaType::Double: case QMetaType::Float:
        return v.toDouble();
    default: return 0.0;
    }
}

QString toString(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QString: return v.toString();
    case QMetaType::QByteArray: return QString::fromUtf8(v.toByteArray());
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        return QString::number(v.toLongLong());
    case QMetaType::Double: case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', 15);
    }
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default: return QString();
    }
}

bool toBool(const QJsonValue& v) { return v.isUndefined() || v.isNull() ? false : toBool(v.toVariant()); }
qint64 toInteger(const QJsonValue& v) { return v.isUndefined() || v.isNull() ? 0 : toInteger(v.toVariant()); }
double toDouble(const QJsonValue& v) { return v.isUndefined() || v.isNull() ? 0.0 : toDouble(v.toVariant()); }
QString toString(const QJsonValue& v) {
    if (v.isString()) return v.toString();
    if (v.isDouble()) return toString(QVariant(v.toDouble()));
    return QString();
}

}  // namespace lenient
