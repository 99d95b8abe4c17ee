#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

#include "window/views/MVClickableView.h"
#include "window/views/MVToolBarItemView.h"

class QLabel;
class QMenu;
class QAction;
class MVSearchField;
class MVSegmentView;
class MVSearchFieldView;
class ShellLookupPage;
class SuggestWndController;

// What the toolbar asks of the main window controller.
class ToolBarOwner {
public:
    virtual ~ToolBarOwner() = default;
    virtual void chaciClick(const QString& text) = 0;
    virtual void lijuClick() = 0;
    virtual void fanyiClick() = 0;
    virtual void baikeClick() = 0;
    virtual void wordBookClick() = 0;
    virtual void showUserInfoPanel() = 0;
    virtual void showPreferencePanel() = 0;
    virtual void jumpToTab(int tab, const QString& text) = 0;
    virtual bool isShowingWordBookView() const = 0;
    virtual bool isShowingFanyiView() const = 0;
    // The bottom bar's links and separators, shown only when there is room.
    virtual void setBottomLinksVisible(bool visible) = 0;
    virtual void hideSideBarShowSections() = 0;
};

// The strip across the top of the main window: back/forward, the search
// field with its language button, the five tabs, avatar and settings.
class MVToolBarController : public QObject,
                            public MVToolBarItemViewDelegate,
                            public MVClickableViewDelegate {
    Q_OBJECT
public:
    enum Tab { Chaci = 0, Liju = 1, Fanyi = 2, Baike = 3, WordBook = 4 };
    static constexpr int kHeight = 60;
    static constexpr int kWideSearchBox = 220;
    static constexpr int kNarrowSearchBox = 184;

    static MVToolBarController& sharedInstance();
    MVToolBarController();
    ~MVToolBarController() override;

    QWidget* view() const { return view_; }
    MVSearchField* searchField() const { return searchField_; }
    MVSearchFieldView* searchFieldView() const { return searchFieldView_; }
    MVToolBarItemView* searchTypeButton() const { return searchTypeButton_; }
    QLabel* searchTypeLabel() const { return searchTypeLabel_; }
    QMenu* languageMenu() const { return languageMenu_; }
    MVToolBarItemView* avatarItem() const { return avatarItem_; }
    QLabel* avatarImage() const { return avatarImage_; }
    MVToolBarItemView* settingsItem() const { return settingsItem_; }
    MVToolBarItemView* rightArrowItem() const { return rightArrowItem_; }
    MVClickableView* backButton() const { return backButton_; }
    MVClickableView* forwardButton() const { return forwardButton_; }
    MVToolBarItemView* itemForTab(int tab) const;
    MVToolBarItemView* currentSelectedItem() const { return currentSelectedItem_; }
    qint64 currentSelectedTab() const { return currentSelectedTab_; }
    QAction* currentLanguageSelectedItem() const { return currentLanguageSelectedItem_; }
    bool canGoBack() const { return canGoBack_; }
    bool canGoForward() const { return canGoForward_; }
    QMenu* minWndMenu() const { return minWndMenu_; }

    void setOwner(ToolBarOwner* owner) { owner_ = owner; }
    void setMainVC(ShellLookupPage* page) { mainVC_ = page; }
    ShellLookupPage* mainVC() const { return mainVC_; }
    void setSuggestWindow(SuggestWndController* s) { suggest_ = s; }

    void setSelectedItemViewWithTab(qint64 tab);
    void hideLanguageTypeButton(bool hide);
    void handleWindowResized();
    void showLogoutMenu();
    void enableButton(MVClickableView* button);
    void disEnableButton(MVClickableView* button);
    void changeSelectedItem(MVToolBarItemView* item);
    void backButtonAction();
    void forwardButtonAction();
    void langButtonMenuItemAction(QAction* item);
    void setUpMinWndMenu();

    // Search-field delegate.
    void controlTextDidBeginEditing();
    void controlTextDidChange(const QString& text);
    bool doCommand(int command);  // MVSearchField::Command

    // The width rules as a pure function of the frames: item frames in the
    // order dictionary, sentences, encyclopedia, translation, word book.
    struct WidthLayout {
        bool tabVisible[5];
        bool arrowShown;
        bool settingsShown;
        int searchBoxWidth;
        bool avatarAndLinksShown;
    };
    static WidthLayout widthRules(const QList<QRect>& tabFrames, int avatarX, int searchBoxX);

    // MVToolBarItemViewDelegate
    void didClickOnItemView(MVToolBarItemView* item) override;
    bool didMouseUpFromItemView(MVToolBarItemView* item) override;
    // MVClickableViewDelegate
    void didClickOnView(MVClickableView* view) override;
    bool didMouseUpFromView(MVClickableView* view) override;

signals:
    void avatarChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpUI();
    void layoutView(int width);
    MVToolBarItemView* makeTabItem(const QString& title, const QString& image);
    void styleItem(MVToolBarItemView* item, bool selected);

    QWidget* view_ = nullptr;
    MVSegmentView* segmentView_ = nullptr;
    MVClickableView *backButton_ = nullptr, *forwardButton_ = nullptr;
    QLabel *backImageView_ = nullptr, *forwardImageView_ = nullptr;
    MVSearchFieldView* searchFieldView_ = nullptr;
    MVToolBarItemView* searchTypeButton_ = nullptr;
    QLabel* searchTypeLabel_ = nullptr;
    QWidget* middleLine_ = nullptr;
    MVSearchField* searchField_ = nullptr;
    QMenu* languageMenu_ = nullptr;
    MVToolBarItemView* items_[5] = {};
    MVToolBarItemView *avatarItem_ = nullptr, *settingsItem_ = nullptr, *rightArrowItem_ = nullptr;
    QLabel *avatarImage_ = nullptr, *settingsImage_ = nullptr;
    QMenu* minWndMenu_ = nullptr;
    QMenu* logoutMenu_ = nullptr;

    ToolBarOwner* owner_ = nullptr;
    ShellLookupPage* mainVC_ = nullptr;
    SuggestWndController* suggest_ = nullptr;
    MVToolBarItemView* currentSelectedItem_ = nullptr;
    qint64 currentSelectedTab_ = 0;
    QAction* currentLanguageSelectedItem_ = nullptr;
    bool canGoBack_ = false, canGoForward_ = false;
    bool languageButtonHidden_ = false;
};
