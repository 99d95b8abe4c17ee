#include "window/FrameWndController.h"

#include "platform/BundleInfo.h"
#include "platform/ColorScheme.h"
#include "platform/NativeWindowGround.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DeviceHelper.h"
#include "query/DictSettings.h"
#include "query/HistoryRecordingFlags.h"
#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "platform/TimingMark.h"
#include "wordbook/MVWordBookSync.h"
#include "window/FrameSplitViewController.h"
#include "window/ImageLibrary.h"
#include "window/MVAlertWndController.h"
#include "window/MVSearchField.h"
#include "window/PreferencePanelController.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/SideBarViewController.h"
#include "window/SuggestWndController.h"
#include "window/UpdateCheck.h"
#include "window/WindowLog.h"
#include "window/views/MVTableView.h"
#include "window/views/SmallViews.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>

// Construction, start-up and quitting. Tabs and typing, hotkeys, and window
// behaviour with the bottom bar live in the FrameWndController*.cpp beside it.

namespace {
FrameWndController* g_shared = nullptr;

constexpr int kLaunchEndAfterHomePageMs = 100;
constexpr int kLaunchEndAtTheLatestMs = 1500;

QString percent(const QString& v) { return QString::fromLatin1(QUrl::toPercentEncoding(v)); }

// A plain application-modal message box that never blocks the event loop.
void showInfoAlert(const QString& title, const QString& text,
                   const QList<QPair<QString, std::function<void()>>>& buttons) {
    auto* box = new QMessageBox(QMessageBox::Information, title, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box->addButton(buttons[i].first, i == 0 ? QMessageBox::AcceptRole
                                                                 : QMessageBox::RejectRole);
        auto action = buttons[i].second;
        QObject::connect(b, &QPushButton::clicked, box, [action] {
            if (action) action();
        });
        if (i == 0) box->setDefaultButton(b);
        if (i == buttons.size() - 1) box->setEscapeButton(b);
    }
    box->show();
}
}  // namespace

void FrameWndController::postCloseSuggest() {
    NotificationCenter::defaultCenter().post(MVCloseSuggestWndNotificatioin);
}

FrameWndController* FrameWndController::shared() { return g_shared; }

FrameWndController::FrameWndController(PageFactory factory, bool pagesLater) {
    g_shared = this;
    // The system version is reported; no version of this platform is turned away.
    ShellServices::logEvent(QStringLiteral("Mac_OSX_Version"),
                            QStringLiteral("10.%1").arg(osMinorVersion()));
    window_ = new MVWindow();
    toolBar_ = &MVToolBarController::sharedInstance();
    split_ = &FrameSplitViewController::sharedInstance();
    suggest_ = &SuggestWndController::sharedInstance();
    update_ = std::make_unique<UpdateCheck>();
    pageFactory_ = std::move(factory);
    if (!pagesLater) makePages();
    preferences_ = std::make_unique<PreferencePanelController>(this);

    auto& center = NotificationCenter::defaultCenter();
    // The preferences' update button asks for a manual check.
    center.addObserver(Update, this, [this](const Notification&) { checkUpdate(false); });
    connect(&UserDefaults::standard(), &UserDefaults::changed, this, [this](const QString& key) {
        if (key == ScreenTrans || key == WordStroke || key == UserIdDefaultsKey) defaultsChanged();
    });

    UpdateCheck::Ui ui;
    ui.offerUpdate = [](const QString& des, std::function<void()> go, std::function<void()> ignore) {
        showInfoAlert(QStringLiteral("检测到新版本"), des,
                      {{QStringLiteral("前往更新"), go}, {QStringLiteral("暂不更新"), ignore}});
    };
    ui.upToDate = [] {
        showInfoAlert(QStringLiteral("提示"), QStringLiteral("您已经是最新版本了"),
                      {{QStringLiteral("确定"), {}}});
    };
    ui.operationInfoChanged = [this] {
        if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->updateOperationInfo();
    };
    ui.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    update_->setUi(std::move(ui));
}

FrameWndController::~FrameWndController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (g_shared == this) g_shared = nullptr;
    if (toolBar_) {
        toolBar_->setOwner(nullptr);
        toolBar_->setMainVC(nullptr);
        if (toolBar_->view()->parentWidget() == window_) toolBar_->view()->setParent(nullptr);
    }
    if (split_ && split_->view()->parentWidget() == window_) split_->view()->setParent(nullptr);
    for (QWidget* v : pageViews_)
        if (v) v->setParent(nullptr);
    MVTableView::setTypingHandler({});
    delete window_;
}

PreferencePanelController& FrameWndController::preferencePanelController() { return *preferences_; }

void FrameWndController::makePages() {
    if (!pageFactory_) return;
    pages_ = pageFactory_(this);
    pageFactory_ = nullptr;
    if (pages_.lookup) pageViews_[0] = pages_.lookup->view();
    if (pages_.translation) pageViews_[1] = pages_.translation->view();
}

void FrameWndController::awakeFromNib() {
    awakeChrome();
    attachPages();
    startServices();
}

void FrameWndController::awakeChrome() {
    window_->setMinimumSize(306, 300);
    window_->resize(720, 560);
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, mirvokRed());
    window_->setPalette(pal);
    window_->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The split view fills the area between toolbar and bottom bar.
    // White, or the pages' dark ground in the dark scheme.
    split_->view()->setAutoFillBackground(true);
    auto paintSplit = [this] {
        QPalette ground = split_->view()->palette();
        ground.setColor(QPalette::Window, ColorScheme::shared().pick(QColor(Qt::white), QColor(0x1e, 0x1e, 0x20)));
        split_->view()->setPalette(ground);
    };
    paintSplit();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, paintSplit);
    split_->hideSideBar();
    split_->setCurrentTabProvider([this] { return toolBar_->currentSelectedTab(); });
    // Section rows scroll the entry shown in the lookup page.
    split_->sideBarController().setScriptRunner([this](const QString& script) {
        if (m_viewTag_ != 0 || !pages_.lookup) return false;
        pages_.lookup->evaluateScript(script);
        return true;
    });

    ShellServices::wordBook().setHistoryRecording(true, true);
    lastLabel_ = QStringLiteral("ChaciItem");
    setUpToolBar();
    layout->addWidget(toolBar_->view());
    layout->addWidget(split_->view(), 1);
    setUpBottomBar();
    layout->addWidget(bottomView_);
    // Typing goes to the search field from the first frame on.
    searchFieldBecomeFirstResponder();

    connect(window_, &MVWindow::keyPressed, this, [this](QKeyEvent* e) { keyDown(e->key(), e->text(), e->modifiers()); });
    connect(window_, &MVWindow::becameMain, this, [this] { windowDidBecomeMain(); });
    connect(window_, &MVWindow::resignedMain, this, [this] { windowDidResignMain(); });
    connect(window_, &MVWindow::moved, this, [] { postCloseSuggest(); });
    connect(window_, &MVWindow::miniaturized, this, [] { postCloseSuggest(); });
    connect(window_, &MVWindow::resized, this, [this] { windowResized(); });
    addZoomShortcuts();
    auto* quit = new QShortcut(QKeySequence::Quit, window_);
    connect(quit, &QShortcut::activated, this, [this] { requestQuit(); });
    // The platform's preferences key has no binding on most Linux desktops;
    // one key bound twice would be ambiguous and fire neither.
    QList<QKeySequence> prefKeys = QKeySequence::keyBindings(QKeySequence::Preferences);
    if (!prefKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Comma))) prefKeys << QKeySequence(Qt::CTRL | Qt::Key_Comma);
    for (const QKeySequence& key : prefKeys) {
        auto* prefs = new QShortcut(key, window_);
        connect(prefs, &QShortcut::activated, this, [this] { showPreferencePanel(); });
    }
    MVTableView::setTypingHandler([this](const QString& text) {
        toolBar_->searchField()->setText(text);
        searchFieldBecomeFirstResponder();
    });
    // Focus leaving the search field closes the suggestions.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now != toolBar_->searchField() && now->window() == window_) postCloseSuggest();
    });
}

void FrameWndController::attachPages() {
    makePages();
    for (QWidget* v : pageViews_) {
        if (!v) continue;
        v->setParent(split_->mainContentView());
        v->setGeometry(split_->mainContentView()->rect());
        v->lower();
    }
    changeViewController(m_viewTag_);
    if (m_viewTag_ == 0 && pages_.lookup) {
        toolBar_->setMainVC(pages_.lookup);
        searchFieldBecomeFirstResponder();
        // Text typed while the pages were still coming is looked up as typed.
        if (!toolBar_->searchField()->text().isEmpty())
            toolBar_->controlTextDidChange(toolBar_->searchField()->text());
    }
}

void FrameWndController::startServices() {
    registerHotKey();
    ShellServices::capture().startScreenTrans();
    ShellServices::capture().startWordStroke();
    ShellServices::capture().installChromePlugin();
    ShellServices::capture().installFirefoxPlugin();
    ShellServices::capture().startServer();
    checkUpdate(true);
    std::fprintf(stdout, "Mirvok %s started\n", qPrintable(BundleInfo::shortVersion()));
    std::fflush(stdout);
}

void FrameWndController::setUpToolBar() {
    toolBar_->view()->setAutoFillBackground(true);
    QPalette pal = toolBar_->view()->palette();
    pal.setColor(QPalette::Window, mirvokRed());
    toolBar_->view()->setPalette(pal);
    toolBar_->setOwner(this);
    toolBar_->setSuggestWindow(suggest_);
    suggest_->setAnchors(toolBar_->view(), toolBar_->searchFieldView(), toolBar_->searchField());
    connect(toolBar_->searchField(), &MVSearchField::pasteRequested, this, [this] { pasteToInput(); });
}

QString FrameWndController::surveyUrl(const QString& version, const QString& userId) {
    return webSiteBaseUrl() + QStringLiteral("/nps.html?keyfrom=vorlane.main&version=%1&id=%2&abTest=2")
                                  .arg(percent(version), percent(userId));
}

QString FrameWndController::wordBookSyncUrl(const QString& base, const QString& macId,
                                            const QString& model, const QString& serial,
                                            const QString& systemVersion) {
    return MVWordBookSync::serviceAddress(base, macId, model, serial, systemVersion);
}

// ------------------------------------------------------------ start-up, 2

void FrameWndController::applicationDidFinishLaunching() {
    auto& d = UserDefaults::standard();
    d.registerDefaults({{QString(NSApplicationCrashOnExceptions), true}});
    ShellServices::kitHost().startWithCrashKit();
    logUserToKitHost();

    auto& settings = DictSettings::sharedInstance();
    settings.loadSettings();
    // Lookups enter the query history from the start; the word book screen
    // narrows this while the user browses its history.
    HistoryRecordingFlags::sharedInstance().applicationStarted();
    initWordBook();
    checkFullScreenWindow();
    if (d.boolValue(MinimizedAfterStart)) window_->hide();
    doAutoLogin();
    ShellServices::capture().registerServiceProvider();
    qCDebug(lcWindow, "registered service!");

    const QString stored = d.stringValue(MVAPPVersionKey);
    const QString current = appShortVersion();
    d.setValue(MVShowWordStrokeAlertKey, d.contains(MVAPPVersionKey) && stored == current);
    d.setValue(MVAPPVersionKey, current);
    launched_ = true;
    emit launchFinished();
}

void FrameWndController::launchAfterFirstFrame(std::function<void()> beforeFinish) {
    auto finish = [this, beforeFinish = std::move(beforeFinish)] {
        MIRVOK_MARK("first frame out");
        attachPages();
        startServices();
        MIRVOK_MARK("pages and services up");
        // The launch's end (kit host, word book, login, tray and D-Bus
        // service: a tenth of a second or more) waits for the home page to
        // be drawn: the web engine loads pages on this thread too. A page
        // that does not load holds it back a moment only.
        auto done = std::make_shared<bool>(false);
        auto end = [this, done, beforeFinish] {
            if (*done) return;
            *done = true;
            NotificationCenter::defaultCenter().removeObserver(this, MVDidFinishLoadFirstWebViewNotification);
            if (beforeFinish) beforeFinish();
            applicationDidFinishLaunching();
            MIRVOK_MARK("launch finished");
        };
        NotificationCenter::defaultCenter().addObserver(MVDidFinishLoadFirstWebViewNotification, this,
                                                        [this, end](const Notification&) {
            // Time for the page's first drawing after its load.
            QTimer::singleShot(kLaunchEndAfterHomePageMs, this, end);
        });
        QTimer::singleShot(kLaunchEndAtTheLatestMs, this, end);
    };
    if (UserDefaults::standard().boolValue(MinimizedAfterStart)) {
        QTimer::singleShot(0, this, finish);
        return;
    }
    connect(window_, &MVWindow::firstPainted, this, finish, Qt::SingleShotConnection);
    // Until the first frame the server shows the pages' ground, not black.
    setNativeWindowGround(window_, split_->view()->palette().color(QPalette::Window));
    window_->show();
}

void FrameWndController::initWordBook() {
    const QString url = wordBookSyncUrl(serviceBaseUrl(), DeviceHelper::macID(), DeviceHelper::model(),
                                        DeviceHelper::serialNumber(), DeviceHelper::systemVersion());
    ShellServices::wordBook().configure(QStringLiteral("wordbook.db"), url);
}

void FrameWndController::doAutoLogin() {
    auto& d = UserDefaults::standard();
    if (d.integerValue(loginSuccessType) == 2 && !d.boolValue(autoLogin)) return;
    ShellServices::account().autoLogin();
}

void FrameWndController::logUserToKitHost() {
    auto& settings = DictSettings::sharedInstance();
    settings.loadSettings();
    ShellServices::kitHost().setUserIdentifier(machineId());
    ShellServices::kitHost().setUserEmail(settings.authUserId());
    ShellServices::kitHost().setUserName(settings.authUserName());
}

// ------------------------------------------------------------------- quit

bool FrameWndController::applicationShouldTerminate() {
    if (!ShellServices::wordBook().isSyncing() && !ShellServices::wordBook().hasPendingWrites()) {
        shouldTeminatedApp_ = true;
        return true;
    }
    auto& alert = MVAlertWndController::sharedInstance();
    alert.setCloseButtonHidden(true);
    alert.setShowLeftButton(false);
    alert.changeLeftButtonTitle(QStringLiteral("取消"));
    alert.setLeftButtonAction([this, &alert] {
        shouldTeminatedApp_ = false;
        alert.hideWindow();
    });
    alert.setShowRightButton(false);
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setRightButtonAction([this, &alert] {
        shouldTeminatedApp_ = true;
        alert.hideWindow();
        window_->setQuitting(true);
        emit quitConfirmed();
    });
    alert.setMessage(QStringLiteral("您当前正在同步单词本数据，现在退出可能会造成同步失败。"));
    alert.setTitle(QStringLiteral("确定退出米沃词典？"));
    alert.showWindow();
    shouldTeminatedApp_ = false;
    return false;
}

void FrameWndController::requestQuit() {
    if (!applicationShouldTerminate()) return;
    window_->setQuitting(true);
    emit quitConfirmed();
}

void FrameWndController::checkUpdate(bool automatic) { update_->checkUpdate(automatic); }

bool FrameWndController::eventFilter(QObject* watched, QEvent* event) {
    return QObject::eventFilter(watched, event);
}
