#include "query/controllers/JsonText.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonDocument>
#include <QJsonParseError>

bool parseJsonText(const QString& text, QJsonValue* value, QString* error)
{
    QJsonParseError err{};
    QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &err);
    if (err.error == QJsonParseError::NoError) {
        *value = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
        return true;
    }
    // A bare value parses as the single element of an array around it.
    QJsonParseError wrappedErr{};
    doc = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &wrappedErr);
    if (wrappedErr.error == QJsonParseError::NoError && doc.array().size() == 1) {
        *value = doc.array().first();
        return true;
    }
    if (error)
        *error = err.errorString();
    return false;
}
