#include "query/controllers/SuggestionPresenter.h"

namespace suggestions {

void present(SuggestionView* view, std::shared_ptr<SuggestionLists>& lists, const SuggestResult& result,
             RowText rowText)
{
    if (!lists)
        lists = std::make_shared<SuggestionLists>();
    lists->rows.clear();
    lists->titles.clear();
    for (const auto& item : result.items) {
        // Rows and words must stay parallel: an item without a title has no word.
        if (!item.hasTitle)
            continue;
        lists->titles.append(item.title);
        lists->rows.append(rowText == RowText::TitleAndExplanation
                               ? QStringLiteral("%1  %2").arg(item.title, item.explain)
                               : item.title);
    }
    setTableShown(view, !lists->titles.isEmpty());
    if (view) {
        view->reloadData();
        view->showSuggestWindow();
    }
}

void setTableShown(SuggestionView* view, bool shown)
{
    if (!view)
        return;
    view->setTableHidden(!shown);
    if (!shown)
        view->hideSuggestWindow();
}

}  // namespace suggestions
