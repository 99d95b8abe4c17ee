#pragma once

#include "window/pages/BackForwardList.h"

#include "query/controllers/QueryPage.h"
#include "window/pages/ManagingViewController.h"

#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <memory>

class QAbstractListModel;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QWebEngineView;
class PageOwner;
class WebPageHost;
class PronunciationPlayer;
class HomePageContent;
class SuggestionListModel;

// The lookup page: one web view shared by the lookup, example-sentence,
// encyclopedia and word-book tabs. It turns the search field's text into a
// lookup on the current tab, keeps the back/forward list in step, applies the
// language pair, plays pronunciations, zooms, and feeds the suggestion window.
class MainViewController : public ManagingViewController,
                           public QueryPage,
                           public SuggestionView {
    Q_OBJECT
public:
    explicit MainViewController(QWidget* parent = nullptr);
    ~MainViewController() override;

    // --- wiring by the main window controller
    void setOwner(PageOwner* owner) { owner_ = owner; }
    PageOwner* owner() const { return owner_; }
    void setInput(QLineEdit* input);
    QLineEdit* input() const { return input_; }
    // The toolbar's background, coloured by changeMVToolBarThemeActive.
    void setMVToolBarView(QWidget* view) { mvToolBarView_ = view; }
    // The one-time set-up; the constructor runs it, later calls do nothing.
    void awakeFromNib();

    QWebEngineView* webView() const;
    WebPageHost* pageHost() const { return host_; }
    QComboBox* typePopUpButton() const { return typePopUpButton_; }
    bool typePopUpButtonHidden() const;
    QWidget* visualContainerView() const { return visualContainerView_; }

    // --- tabs and lookups
    void changeQueryController(int index) override;
    void performQuery();
    void doQuery(const QString& word);
    void doQuery(const QString& word, bool addHistory);
    void query();
    void backClick();
    void forwardClick();
    void saveScrollPosition();
    void showHistoryItem(const BackForwardList::Item& item);
    void languageButtonSelectionChanged(int index);
    void popUpSelectionChanged(int index);
    void mapIndexToValue(int index);
    qint64 selectedLanguageItemIndex() const { return selectedLanguageItemIndex_; }
    void zoomWebViewWithFactor(float factor);
    void changeMVToolBarThemeActive(bool active);
    void activateInput();
    void setShouldLoadDefaultPage(bool flag) { shouldLoadDefaultPage_ = flag; }
    bool shouldLoadDefaultPage() const { return shouldLoadDefaultPage_; }

    // --- suggestion window: data source and delegate
    QAbstractListModel* suggestionModel() const;
    const QStringList& suggestList() const { return suggestions_->rows; }
    const QStringList& suggestTitleList() const { return suggestions_->titles; }
    std::shared_ptr<SuggestionLists> suggestionLists() const { return suggestions_; }
    qint64 previousSelectedRow() const { return previousSelectedRow_; }
    void suggestionSelectionChanged(int row);
    void suggestionRowEntered(int row);
    void suggestionRowExited(int row);
    void suggestionRowClicked(int row);
    void hideSuggestTableView();
    void showSuggestTableView();
    bool isSelectedFromSuggestList() const { return isSelectedFromSuggestList_; }
    void setIsSelectedFromSuggestList(bool v) { isSelectedFromSuggestList_ = v; }
    bool isPasted() const { return isPasted_; }
    void setIsPasted(bool v) { isPasted_ = v; }

    // --- entries of the page script (framewnd)
    void playAudio(const QString& url);
    void goURL(const QString& address);
    void goTab(const QString& tabName, const QVariant& word, int index);
    void doLog(const QString& key, const QString& value, const QVariant& extras);
    void addWordToWordBook(const QString& word, const QString& definition, const QString& phone);
    void removeWordFromWordBook(const QString& word);
    // Every star on the page shows again whether its word is in the book.
    void refreshStars();

    // --- home page
    void updateOperationInfo();
    void doUpdateOperationInfo();
    HomePageContent* homePageContent() const { return home_; }

    // --- context menu of the page
    // Menu titles for a selection; empty when the selection adds no entries.
    static QString menuSelectionText(const QString& selected);
    void lookupSelected();
    void baikeSelected();

    // --- QueryPage
    bool isLoading() const override;
    QString mainFrameUrl() const override;
    void loadResourcePage(const QString& fileName) override;
    void evaluateScript(const QString& script,
                        std::function<void(const QVariant&)> done = {}) override;
    void setInnerHtml(const QString& elementId, const QString& html) override;
    void afterLoading(std::function<void()> task) override;
    void showLoadingIndicator() override;
    void hideLoadingIndicator() override;
    void showWelcomeOverlay(const QString& imageName) override;
    void removeWelcomeOverlay() override;

    // --- SuggestionView
    void setTableHidden(bool hidden) override;
    void reloadData() override;
    void showSuggestWindow() override;
    void hideSuggestWindow() override;

signals:
    // The suggestion window follows these (it is the main window's).
    void suggestWindowShowRequested();
    void suggestWindowHideRequested();
    void suggestTableHiddenChanged(bool hidden);
    void suggestionsReloaded();
    void suggestionHighlightChanged(int row);
    // The page's own back and forward buttons.
    void backEnabledChanged(bool enabled);
    void forwardEnabledChanged(bool enabled);
    void loadingIndicatorChanged(bool shown);

private:
    void pageFinishedLoading(const QString& url);
    void showContextMenu(const QPoint& pos);
    void lookupSelectionOnTab(int tab, const char* kind);
    void setBackEnabled(bool enabled);
    void setForwardEnabled(bool enabled);

    PageOwner* owner_ = nullptr;
    QPointer<QLineEdit> input_;
    QPointer<QWidget> mvToolBarView_;
    WebPageHost* host_ = nullptr;
    QComboBox* typePopUpButton_ = nullptr;
    QWidget* progressIndicator_ = nullptr;
    QPointer<QWidget> visualContainerView_;
    PronunciationPlayer* player_ = nullptr;
    HomePageContent* home_ = nullptr;
    std::shared_ptr<SuggestionLists> suggestions_;
    SuggestionListModel* suggestionModel_ = nullptr;
    qint64 previousSelectedRow_ = -1;
    bool isSelectedFromSuggestList_ = false;
    bool isPasted_ = false;
    qint64 selectedLanguageItemIndex_ = 0;
    bool hasAwakedFromNib_ = false;
    bool shouldLoadDefaultPage_ = false;
    QString selectedText_;
    QString operationText_;
    QString operationLink_;
};
