#pragma once

#include "window/ShellPages.h"
#include "window/pages/PageOwner.h"

class FanyiViewController;
class FrameWndController;
class MainViewController;
class SuggestWndController;

// The real pages as the shell sees them.
class LookupPageAdapter : public ShellLookupPage {
public:
    explicit LookupPageAdapter(MainViewController* page) : page_(page) {}
    MainViewController* page() const { return page_; }

    QWidget* view() override;
    void changeQueryController(int index) override;
    int getQueryControllerTag() const override;
    void doQuery(const QString& text) override;
    void doQueryAddHistory(const QString& text, bool addHistory) override;
    void performQuery() override;
    void hideSuggestTableView() override;
    void onSearchBoxChanged(const QString& text) override;
    void loadWelcomePage() override;
    QString mainFrameUrl() const override;
    void loadResultPage() override;
    void reloadWebView() override;
    void evaluateScript(const QString& script) override;
    bool isPasted() const override;
    void setIsPasted(bool pasted) override;
    bool isSelectedFromSuggestList() const override;
    void setIsSelectedFromSuggestList(bool selected) override;
    QStringList suggestTitleList() const override;
    void suggestionSelectionChanged(int row) override;
    void languageButtonSelectionChanged(int tag) override;
    void updateOperationInfo() override;
    void changeMVToolBarThemeActive(bool active) override;
    void zoomWebViewWithFactor(float factor) override;
    bool goBack() override;
    bool goForward() override;
    bool canGoBack() const override;
    bool canGoForward() const override;

private:
    MainViewController* page_;
};

class TranslationPageAdapter : public ShellTranslationPage {
public:
    explicit TranslationPageAdapter(FanyiViewController* page) : page_(page) {}
    QWidget* view() override;
    void changeQueryController(int index) override;
    QString inputText() const override;
    void setInputText(const QString& text) override;
    void focusInput() override;
    void showLanguageButton() override;
    void doQuery(const QString& text) override;
    void setInputEditable(bool editable) override;
    void paste() override;

private:
    FanyiViewController* page_;
};

// What the pages ask of the main window, answered by FrameWndController.
class ShellPageOwner : public PageOwner {
public:
    ShellPageOwner(FrameWndController* frame, ManagingViewController* lookup,
                   ManagingViewController* translation)
        : frame_(frame), lookup_(lookup), translation_(translation) {}
    void jumpToTab(int tab, const QString& text) override;
    void chaciClick() override;
    bool isShowingWordBookView() const override;
    bool isShowingFanyiView() const override;
    ManagingViewController* currentViewController() const override;
    void setToolbarBackEnabled(bool enabled) override;
    void setToolbarForwardEnabled(bool enabled) override;

private:
    FrameWndController* frame_;
    ManagingViewController* lookup_;
    ManagingViewController* translation_;
};

// Creates the two real pages, wires them to the main window, the toolbar's
// search field and the suggestion window. For FrameWndController's factory.
struct RealPages {
    static FrameWndController* createMainWindowController(bool pagesLater = false);
};
