#include "window/FrameWndController.h"

#include "platform/AccessibilityTrust.h"
#include "platform/BundleInfo.h"
#include "platform/FullScreenDetector.h"
#include "platform/GlobalHotkeyCenter.h"
#include "platform/KeyCodeTable.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DeviceHelper.h"
#include "query/DictSettings.h"
#include "query/HistoryRecordingFlags.h"
#include "query/RequestData.h"
#include "query/ServiceHost.h"
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
#include "window/views/HyperlinkTextField.h"
#include "window/views/MVTableView.h"
#include "window/views/SmallViews.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>

namespace {
FrameWndController* g_shared = nullptr;
constexpr quint64 kCommand = KeyCodeTable::kCommandFlag;
constexpr quint64 kOption = KeyCodeTable::kOptionFlag;
const char* kTabIdentifiers[4] = {"ChaciItem", "LijuItem", "FanyiItem", "BaikeItem"};

void postCloseSuggest() { NotificationCenter::defaultCenter().post(MVCloseSuggestWndNotificatioin); }

// A stored hotkey is usable when its code is neither 0 nor -1 and its flags are set.
bool usable(qint64 code, qint64 flags) { return code != 0 && code != -1 && flags != 0; }

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

// ---------------------------------------------------------------- MVWindow

MVWindow::MVWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("米沃词典"));
}

void MVWindow::closeEvent(QCloseEvent* e) {
    // Closing never destroys the main window; it comes back on reopen.
    e->ignore();
    hide();
}

void MVWindow::keyPressEvent(QKeyEvent* e) { emit keyPressed(e); }

void MVWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            emit becameMain();
        else
            emit resignedMain();
    } else if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        emit miniaturized();
    }
    QWidget::changeEvent(e);
}

void MVWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    emit moved();
}

void MVWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    emit resized();
}

// ------------------------------------------------------ FrameWndController

void FrameWndController::initializeDefaults() {
    auto& d = UserDefaults::standard();
    if (!d.boolValue(NotFirstUse)) {
        d.setValue(HideWindowCode, 7);
        d.setValue(HideWindowFlags, 0x180000);
        d.setValue(ScreenTransCode, 100);
        d.setValue(ScreenTransFlags, 0);
        d.setValue(WordStrokeCode, 98);
        d.setValue(WordStrokeFlags, 0);
        d.setValue(NotFirstUse, true);
    }
    d.setValue(MVWebViewZoomOutKey, 27);
    d.setValue(MVWebViewZoomOutFlagsKey, 0x100000);
    d.setValue(MVWebViewZoomInKey, 24);
    d.setValue(MVWebViewZoomInFlagsKey, 0x100000);
    d.setValue(MVMiniSearchCodeKey, 6);
    d.setValue(MVMiniSearchCodeFlagsKey, 0x80000);
}

FrameWndController* FrameWndController::shared() { return g_shared; }

FrameWndController::FrameWndController(PageFactory factory) {
    g_shared = this;
    // The system version is reported; no version of this platform is turned away.
    ShellServices::logEvent(QStringLiteral("Mac_OSX_Version"),
                            QStringLiteral("10.%1").arg(osMinorVersion()));
    window_ = new MVWindow();
    toolBar_ = &MVToolBarController::sharedInstance();
    split_ = &FrameSplitViewController::sharedInstance();
    suggest_ = &SuggestWndController::sharedInstance();
    update_ = std::make_unique<UpdateCheck>();
    pages_ = factory ? factory(this) : Pages{};
    if (pages_.lookup) pageViews_[0] = pages_.lookup->view();
    if (pages_.translation) pageViews_[1] = pages_.translation->view();
    preferences_ = std::make_unique<PreferencePanelController>(this);

    auto& center = NotificationCenter::defaultCenter();
    // The preferences' update button asks for a manual check.
    center.addObserver(Update, this, [this](const Notification&) { checkUpdate(false); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            activeZoomShortCuts();
        else
            resignZoomShortCuts();
    });
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

void FrameWndController::awakeFromNib() {
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
    split_->view()->setAutoFillBackground(true);
    QPalette white = split_->view()->palette();
    white.setColor(QPalette::Window, Qt::white);
    split_->view()->setPalette(white);
    split_->hideSideBar();
    split_->setCurrentTabProvider([this] { return toolBar_->currentSelectedTab(); });
    split_->sideBarController().setScriptRunner([this](const QString&) { return m_viewTag_ == 0; });

    ShellServices::wordBook().setHistoryRecording(true, true);
    registerHotKey();
    ShellServices::capture().startScreenTrans();
    ShellServices::capture().startWordStroke();
    lastLabel_ = QStringLiteral("ChaciItem");
    setUpToolBar();
    layout->addWidget(toolBar_->view());
    layout->addWidget(split_->view(), 1);
    setUpBottomBar();
    layout->addWidget(bottomView_);

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
    }

    connect(window_, &MVWindow::keyPressed, this, [this](QKeyEvent* e) { keyDown(e->key(), e->text()); });
    connect(window_, &MVWindow::becameMain, this, [this] { windowDidBecomeMain(); });
    connect(window_, &MVWindow::resignedMain, this, [this] { windowDidResignMain(); });
    connect(window_, &MVWindow::moved, this, [] { postCloseSuggest(); });
    connect(window_, &MVWindow::miniaturized, this, [] { postCloseSuggest(); });
    connect(window_, &MVWindow::resized, this, [this] { windowResized(); });
    auto* quit = new QShortcut(QKeySequence::Quit, window_);
    connect(quit, &QShortcut::activated, this, [this] { requestQuit(); });
    auto* prefs = new QShortcut(QKeySequence::Preferences, window_);
    connect(prefs, &QShortcut::activated, this, [this] { showPreferencePanel(); });
    MVTableView::setTypingHandler([this](const QString& text) {
        toolBar_->searchField()->setText(text);
        searchFieldBecomeFirstResponder();
    });
    // Focus leaving the search field closes the suggestions.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now != toolBar_->searchField() && now->window() == window_) postCloseSuggest();
    });

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

void FrameWndController::setUpBottomBar() {
    bottomView_ = new MVCustomView(window_);
    bottomView_->setObjectName(QStringLiteral("BottomBar"));
    bottomView_->setFixedHeight(30);
    auto* row = new QHBoxLayout(bottomView_);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(6);
    auto makeToggle = [this, row](const QString& title) {
        auto* item = new MVToolBarItemView(bottomView_);
        item->setFixedSize(64, 24);
        auto* img = new QLabel(item);
        img->setGeometry(0, 4, 16, 16);
        img->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* label = new QLabel(title, item);
        label->setGeometry(20, 0, 44, 24);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        item->setImageView(img);
        item->setTitleLabel(label);
        item->setImageNomalName(QStringLiteral("img_check_button_unselected_icon"));
        item->setImagePressedName(QStringLiteral("img_check_button_selected_icon"));
        item->setMvToolBarItemViewDelegate(this);
        row->addWidget(item);
        return item;
    };
    getWordView_ = makeToggle(QStringLiteral("取词"));
    strokeWordView_ = makeToggle(QStringLiteral("划词"));
    auto& d = UserDefaults::standard();
    for (auto [item, key] : {std::pair{getWordView_, QString(ScreenTrans)},
                             std::pair{strokeWordView_, QString(WordStroke)}}) {
        const bool on = d.boolValue(key);
        item->setIsSeleted(on);
        item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0);
    }
    row->addStretch();
    auto makeLink = [this, row]() {
        auto* f = new HyperlinkTextField(bottomView_);
        row->addWidget(f);
        return f;
    };
    auto makeSeparator = [this, row]() {
        auto* s = new QWidget(bottomView_);
        s->setFixedSize(1, 12);
        s->setStyleSheet(QStringLiteral("background: rgba(0,0,0,60);"));
        row->addWidget(s);
        return s;
    };
    const QColor linkColor(0, 0, 0, 178);
    scoreTextField_ = makeLink();
    scoreTextField_->setLinkText(QStringLiteral("给米沃词典评分"),
                                 QUrl(webSiteBaseUrl() + QStringLiteral("/index-mac.html")), linkColor);
    separators_[0] = makeSeparator();
    feedBackTextField_ = makeLink();
    feedBackTextField_->setLinkText(
        QStringLiteral("满意度调查"),
        QUrl(surveyUrl(appShortVersion(), DictSettings::sharedInstance().authUserId())),
        linkColor);
    separators_[1] = makeSeparator();
    noteTextField_ = makeLink();
    noteTextField_->setLinkText(QStringLiteral("意见反馈"),
                                QUrl(webSiteBaseUrl() + QStringLiteral("/feedback.html?")), linkColor);
}

QString FrameWndController::surveyUrl(const QString& version, const QString& userId) {
    return webSiteBaseUrl() + QStringLiteral("/nps.html?keyfrom=vorlane.main&version=%1&id=%2&abTest=2")
                                  .arg(percent(version), percent(userId));
}

QString FrameWndController::wordBookSyncUrl(const QString& base, const QString& macId,
                                            const QString& model, const QString& serial,
                                            const QString& systemVersion) {
    return base + QStringLiteral("/wordbook/api?keyfrom=mac.main&id=%1&model=%2&deviceid=%3&mid=%4"
                                 "&requestNum=2000")
                      .arg(percent(macId), percent(model), percent(serial), percent(systemVersion));
}

void FrameWndController::setBottomLinksVisible(bool visible) {
    for (QWidget* w : {static_cast<QWidget*>(scoreTextField_), static_cast<QWidget*>(feedBackTextField_),
                       static_cast<QWidget*>(noteTextField_), separators_[0], separators_[1]})
        if (w) w->setVisible(visible);
}

void FrameWndController::hideSideBarShowSections() {
    split_->hideSideBar();
    split_->setCurrentSideBarType(FrameSplitViewController::SectionList);
    // Back from the word book, the result's sections return; an empty list stays hidden.
    if (!split_->sideBarController().optionTitles().isEmpty())
        split_->showSideBarWithType(FrameSplitViewController::SectionList);
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
    qInfo("registered service!");

    const QString stored = d.stringValue(MVAPPVersionKey);
    const QString current = appShortVersion();
    d.setValue(MVShowWordStrokeAlertKey, d.contains(MVAPPVersionKey) && stored == current);
    d.setValue(MVAPPVersionKey, current);
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

// ----------------------------------------------------------------- hotkeys

void FrameWndController::registerHotKey() {
    auto& d = UserDefaults::standard();
    auto& hk = HotkeyCenter::shared();
    struct Entry {
        QLatin1String code, flags;
        bool fixed;
        quint64 fixedFlags;
        std::function<void()> action;
    };
    const Entry entries[] = {
        {HideWindowCode, HideWindowFlags, false, 0, [this] { hotkeyAction(); }},
        {ScreenTransCode, ScreenTransFlags, false, 0, [this] { triggerScreenTrans(); }},
        {WordStrokeCode, WordStrokeFlags, false, 0, [this] { triggerWordStroke(); }},
        {MVWebViewZoomOutKey, MVWebViewZoomOutFlagsKey, true, kCommand, [this] { zoomOutWebView(); }},
        {MVWebViewZoomInKey, MVWebViewZoomInFlagsKey, true, kCommand, [this] { zoomInWebView(); }},
        {MVMiniSearchCodeKey, MVMiniSearchCodeFlagsKey, true, kOption, [this] { changeMiniSearchWindow(); }},
    };
    for (const Entry& e : entries) {
        const qint64 code = d.integerValue(e.code), flags = d.integerValue(e.flags);
        if (!usable(code, flags)) continue;
        const bool ok = hk.registerHotKey(int(code), e.fixed ? e.fixedFlags : quint64(flags), e.action);
        if (!ok) qWarning("hotkey %s could not be registered", e.code.data());
        if (e.code == MVWebViewZoomOutKey && ok) zoomRegistered_ = true;
    }
}

void FrameWndController::registerZoom(bool active) {
    auto& d = UserDefaults::standard();
    auto& hk = HotkeyCenter::shared();
    const std::pair<QLatin1String, QLatin1String> keys[] = {
        {MVWebViewZoomOutKey, MVWebViewZoomOutFlagsKey}, {MVWebViewZoomInKey, MVWebViewZoomInFlagsKey}};
    for (int i = 0; i < 2; ++i) {
        const qint64 code = d.integerValue(keys[i].first), flags = d.integerValue(keys[i].second);
        if (!usable(code, flags)) continue;
        if (active) {
            if (!hk.isRegistered(int(code), kCommand))
                hk.registerHotKey(int(code), kCommand, i == 0 ? std::function<void()>([this] { zoomOutWebView(); })
                                                               : std::function<void()>([this] { zoomInWebView(); }));
        } else {
            hk.unregisterHotKey(int(code), kCommand);
        }
    }
}

void FrameWndController::activeZoomShortCuts() { registerZoom(true); }
void FrameWndController::resignZoomShortCuts() { registerZoom(false); }

void FrameWndController::showWindow() {
    if (window_->isHidden()) {
        window_->show();
    }
    if (window_->windowState() & Qt::WindowMinimized) {
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->showNormal();
    }
    window_->raise();
    window_->activateWindow();
    searchFieldBecomeFirstResponder();
}

void FrameWndController::hotkeyAction() {
    if (window_->isHidden()) {
        window_->show();
        window_->raise();
        window_->activateWindow();
        searchFieldBecomeFirstResponder();
    } else if (window_->windowState() & Qt::WindowMinimized) {
        window_->showNormal();
    } else {
        window_->raise();
        window_->activateWindow();
        searchFieldBecomeFirstResponder();
    }
}

void FrameWndController::updateToggle(MVToolBarItemView* item, const QString& key) {
    auto& d = UserDefaults::standard();
    const bool on = !d.boolValue(key);
    d.setValue(key, on);
    if (!item) return;
    item->setIsSeleted(on);
    item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0.3);
}

void FrameWndController::triggerScreenTrans() { updateToggle(getWordView_, ScreenTrans); }
void FrameWndController::triggerWordStroke() { updateToggle(strokeWordView_, WordStroke); }

void FrameWndController::zoomOutWebView() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->zoomWebViewWithFactor(0.9f);
}
void FrameWndController::zoomInWebView() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->zoomWebViewWithFactor(1.1f);
}

void FrameWndController::changeMiniSearchWindow() {
    auto& capture = ShellServices::capture();
    if (capture.isShowingMiniWindow()) {
        capture.hideMiniWindow();
    } else {
        capture.showMiniWindow();
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("shortcut_mini"));
    }
}

// -------------------------------------------------------------------- tabs

void FrameWndController::changeViewController(int index) {
    for (QWidget* v : pageViews_)
        if (v) v->hide();
    if (index < 0 || index > 1 || !pageViews_[index]) return;
    m_viewTag_ = index;
    QWidget* v = pageViews_[index];
    v->setGeometry(split_->mainContentView()->rect());
    v->show();
    v->setFocus();
}

void FrameWndController::searchFieldBecomeFirstResponder() {
    if (m_viewTag_ == 1 && pages_.translation) {
        pages_.translation->focusInput();
        return;
    }
    MVSearchField* field = toolBar_->searchField();
    field->setFocus(Qt::OtherFocusReason);
    field->deselect();
    field->setCursorPosition(field->text().size());
}

QString FrameWndController::leaveTranslationPage(bool hideAndFocus) {
    if (m_viewTag_ == 1) {
        m_viewTag_ = 0;
        changeViewController(0);
        return toolBar_->searchField()->text();
    }
    const QString text = toolBar_->searchField()->text();
    if (hideAndFocus) {
        if (pages_.lookup) pages_.lookup->hideSuggestTableView();
        searchFieldBecomeFirstResponder();
    }
    return text;
}

void FrameWndController::chaciClick(const QString& typed) {
    split_->hideSideBar();
    split_->setCurrentSideBarType(FrameSplitViewController::SectionList);
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    QString text = leaveTranslationPage(true);
    // Typing that switched tabs carries its own text.
    if (!typed.isNull()) {
        text = typed;
        if (toolBar_->searchField()->text() != typed) toolBar_->searchField()->setText(typed);
    }
    if (!pages_.lookup) return;
    pages_.lookup->changeQueryController(0);
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(0);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[0]);
    pages_.lookup->doQuery(text);
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
}

void FrameWndController::lijuClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    const QString text = leaveTranslationPage(true);
    if (m_viewTag_ != 0 || !pages_.lookup) return;
    if (!pages_.lookup->mainFrameUrl().endsWith(QLatin1String("result.html"))) pages_.lookup->loadResultPage();
    pages_.lookup->changeQueryController(1);
    toolBar_->setSelectedItemViewWithTab(1);
    toolBar_->hideLanguageTypeButton(false);
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[1]);
    if (!text.isEmpty())
        pages_.lookup->doQuery(text);
    else
        pages_.lookup->loadWelcomePage();
}

void FrameWndController::fanyiClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = true;
    if (m_viewTag_ != 0) return;
    if (pages_.lookup) {
        pages_.lookup->hideSuggestTableView();
        searchFieldBecomeFirstResponder();
        pages_.lookup->reloadWebView();
    }
    m_viewTag_ = 1;
    const QString text = toolBar_->searchField()->text();
    changeViewController(1);
    if (pages_.translation) {
        pages_.translation->focusInput();
        pages_.translation->setInputText(text);
        pages_.translation->showLanguageButton();
        pages_.translation->changeQueryController(2);
    }
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(2);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[2]);
}

void FrameWndController::baikeClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    const QString text = leaveTranslationPage(true);
    if (!pages_.lookup) return;
    pages_.lookup->changeQueryController(3);
    toolBar_->hideLanguageTypeButton(true);
    toolBar_->setSelectedItemViewWithTab(3);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[3]);
    if (m_viewTag_ != 0) return;
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
    if (pages_.lookup->mainFrameUrl().endsWith(QLatin1String("result.html")))
        pages_.lookup->reloadWebView();
    else
        pages_.lookup->loadResultPage();
    if (!text.isEmpty()) pages_.lookup->doQuery(text);
    if (text == QLatin1String("main_page")) toolBar_->searchField()->setText(QString());
}

void FrameWndController::wordBookClick() {
    split_->hideSideBar();
    split_->showSideBarWithType(FrameSplitViewController::WordBookScreen);
    isShowingWordBookView_ = true;
    isShowingFanyiView_ = false;
    leaveTranslationPage(false);
    if (pages_.lookup) pages_.lookup->changeQueryController(0);
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(4);
    if (pages_.lookup) pages_.lookup->hideSuggestTableView();
    ShellServices::wordBook().showParaphaseForFirstWord();
    ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("tab_wordbook"));
}

void FrameWndController::jumpToTab(int tab, const QString& text) {
    toolBar_->setSelectedItemViewWithTab(tab);
    auto leave = [this] {
        if (m_viewTag_ == 1) {
            m_viewTag_ = 0;
            changeViewController(0);
        }
    };
    switch (tab) {
    case 0:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(0);
        toolBar_->hideLanguageTypeButton(false);
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 1:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(1);
        toolBar_->hideLanguageTypeButton(false);
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 2:
        fanyiClick();
        if (pages_.translation) {
            pages_.translation->setInputText(text);
            pages_.translation->doQuery(text);
        }
        break;
    case 3:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(3);
        toolBar_->hideLanguageTypeButton(true);
        pages_.lookup->loadWelcomePage();
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 4:
        leave();
        ShellServices::wordBook().setClickFromBackOrForwardButton(true);
        if (pages_.lookup) pages_.lookup->changeQueryController(4);
        split_->showSideBarWithType(FrameSplitViewController::WordBookScreen);
        break;
    default:
        break;
    }
}

bool FrameWndController::legalCharToQuery(QChar c) {
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

void FrameWndController::keyDown(int qtKey, const QString& characters) {
    QString printable;
    for (QChar c : characters)
        if (c.isPrint()) printable.append(c);
    if (!printable.isEmpty() && legalCharToQuery(printable.at(0))) {
        MVSearchField* field = toolBar_->searchField();
        field->setText(printable);
        searchFieldBecomeFirstResponder();
        if (pages_.lookup && !pages_.lookup->isPasted()) pages_.lookup->onSearchBoxChanged(printable);
        return;
    }
    // Navigation keys belong to the word list, and only while it shows.
    if (isShowingWordBookView_) ShellServices::wordBook().wordListKeyDown(qtKey, characters);
}

void FrameWndController::pasteToInput() {
    qInfo("paste to input");
    auto& capture = ShellServices::capture();
    if (capture.isShowingMiniWindow()) return;
    if (m_viewTag_ == 0 && pages_.lookup) {
        pages_.lookup->hideSuggestTableView();
        MVSearchField* field = toolBar_->searchField();
        const QString before = field->text();
        pages_.lookup->setIsPasted(true);
        field->paste();
        const QString after = field->text();
        if (after.isEmpty() || after == before) field->setText(capture.pasteText());
        pages_.lookup->performQuery();
        pages_.lookup->setIsPasted(false);
        return;
    }
    if (pages_.translation) pages_.translation->paste();
}

void FrameWndController::setInputEditable(bool editable) {
    if (m_viewTag_ == 0)
        toolBar_->searchField()->setReadOnly(!editable);
    else if (pages_.translation)
        pages_.translation->setInputEditable(editable);
}

void FrameWndController::showPreferencePanel() {
    preferences_->showWindow();
    ShellServices::logEvent(QStringLiteral("show"), QStringLiteral("tab_settings"));
}

void FrameWndController::showUserInfoPanel() {
    if (ShellServices::account().hasLogined()) {
        toolBar_->showLogoutMenu();
    } else {
        ShellServices::account().showLoginPanel();
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("login"));
    }
}

// -------------------------------------------------------- window behaviour

void FrameWndController::windowDidBecomeMain() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->changeMVToolBarThemeActive(true);
    postCloseSuggest();
}

void FrameWndController::windowDidResignMain() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->changeMVToolBarThemeActive(false);
    // Only a window that really is full screen steps aside; a maximised one stays.
    if (FullScreenDetector::isWindowFullScreen(window_)) window_->showMinimized();
    postCloseSuggest();
}

void FrameWndController::windowResized() {
    toolBar_->handleWindowResized();
    postCloseSuggest();
    ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("adjust"));
}

void FrameWndController::checkFullScreenWindow() {
    fullScreenFrames_ = FullScreenDetector::fullScreenWindowFrames();
    haveFullScreenApp_ = !fullScreenFrames_.isEmpty();
}

void FrameWndController::defaultsChanged() {
    auto& d = UserDefaults::standard();
    for (auto [item, key] : {std::pair{getWordView_, QString(ScreenTrans)},
                             std::pair{strokeWordView_, QString(WordStroke)}}) {
        if (!item) continue;
        const bool on = d.boolValue(key);
        if (on == item->isSeleted()) continue;
        item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0.3);
        item->setIsSeleted(on);
    }
    if (d.contains(UserIdDefaultsKey) && feedBackTextField_)
        feedBackTextField_->setLinkText(
            QStringLiteral("满意度调查"),
            QUrl(surveyUrl(appShortVersion(), d.stringValue(UserIdDefaultsKey))));
}

void FrameWndController::didClickOnItemView(MVToolBarItemView* item) {
    if (item != getWordView_ && item != strokeWordView_) return;
    if (item->isSeleted()) {
        item->changeImageViewWithName(item->imageNomalName(), 0.3);
        item->setIsSeleted(false);
    } else {
        item->changeImageViewWithName(item->imagePressedName(), 0.3);
        item->setIsSeleted(true);
    }
    const QString key = item == getWordView_ ? QString(ScreenTrans) : QString(WordStroke);
    const QString value = item == getWordView_ ? QStringLiteral("quci") : QStringLiteral("huaci");
    auto& d = UserDefaults::standard();
    if (!item->isSeleted()) {
        d.setValue(key, false);
    } else if (isAccessibilityTrusted(true)) {
        d.setValue(key, true);
        d.sync();
    } else {
        d.setValue(key, false);
        item->changeImageViewWithName(item->imageNomalName(), 0.3);
        item->setIsSeleted(false);
    }
    if (item->isSeleted()) showWordStrokeNoiceAlert();
    ShellServices::logEvent(QStringLiteral("action"), value);
}

void FrameWndController::showWordStrokeNoiceAlert() {
    auto& d = UserDefaults::standard();
    if (d.boolValue(MVShowWordStrokeAlertKey)) return;
    auto& alert = MVAlertWndController::sharedInstance();
    alert.setCloseButtonHidden(false);
    alert.setTitle(QString());
    alert.setMessage(QStringLiteral("开启取词划词功能时，使用过程中会偶尔触发系统警示音，建议您在不使用时将该功能关闭。"));
    alert.setShowLeftButton(true);
    alert.setShowRightButton(false);
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setRightButtonAction([&alert] { alert.hideWindow(); });
    alert.showWindow();
    d.setValue(MVShowWordStrokeAlertKey, true);
}

// ------------------------------------------------------------------- quit

bool FrameWndController::applicationShouldTerminate() {
    if (!ShellServices::wordBook().isSyncing()) {
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
        emit quitConfirmed();
    });
    alert.setMessage(QStringLiteral("您当前正在同步单词本数据，现在退出可能会造成同步失败。"));
    alert.setTitle(QStringLiteral("确定退出米沃词典？"));
    alert.showWindow();
    shouldTeminatedApp_ = false;
    return false;
}

void FrameWndController::requestQuit() {
    if (applicationShouldTerminate()) emit quitConfirmed();
}

void FrameWndController::checkUpdate(bool automatic) { update_->checkUpdate(automatic); }

bool FrameWndController::eventFilter(QObject* watched, QEvent* event) {
    return QObject::eventFilter(watched, event);
}
