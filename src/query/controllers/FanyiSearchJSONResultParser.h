#pragma once

#include "models/FanyiSearchResult.h"

#include <QString>
#include <optional>

// Reads the translation service's answer.
class FanyiSearchJSONResultParser {
public:
    // Nothing when the text is not JSON.
    std::optional<FanyiSearchResult> parseJSON(const QString& text) const;
    // The translation as plain text, nothing when the text is not JSON.
    std::optional<QString> genHTML(const QString& text) const;
};
