#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Forgiving navigation over service JSON: a step into a value of the wrong
// type yields "missing" (undefined), never a failure.
namespace jsonpath {

inline QJsonValue get(const QJsonValue& v, const char* key) {
    return v.isObject() ? v.toObject().value(QLatin1String(key)) : QJsonValue(QJsonValue::Undefined);
}

inline bool present(const QJsonValue& v) { return !v.isUndefined() && !v.isNull(); }

// Element 0 of an array; missing for anything else.
inline QJsonValue first(const QJsonValue& v) {
    if (!v.isArray()) return QJsonValue(QJsonValue::Undefined);
    const QJsonArray a = v.toArray();
    return a.isEmpty() ? QJsonValue(QJsonValue::Undefined) : a.first();
}

inline bool nonEmptyArray(const QJsonValue& v) { return v.isArray() && !v.toArray().isEmpty(); }

// A text value: strings as they are, numbers printed (whole numbers without
// a fraction); anything else is missing (null QString).
QString text(const QJsonValue& v);

// The JSON value as the templates take it; null for missing.
QVariant asSent(const QJsonValue& v);

// Builds a record key by key; the first missing value ends it, so later
// keys stay absent even when they have values.
class Record {
public:
    Record& add(const char* key, const QVariant& value) {
        if (ended_) return *this;
        if (!value.isValid() || value.isNull()) {
            ended_ = true;
            return *this;
        }
        map_.insert(QLatin1String(key), value);
        return *this;
    }
    Record& add(const char* key, const QString& value) {
        return add(key, value.isNull() ? QVariant() : QVariant(value));
    }
    QVariantMap map() const { return map_; }
    // {"item": record}
    QVariant item() const { return QVariantMap{{QStringLiteral("item"), map_}}; }

private:
    QVariantMap map_;
    bool ended_ = false;
};

}  // namespace jsonpath
