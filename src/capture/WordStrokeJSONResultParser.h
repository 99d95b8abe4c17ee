#pragma once

#include "query/MainQueryJSONResultParser.h"

// The full JSON entry of a captured word rendered as the main window renders
// it, without the word-book mark, the stored definition or the side-bar
// flags the lookup page adds. Kept for a popup that shows whole entries.
class WordStrokeJSONResultParser : public MainQueryJSONResultParser {
public:
    // Nothing when the answer is not JSON or the template fails (logged).
    std::optional<QString> genHTML(const QString& json);
};
