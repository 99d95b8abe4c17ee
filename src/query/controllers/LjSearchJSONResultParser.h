#pragma once

#include "models/LjSearchResult.h"

#include <QString>
#include <optional>

// Reads the example-sentence answer of the dictionary service.
class LjSearchJSONResultParser {
public:
    // Nothing when the text is not JSON.
    std::optional<LjSearchResult> parseJSON(const QString& text) const;
    // The result rendered with ljtemplate; nothing when parsing gave nothing.
    std::optional<QString> genHTML(const QString& text) const;
};
