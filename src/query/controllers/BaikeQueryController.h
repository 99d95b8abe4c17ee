#pragma once

#include "query/controllers/QueryController.h"
#include "query/controllers/QueryPage.h"

#include <QPointer>
#include <QVariantMap>
#include <memory>

class RequestData;

// The encyclopedia tab: title suggestions while typing, an article, an
// article with its counterpart in the other language, or related entries.
class BaikeQueryController : public QueryController {
    Q_OBJECT
public:
    explicit BaikeQueryController(QObject* parent = nullptr);

    using QueryController::doQuery;
    void doQuery(const QString& text) override;
    void onSearchBoxChanged(const QString& text) override;
    void setScrollPosition(int position) override { scrollPos_ = position; }
    void loadWelcomePage() override;
    void loadResultPage();
    void setHTMLElementId(const QString& elementId, const QString& content);
    void showSuggestTableView();
    void hideSuggestTableView();

    void bkQueryHelper(const QVariant& answer);
    void bkSearchHelper(const QVariant& answer);
    void bkwikiQueryHelper(const QVariant& answer);
    void suggestHelper(const QVariant& answer);

    void setPage(QueryPage* page) { page_ = page; }
    QueryPage* page() const { return page_; }
    void setMainVC(QObject* page) { mainVC_ = page; }
    void setSuggestionView(SuggestionView* view) { suggestionView_ = view; }
    void setSuggestionLists(std::shared_ptr<SuggestionLists> lists) { suggestions_ = std::move(lists); }
    std::shared_ptr<SuggestionLists> suggestionLists() const { return suggestions_; }
    const QVariantMap& results() const { return results_; }
    int scrollPos() const { return scrollPos_; }

    RequestData* baikeQueryRequestData() const { return baikeQueryRequestData_; }
    RequestData* suggestRequestData() const { return suggestRequestData_; }

    static QString articleUrl(const QString& title);
    static QString searchUrl(const QString& text);
    static QString suggestUrl(const QString& text);
    static QString welcomeHtml();

private:
    void startQuery(const QString& text);
    void requestArticle(const QString& title, void (BaikeQueryController::*helper)(const QVariant&));

    QueryPage* page_ = nullptr;
    QPointer<QObject> mainVC_;
    SuggestionView* suggestionView_ = nullptr;
    std::shared_ptr<SuggestionLists> suggestions_;
    RequestData* baikeQueryRequestData_ = nullptr;
    RequestData* suggestRequestData_ = nullptr;
    QVariantMap results_;
    int scrollPos_ = 0;
};
