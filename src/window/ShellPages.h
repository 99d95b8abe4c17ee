#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// What the main window, its toolbar and its search field ask of the two
// pages. The real pages are adapted to these in PageAdapters; tests put
// recording doubles in their place.
class ShellLookupPage {
public:
    virtual ~ShellLookupPage() = default;
    virtual QWidget* view() = 0;
    virtual void changeQueryController(int index) = 0;
    virtual int getQueryControllerTag() const = 0;
    virtual void doQuery(const QString& text) = 0;
    virtual void doQueryAddHistory(const QString& text, bool addHistory) = 0;
    virtual void performQuery() = 0;
    virtual void hideSuggestTableView() = 0;
    // To the current query controller.
    virtual void onSearchBoxChanged(const QString& text) = 0;
    virtual void loadWelcomePage() = 0;
    virtual QString mainFrameUrl() const = 0;
    virtual void loadResultPage() = 0;
    virtual void reloadWebView() = 0;
    // Runs script in the page shown (queued behind a load in progress).
    virtual void evaluateScript(const QString& script) = 0;
    virtual bool isPasted() const = 0;
    virtual void setIsPasted(bool pasted) = 0;
    virtual bool isSelectedFromSuggestList() const = 0;
    virtual void setIsSelectedFromSuggestList(bool selected) = 0;
    virtual QStringList suggestTitleList() const = 0;
    virtual void suggestionSelectionChanged(int row) = 0;
    virtual void languageButtonSelectionChanged(int tag) = 0;
    virtual void updateOperationInfo() = 0;
    virtual void changeMVToolBarThemeActive(bool active) = 0;
    virtual void zoomWebViewWithFactor(float factor) = 0;
    // The back/forward list walk of the toolbar's buttons; false when there
    // was no item to go to. canGo* say whether another step is possible.
    virtual bool goBack() = 0;
    virtual bool goForward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
};

class ShellTranslationPage {
public:
    virtual ~ShellTranslationPage() = default;
    virtual QWidget* view() = 0;
    virtual void changeQueryController(int index) = 0;
    virtual QString inputText() const = 0;
    virtual void setInputText(const QString& text) = 0;
    virtual void focusInput() = 0;
    virtual void showLanguageButton() = 0;
    // Translates at once through the page's current query controller.
    virtual void doQuery(const QString& text) = 0;
    virtual void setInputEditable(bool editable) = 0;
    virtual void paste() = 0;
};
