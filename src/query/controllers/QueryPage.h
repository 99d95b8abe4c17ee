#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

// The lookup page as the query controllers see it: the shared web view and
// the furniture around it. The window layer implements it over a real web
// view; tests implement it with a recording fake, so controller logic never
// needs a browser engine.
class QueryPage {
public:
    virtual ~QueryPage() = default;

    // True while the main frame is loading a document.
    virtual bool isLoading() const = 0;
    // Address of the document the main frame shows or is loading.
    virtual QString mainFrameUrl() const = 0;
    // Loads a page shipped among the resources ("result.html", "firstpage.html").
    virtual void loadResourcePage(const QString& fileName) = 0;
    // Runs script in the page; while a load is pending it runs once the page
    // has loaded, in the order given. The callback, if any, gets the value.
    virtual void evaluateScript(const QString& script,
                                std::function<void(const QVariant&)> done = {}) = 0;
    // Replaces the inner HTML of one element, queued like evaluateScript.
    virtual void setInnerHtml(const QString& elementId, const QString& html) = 0;
    // Runs the task now when no load is pending, else right after it ends.
    virtual void afterLoading(std::function<void()> task) = 0;

    virtual void showLoadingIndicator() = 0;
    virtual void hideLoadingIndicator() = 0;
    // The welcome picture laid over the web view on some tabs.
    virtual void showWelcomeOverlay(const QString& imageName) = 0;
    // Removes it, but only while the lookup page is the page shown.
    virtual void removeWelcomeOverlay() = 0;
};

// The rows of the suggestion window, shared between the page (which shows
// them and takes clicks) and the controllers that fill them.
struct SuggestionLists {
    QStringList rows;    // display text of each row
    QStringList titles;  // the word behind each row
};

// The suggestion window as the query controllers drive it.
class SuggestionView {
public:
    virtual ~SuggestionView() = default;
    virtual void setTableHidden(bool hidden) = 0;
    virtual void reloadData() = 0;
    virtual void showSuggestWindow() = 0;
    virtual void hideSuggestWindow() = 0;
};
