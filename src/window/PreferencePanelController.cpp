#include "window/PreferencePanelController.h"

#include "platform/hotkeys/HotkeyCenter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "platform/ServiceHost.h"
#include "query/StartAppControl.h"
#include "window/FrameWndController.h"
#include "window/ImageLibrary.h"
#include "window/ShellServices.h"
#include "window/ShortcutRecorder.h"

#include <QButtonGroup>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
struct RecorderKeys {
    QLatin1String code, flags;
};
const RecorderKeys kRecorderKeys[3] = {
    {HideWindowCode, HideWindowFlags},
    {ScreenTransCode, ScreenTransFlags},
    {WordStrokeCode, WordStrokeFlags},
};
// Named by the keys they map to here (Command → Ctrl, Control → Super,
// Option → Alt), as the shortcut recorder shows them.
const char* kModifierTitles[5] = {"不使用辅助按键", "Ctrl", "Super", "Alt", "Shift"};
const char* kPaneImages[3] = {"img_floatSettings_general", "img_floatSettings_word", "img_floatSettings_update"};
const char* kPaneTitles[3] = {"通用", "取词", "更新"};
}  // namespace

PreferencePanelController::PreferencePanelController(FrameWndController* owner) : owner_(owner) {
    window_ = new QWidget(nullptr, Qt::Window);
    window_->setObjectName(QStringLiteral("PreferencePanel"));
    window_->setWindowTitle(QStringLiteral("偏好设置"));
    auto* outer = new QVBoxLayout(window_);
    auto* selector = new QHBoxLayout();
    selector->addStretch();
    for (int i = 0; i < 3; ++i) {
        auto* b = new QToolButton(window_);
        b->setText(QString::fromUtf8(kPaneTitles[i]));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, i] { changeToView(i); });
        paneButtons_[i] = b;
        selector->addWidget(b);
    }
    selector->addStretch();
    outer->addLayout(selector);
    stack_ = new QStackedWidget(window_);
    outer->addWidget(stack_);

    // General.
    auto* general = new QWidget();
    auto* g = new QFormLayout(general);
    recorders_[0] = new ShortcutRecorder(general);
    g->addRow(QStringLiteral("显示主窗口："), recorders_[0]);
    autoLaunch_ = new QCheckBox(QStringLiteral("开机时自动启动"), general);
    autoMinimize_ = new QCheckBox(QStringLiteral("启动后最小化"), general);
    g->addRow(autoLaunch_);
    g->addRow(autoMinimize_);
    auto* site = new QPushButton(QStringLiteral("访问官方网站"), general);
    site->setFlat(true);
    g->addRow(site);
    connect(autoLaunch_, &QCheckBox::toggled, this, [this](bool on) { autostart(on); });
    connect(autoMinimize_, &QCheckBox::toggled, this,
            [](bool on) { UserDefaults::standard().setValue(MinimizedAfterStart, on); });
    connect(site, &QPushButton::clicked, this, [this] { gotoOfficialSite(); });
    stack_->addWidget(general);

    // Word capture.
    auto* word = new QWidget();
    auto* w = new QFormLayout(word);
    screenTrans_ = new QCheckBox(QStringLiteral("开启取词"), word);
    wordStroke_ = new QCheckBox(QStringLiteral("开启划词"), word);
    w->addRow(screenTrans_);
    w->addRow(wordStroke_);
    recorders_[1] = new ShortcutRecorder(word);
    recorders_[2] = new ShortcutRecorder(word);
    w->addRow(QStringLiteral("取词开关："), recorders_[1]);
    w->addRow(QStringLiteral("划词开关："), recorders_[2]);
    recorderHint_ = new QLabel(word);
    recorderHint_->setStyleSheet(QStringLiteral("color:#bd4140;"));
    w->addRow(recorderHint_);
    modifierGroup_ = new QButtonGroup(this);
    auto* modBox = new QVBoxLayout();
    for (int i = 0; i < 5; ++i) {
        auto* r = new QRadioButton(QString::fromUtf8(kModifierTitles[i]), word);
        modifierGroup_->addButton(r, i);
        modBox->addWidget(r);
    }
    w->addRow(QStringLiteral("取词辅助键："), modBox);
    roads_ = new QLabel(word);
    roads_->setWordWrap(true);
    w->addRow(QStringLiteral("取词方式："), roads_);
    shortcutNote_ = new QLabel(word);
    shortcutNote_->setWordWrap(true);
    shortcutNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    w->addRow(shortcutNote_);
    HotkeyCenter::shared().watchStanding(this, [this] { loadSessionFacts(); });
    auto* chrome = new QPushButton(QStringLiteral("Chrome 插件帮助"), word);
    auto* firefox = new QPushButton(QStringLiteral("Firefox 插件帮助"), word);
    w->addRow(chrome);
    w->addRow(firefox);
    connect(screenTrans_, &QCheckBox::clicked, this, [this](bool on) {
        UserDefaults::standard().setValue(ScreenTrans, on);
        if (on && owner_) owner_->showWordStrokeNoiceAlert();
    });
    connect(wordStroke_, &QCheckBox::clicked, this, [this](bool on) {
        UserDefaults::standard().setValue(WordStroke, on);
        if (on && owner_) owner_->showWordStrokeNoiceAlert();
    });
    connect(modifierGroup_, &QButtonGroup::idClicked, this, [this](int id) { changeModifier(id); });
    connect(chrome, &QPushButton::clicked, this, [this] { installChromePlugin(); });
    connect(firefox, &QPushButton::clicked, this, [this] { installFirefoxPlugin(); });
    stack_->addWidget(word);

    // Update.
    auto* update = new QWidget();
    auto* u = new QVBoxLayout(update);
    updateButton_ = new QToolButton(update);
    updateButton_->setText(QStringLiteral("检查更新"));
    u->addWidget(updateButton_, 0, Qt::AlignCenter);
    connect(updateButton_, &QToolButton::clicked, this, [this] { updateClick(); });
    stack_->addWidget(update);

    for (int i = 0; i < 3; ++i)
        connect(recorders_[i], &ShortcutRecorder::keyComboDidChange, this,
                [this, i](int code, quint64 flags) { keyComboDidChange(i, code, flags); });
    connect(&UserDefaults::standard(), &UserDefaults::changed, this, [this](const QString& key) {
        if (key == ScreenTrans) screenTrans_->setChecked(UserDefaults::standard().boolValue(ScreenTrans));
        if (key == WordStroke) wordStroke_->setChecked(UserDefaults::standard().boolValue(WordStroke));
    });
    loadValues();
    changeToView(0);
}

PreferencePanelController::~PreferencePanelController() { delete window_; }

void PreferencePanelController::loadValues() {
    auto& d = UserDefaults::standard();
    for (int i = 0; i < 3; ++i)
        recorders_[i]->setKeyCombo(int(d.integerValue(kRecorderKeys[i].code)),
                                   quint64(d.integerValue(kRecorderKeys[i].flags)));
    const qint64 mod = d.integerValue(ScreenTransModifier);
    if (auto* b = modifierGroup_->button(int(mod >= 0 && mod <= 4 ? mod : 0))) b->setChecked(true);
    const QSignalBlocker b1(autoLaunch_), b2(autoMinimize_);
    autoLaunch_->setChecked(d.boolValue(MVPreferenceAutoLaunch));
    autoMinimize_->setChecked(d.boolValue(MinimizedAfterStart));
    screenTrans_->setChecked(d.boolValue(ScreenTrans));
    wordStroke_->setChecked(d.boolValue(WordStroke));
    loadSessionFacts();
}

void PreferencePanelController::loadSessionFacts() {
    CaptureServices& capture = ShellServices::capture();
    roads_->setText(capture.captureRoads().join(u'\n'));
    // Hover needs the pointer's place over other windows, which a Wayland
    // session does not give.
    screenTrans_->setEnabled(capture.hasHover());
    screenTrans_->setToolTip(capture.hasHover() ? QString() : QStringLiteral("此会话不提供全局指针位置，无法悬停取词"));
    QString note;
    const QString bindYourself = QStringLiteral(
        "可在系统设置中添加自定义快捷键，命令为：\n"
        "gdbus call --session --dest com.mirvok.Dict --object-path / --method com.mirvok.Dict.MiniWindow");
    const HotkeyCenter& keys = HotkeyCenter::shared();
    switch (keys.standing()) {
    case HotkeyCenter::Standing::Direct:
        break;
    case HotkeyCenter::Standing::Bound:
        note = QStringLiteral("全局快捷键由桌面管理，可在系统设置中更改：%1").arg(keys.boundTriggers().join(QStringLiteral("、")));
        break;
    case HotkeyCenter::Standing::Asking:
        note = QStringLiteral("正在向桌面申请全局快捷键……");
        break;
    case HotkeyCenter::Standing::Refused:
        note = QStringLiteral("桌面拒绝了全局快捷键。") + bindYourself;
        break;
    case HotkeyCenter::Standing::Unavailable:
        note = QStringLiteral("桌面没有提供全局快捷键服务。") + bindYourself;
        break;
    case HotkeyCenter::Standing::None:
        note = QStringLiteral("此会话无法注册全局快捷键。") + bindYourself;
        break;
    }
    shortcutNote_->setText(note);
    shortcutNote_->setVisible(!note.isEmpty());
}

QRect PreferencePanelController::fitOnScreen(const QRect& frame, const QRect& available) {
    QRect r = frame;
    if (r.right() > available.right()) r.moveRight(available.right());
    if (r.bottom() > available.bottom()) r.moveBottom(available.bottom());
    if (r.left() < available.left()) r.moveLeft(available.left());
    if (r.top() < available.top()) r.moveTop(available.top());
    return r;
}

namespace {
// The window's frame (title bar and borders included) for a content rectangle.
QMargins frameMargins(const QWidget* w) {
    const QRect f = w->frameGeometry(), g = w->geometry();
    return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}
}  // namespace

void PreferencePanelController::showWindow() {
    loadValues();
    if (!window_->isVisible()) {
        // Centred on the screen the main window is on, and fully on it.
        const QWidget* main = owner_ ? owner_->window() : nullptr;
        const QScreen* screen = main && main->screen() ? main->screen() : QGuiApplication::primaryScreen();
        window_->adjustSize();
        if (screen) {
            const QRect avail = screen->availableGeometry();
            QRect frame(QPoint(), window_->size().grownBy(frameMargins(window_)));
            frame.moveCenter(avail.center());
            frame = fitOnScreen(frame, avail);
            window_->move(frame.topLeft());
        }
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

int PreferencePanelController::currentPane() const { return stack_->currentIndex(); }

void PreferencePanelController::changeToView(int pane) {
    if (pane < 0 || pane > 2) return;
    for (int i = 0; i < 3; ++i) {
        const QString name = QString::fromLatin1(kPaneImages[i]) +
                             (i == pane ? QStringLiteral("_pressed") : QStringLiteral("_normal"));
        paneButtons_[i]->setIcon(ImageLibrary::icon(name));
    }
    if (stack_->currentIndex() == pane && window_->property("paneShown").toBool()) return;
    window_->setProperty("paneShown", true);
    // A switch still running ends at once: never two at a time.
    if (animation_) {
        // Jumping to the end finishes (and deletes) it; stop whatever is left.
        animation_->setCurrentTime(animation_->totalDuration());
        if (animation_) animation_->stop();
    }
    stack_->setCurrentIndex(pane);
    for (int i = 0; i < stack_->count(); ++i)
        stack_->widget(i)->setSizePolicy(i == pane ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                         i == pane ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    const QRect from = window_->geometry();
    // The layout learns of the new pane only when it is activated; sized
    // before that, the window would grow later, past the screen's edge.
    stack_->updateGeometry();
    if (window_->layout()) window_->layout()->activate();
    window_->adjustSize();
    if (!window_->isVisible()) return;
    // The window fits the new pane with its top edge where it was, fading the pane in.
    QRect to(from.topLeft(), window_->size());
    if (const QScreen* screen = window_->screen()) {
        // Fitted with its title bar and borders, so the whole window ends on the screen.
        const QMargins margins = frameMargins(window_);
        to = fitOnScreen(to.marginsAdded(margins), screen->availableGeometry()).marginsRemoved(margins);
    }
    window_->setGeometry(from);
    auto* group = new QParallelAnimationGroup(this);
    auto* move = new QPropertyAnimation(window_, "geometry", group);
    move->setDuration(200);
    move->setStartValue(from);
    move->setEndValue(to);
    auto* effect = new QGraphicsOpacityEffect(stack_->currentWidget());
    stack_->currentWidget()->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", group);
    fade->setDuration(200);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    QPointer<QWidget> shownPane = stack_->currentWidget();
    connect(group, &QAbstractAnimation::finished, this, [this, shownPane] {
        if (shownPane) shownPane->setGraphicsEffect(nullptr);
        animation_ = nullptr;
    });
    animation_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

std::function<void()> PreferencePanelController::actionForRecorder(int recorder) const {
    FrameWndController* o = owner_;
    switch (recorder) {
    case 0: return [o] { if (o) o->hotkeyAction(); };
    case 1: return [o] { if (o) o->triggerScreenTrans(); };
    case 2: return [o] { if (o) o->triggerWordStroke(); };
    default: return {};
    }
}

void PreferencePanelController::keyComboDidChange(int recorder, int keyCode, quint64 flags) {
    if (recorder < 0 || recorder > 2) return;
    auto& d = UserDefaults::standard();
    auto& hk = HotkeyCenter::shared();
    const RecorderKeys& keys = kRecorderKeys[recorder];
    const int oldCode = int(d.integerValue(keys.code));
    const quint64 oldFlags = quint64(d.integerValue(keys.flags));
    const bool oldUsable = oldCode != 0 && oldCode != -1 && oldFlags != 0;
    hk.unregisterHotKey(oldCode, oldFlags);
    recorderHint_->clear();
    if (keyCode == -1) {  // cleared: no hotkey at all
        d.setValue(keys.code, -1);
        d.setValue(keys.flags, 0);
        return;
    }
    // A combination without modifiers would never be registered at start.
    const bool ok = flags != 0 && hk.registerHotKey(keyCode, flags, actionForRecorder(recorder));
    if (ok) {
        d.setValue(keys.code, keyCode);
        d.setValue(keys.flags, qint64(flags));
        return;
    }
    // Refused: the previous combination stays stored, registered and shown.
    if (oldUsable) hk.registerHotKey(oldCode, oldFlags, actionForRecorder(recorder));
    recorders_[recorder]->setKeyCombo(oldCode, oldFlags);
    recorderHint_->setText(QStringLiteral("该快捷键无法使用，已恢复原快捷键"));
}

void PreferencePanelController::changeModifier(int index) {
    if (index < 0 || index > 4) return;
    UserDefaults::standard().setValue(ScreenTransModifier, index);
}

void PreferencePanelController::autostart(bool on) {
    UserDefaults::standard().setValue(MVPreferenceAutoLaunch, on);
    StartAppControl::setStartAtLogin(QCoreApplication::applicationFilePath(), on);
}

void PreferencePanelController::updateClick() {
    NotificationCenter::defaultCenter().post(Update, this);
}

void PreferencePanelController::openHelpIn(const QStringList& browsers, const QString& logValue,
                                           const QString& missingText) {
    ShellServices::logEvent(QStringLiteral("action"), logValue);
    QString found;
    for (const QString& b : browsers) {
        found = QStandardPaths::findExecutable(b);
        if (!found.isEmpty()) break;
    }
    if (found.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("提示"), missingText,
                                    QMessageBox::Ok, window_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->show();
        return;
    }
    QProcess::startDetached(found, {webSiteBaseUrl() + QStringLiteral("/5.0/help/tesvarin5beta/faq/30.html")});
}

void PreferencePanelController::installChromePlugin() {
    openHelpIn({QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable"),
                QStringLiteral("chromium"), QStringLiteral("chromium-browser")},
               QStringLiteral("settings_chrome"), QStringLiteral("请确认您的电脑上已安装谷歌浏览器"));
}

void PreferencePanelController::installFirefoxPlugin() {
    openHelpIn({QStringLiteral("firefox"), QStringLiteral("firefox-esr")}, QStringLiteral("settings_firefox"),
               QStringLiteral("请确认您的电脑上已安装火狐浏览器"));
}

void PreferencePanelController::gotoOfficialSite() {
    QDesktopServices::openUrl(QUrl(webSiteBaseUrl() + QStringLiteral("/index-mac.html")));
}
