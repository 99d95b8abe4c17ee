#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// What the primary selection watch prints: one base64 line per change of
// the selection. Takes the complete lines out of `pending` (bytes read so
// far); each is one change, with its text when it decodes and is no longer
// than `maxBytes`. A partial line stays in `pending`, unless it is already
// too long to be looked up, when it is dropped.
namespace primaryselection {
QList<std::optional<QString>> takeLines(QByteArray& pending, qsizetype maxBytes);
}
