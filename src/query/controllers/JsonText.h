#pragma once

#include <QJsonValue>
#include <QString>

// Parses JSON text whose top level may also be a bare value (a string, a
// number), as the service sometimes answers. Returns false when the text is
// not JSON at all; `error` then describes why.
bool parseJsonText(const QString& text, QJsonValue* value, QString* error = nullptr);
