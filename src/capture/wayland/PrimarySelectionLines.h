#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// What the primary selection watch prints: one base64 line per change of
// the selection. Takes the complete lines out of `pending` (bytes read so
// far); each is one change, with its text when it decodes and is no longer
// than `maxBytes`. A partial line stays in `pending`, unless it is already
// too long to be looked up: then it is dropped, and so is the rest of that
// line as it comes (`dropping` says a line is being dropped, kept by the
// caller between reads and cleared with `pending`), so no tail of a long
// selection is ever taken for a selection of its own. The dropped line is
// still one change, without text, once its end arrives.
namespace primaryselection {
QList<std::optional<QString>> takeLines(QByteArray& pending, bool& dropping, qsizetype maxBytes);
}
