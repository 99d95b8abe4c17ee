#pragma once

#include "query/controllers/BaseQueryController.h"
#include "query/controllers/QueryPage.h"

#include <QPointer>
#include <QVariant>
#include <memory>
#include <optional>

class RequestData;

// The query controller of the lookup tab: suggestions and the quick result
// while the user types, the full entry on Return, online or from the offline
// dictionary, written into the element "result" of the result page.
class MainQueryController : public BaseQueryController {
    Q_OBJECT
public:
    explicit MainQueryController(QObject* parent = nullptr);
    ~MainQueryController() override;

    using QueryController::doQuery;
    void doQuery(const QString& text) override;
    void onSearchBoxChanged(const QString& text) override;
    void setScrollPosition(int) override {}
    void loadWelcomePage() override;

    void doLocalSearch();
    void suggestHelper(const QVariant& answer);
    // True when the answer put something on screen (or had nothing to show
    // for a readable answer); false for a failure or an unreadable answer.
    bool fsearchHelper(const QVariant& answer);
    void mainQueryHelper(const QVariant& answer);
    void showSuggestTableView();
    void hideSuggestTableView();
    void hideSuggest();
    void setHTMLElementId(const QString& elementId, const QString& content);
    void loadFirstPage();
    void loadResultPage();
    void loadNoResultPage(const QString& ignored = QString());
    void didFinishLoadFirstPage();
    void reloadResponseData();

    void setSuggestionView(SuggestionView* view) { suggestionView_ = view; }
    void setSuggestionLists(std::shared_ptr<SuggestionLists> lists) { suggestions_ = std::move(lists); }
    std::shared_ptr<SuggestionLists> suggestionLists() const { return suggestions_; }
    void setParentViewController(QObject* page) { parentViewController_ = page; }
    QObject* parentViewController() const { return parentViewController_; }

    bool hasLoadedResultWebView() const { return hasLoadedResultWebView_; }
    void setHasLoadedResultWebView(bool v) { hasLoadedResultWebView_ = v; }
    // An answer held back until the result page has loaded.
    bool hasHeldResponse() const { return tempResponseObj_.has_value(); }

    RequestData* suggestRequestData() const { return suggestRequestData_; }
    RequestData* fsearchRequestData() const { return fsearchRequestData_; }
    RequestData* mainQueryRequestData() const { return mainQueryRequestData_; }

    // Service addresses for a text and foreign language.
    static QString suggestUrl(const QString& text, const QString& le);
    static QString fsearchUrl(const QString& text, const QString& le);
    static QString mainQueryUrl(const QString& text, const QString& le);
    static QString networkErrorHtml();
    static QString networkErrorText();  // the same words as plain text

private:
    void startQuery(const QString& text);
    void showAnswer(const QVariant& answer);
    // True when the shipped dictionary had an answer (already shown); with
    // onlyEntries its "not found" answer does not count.
    void answerQuickResultOffline(const QString& text);
    bool answerIsReadable(const QVariant& answer) const;

    RequestData* suggestRequestData_ = nullptr;
    RequestData* fsearchRequestData_ = nullptr;
    RequestData* mainQueryRequestData_ = nullptr;
    RequestData* offlineRequestData_ = nullptr;
    SuggestionView* suggestionView_ = nullptr;
    std::shared_ptr<SuggestionLists> suggestions_;
    QPointer<QObject> parentViewController_;
    bool hasLoadedResultWebView_ = false;
    std::optional<QVariant> tempResponseObj_;
    // Counts full lookups, so that what was started for an earlier one
    // (typing's answers, clean-up timers) can tell it has been overtaken.
    quint64 lookupSerial_ = 0;
};
