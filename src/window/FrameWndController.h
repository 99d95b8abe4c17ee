#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "window/MVToolBarController.h"
#include "window/MVWindow.h"
#include "window/views/MVToolBarItemView.h"

class FrameSplitViewController;
class HyperlinkTextField;
class MVAlertWndController;
class MVCustomView;
class PreferencePanelController;
class ShellLookupPage;
class ShellTranslationPage;
class SuggestWndController;
class UpdateCheck;
class QLabel;

// The spine of the application: brings the system up in a fixed order, owns
// the two pages, switches tabs, takes typing, registers the global hotkeys,
// runs the update check and guards quitting while the word book synchronises.
// Its definitions are split by duty: FrameWndController.cpp (start-up, quit),
// FrameWndControllerTabs.cpp, FrameWndControllerHotkeys.cpp and
// FrameWndControllerWindow.cpp (window behaviour, bottom bar).
class FrameWndController : public QObject,
                           public ToolBarOwner,
                           public MVToolBarItemViewDelegate {
    Q_OBJECT
public:
    struct Pages {
        ShellLookupPage* lookup = nullptr;
        ShellTranslationPage* translation = nullptr;
    };
    using PageFactory = std::function<Pages(FrameWndController*)>;

    // Hotkey defaults: first-use values once, zoom and mini-search every start.
    static void initializeDefaults();

    // With `pagesLater` the factory runs in attachPages(), so the window can
    // be on the screen before the web engine starts for the pages.
    explicit FrameWndController(PageFactory factory, bool pagesLater = false);
    ~FrameWndController() override;
    static FrameWndController* shared();
    // Hands the machine id and the signed-in user to the crash reporter
    // (start-up and after every login).
    static void logUserToKitHost();

    // The start-up steps after construction, in order. awakeFromNib() is
    // the first three together; a start that shows the window early runs
    // them apart: the window's chrome, shown; then, after its first frame,
    // the pages (a placeholder of their ground colour until then) and the
    // services (hotkeys, desktop capture, the browser bridge, update check).
    void awakeFromNib();
    void awakeChrome();
    void attachPages();
    void startServices();
    void applicationDidFinishLaunching();
    // After awakeChrome(): shows the window (unless the user starts it
    // hidden) and, once its first frame is out, runs the remaining steps,
    // `beforeFinish` just before applicationDidFinishLaunching().
    void launchAfterFirstFrame(std::function<void()> beforeFinish);
    bool hasFinishedLaunching() const { return launched_; }

    MVWindow* window() const { return window_; }
    ShellLookupPage* lookupPage() const { return pages_.lookup; }
    ShellTranslationPage* translationPage() const { return pages_.translation; }
    int viewTag() const { return m_viewTag_; }
    // 0 lookup page, 1 translation page.
    int currentViewController() const { return m_viewTag_; }
    QString lastLabel() const { return lastLabel_; }
    MVToolBarController& toolBarController() const { return *toolBar_; }
    UpdateCheck& updateCheck() const { return *update_; }
    PreferencePanelController& preferencePanelController();
    MVToolBarItemView* getWordView() const { return getWordView_; }
    MVToolBarItemView* strokeWordView() const { return strokeWordView_; }
    HyperlinkTextField* feedBackTextField() const { return feedBackTextField_; }
    HyperlinkTextField* scoreTextField() const { return scoreTextField_; }
    HyperlinkTextField* noteTextField() const { return noteTextField_; }

    // Hotkeys: registerHotKey() makes the ones the preferences define
    // global; zoom stays a shortcut of the main window.
    void registerHotKey();
    void hotkeyAction();
    void triggerScreenTrans();
    void triggerWordStroke();
    void zoomOutWebView();
    void zoomInWebView();
    void changeMiniSearchWindow();

    // Tabs and input (ToolBarOwner).
    void changeViewController(int index);
    void searchFieldBecomeFirstResponder();
    void chaciClick(const QString& text) override;
    void lijuClick() override;
    void fanyiClick() override;
    void baikeClick() override;
    void wordBookClick() override;
    void jumpToTab(int tab, const QString& text) override;
    void showUserInfoPanel() override;
    void showPreferencePanel() override;
    bool isShowingWordBookView() const override { return isShowingWordBookView_; }
    bool isShowingFanyiView() const override { return isShowingFanyiView_; }
    void setBottomLinksVisible(bool visible) override;
    void hideSideBarShowSections() override;
    static bool legalCharToQuery(QChar c);
    // Unmodified or Shift-modified printable keys type into the search
    // field; Alt, Ctrl and Super combinations are left to shortcuts.
    void keyDown(int qtKey, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void pasteToInput();
    void setInputEditable(bool editable);

    // Window behaviour.
    void windowDidBecomeMain();
    void windowDidResignMain();
    void windowResized();
    void checkFullScreenWindow();
    bool haveFullScreenApp() const { return haveFullScreenApp_; }
    void defaultsChanged();

    // Bottom bar.
    void didClickOnItemView(MVToolBarItemView* item) override;
    void showWordStrokeNoiceAlert();
    static QString surveyUrl(const QString& version, const QString& userId);
    static QString wordBookSyncUrl(const QString& base, const QString& macId, const QString& model,
                                   const QString& serial, const QString& systemVersion);

    // Quitting: true when the application may quit now; otherwise the
    // confirmation shows and quits on "确定".
    bool applicationShouldTerminate();
    void requestQuit();
    bool shouldTeminatedApp() const { return shouldTeminatedApp_; }

    void showWindow();
    void checkUpdate(bool automatic);

signals:
    void quitConfirmed();
    // applicationDidFinishLaunching() has run: the services are up.
    void launchFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makePages();
    void setUpToolBar();
    void setUpBottomBar();
    QString leaveTranslationPage(bool hideAndFocus);
    void doAutoLogin();
    void initWordBook();
    void updateToggle(MVToolBarItemView* item, const QString& key);
    void addZoomShortcuts();
    static void postCloseSuggest();

    MVWindow* window_ = nullptr;
    PageFactory pageFactory_;
    Pages pages_;
    QWidget* pageViews_[2] = {};
    int m_viewTag_ = 0;
    bool isShowingWordBookView_ = false;
    bool isShowingFanyiView_ = false;
    QString lastLabel_;
    MVToolBarController* toolBar_ = nullptr;
    FrameSplitViewController* split_ = nullptr;
    SuggestWndController* suggest_ = nullptr;
    std::unique_ptr<UpdateCheck> update_;
    std::unique_ptr<PreferencePanelController> preferences_;
    MVCustomView* bottomView_ = nullptr;
    MVToolBarItemView* getWordView_ = nullptr;
    MVToolBarItemView* strokeWordView_ = nullptr;
    HyperlinkTextField* scoreTextField_ = nullptr;
    HyperlinkTextField* feedBackTextField_ = nullptr;
    HyperlinkTextField* noteTextField_ = nullptr;
    QWidget* separators_[2] = {};
    bool haveFullScreenApp_ = false;
    QList<QRect> fullScreenFrames_;
    bool shouldTeminatedApp_ = false;
    bool launched_ = false;
};
