#pragma once

#include "models/SuggestResult.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The answer readers the query controllers use, behind one seam.
namespace readers {
// Strict UTF-8: false for bytes that are not UTF-8 text.
bool decodeUtf8(const QByteArray& bytes, QString* text);
SuggestResult parseSuggestions(const QString& xml);
// HTML of a quick result; empty when it has nothing to show, nothing when
// the answer cannot be read.
std::optional<QString> quickResultHtml(const QString& xml);
// HTML of a full entry (also records the lookup in the history); nothing
// when the answer cannot be read.
std::optional<QString> fullEntryHtml(const QString& json, const QString& word, const QString& dict,
                                     const QString& anotherDict);
}  // namespace readers
