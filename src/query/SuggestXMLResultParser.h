#pragma once

#include "models/SuggestResult.h"

#include <QString>

#include <optional>

// Reads the suggestion answer ("suggest/items/item" with "title" and
// "explain"), at most ten items.
class SuggestXMLResultParser {
public:
    static constexpr int kMaxItems = 10;
    // Nothing for text that is not well-formed XML.
    std::optional<SuggestResult> parseXML(const QString& xml) const;
};
