#pragma once

#include "models/FSearchResult.h"

#include <QString>

#include <optional>

// Reads the quick-result answer (root "mirvodict") into an FSearchResult and
// renders it with fsearchtemplate.
class FSearchXMLResultParser {
public:
    // Nothing for a null text, text that is not well-formed XML, or XML
    // without a "mirvodict" element.
    FSearchResultPtr parseXML(const QString& xml) const;
    // Nothing when unreadable or when rendering fails; "" when the answer
    // has no translation (callers leave the page as it is).
    std::optional<QString> genHTML(const QString& xml) const;
};
