#pragma once

#include "models/SuggestResult.h"
#include "query/controllers/QueryPage.h"

#include <memory>

// How the lookup and encyclopedia tabs put a suggestion answer on screen; the
// two differ only in what a row reads.
namespace suggestions {

enum class RowText { TitleAndExplanation, TitleOnly };

// Refills the lists (creating them on first use), then shows the window when
// there is a row to show and hides it otherwise.
void present(SuggestionView* view, std::shared_ptr<SuggestionLists>& lists, const SuggestResult& result,
             RowText rowText);
void setTableShown(SuggestionView* view, bool shown);

}  // namespace suggestions
