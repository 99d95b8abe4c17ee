#pragma once

#include <QString>

class QueryPage;

// Steps the query controllers of the result page share.
namespace pagescripts {
// The zoom script with the stored factor (1.0 when none is stored).
QString zoomScript();
// Removes the welcome picture, tells the split view, applies the zoom and
// loads result.html unless `isShown` says the page already shows it.
void loadResultPage(QueryPage* page, bool (*isShown)(const QString& url));
bool urlContainsResultPage(const QString& url);
}  // namespace pagescripts
