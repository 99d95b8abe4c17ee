#include "account/LoginPanelController.h"

#include "account/AccountCrypto.h"
#include "account/MVAuthServer.h"
#include "account/MVOAuthLoginController.h"
#include "platform/ColorScheme.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/FrameWndController.h"
#include "window/ImageLibrary.h"
#include "window/views/HyperlinkTextField.h"

#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QColor kAccent(240, 55, 68);
const QColor kInactive(196, 196, 196);
constexpr int kRowHeight = 31;
constexpr int kHintShift = 20;
// y of the check box row without and with the hint line.
constexpr int kCheckY = 252;
// The panel and its boxes: white in the light scheme, the dark window's tones in the dark one.
QString panelBackground() { return ColorScheme::shared().pick(QStringLiteral("white"), QStringLiteral("#1e1e20")); }
QString boxStyle() {
    return ColorScheme::shared().pick(
        QStringLiteral("border:1px solid rgba(0,0,0,20);border-radius:4px;background:white;"),
        QStringLiteral("border:1px solid rgba(255,255,255,38);border-radius:4px;background:#2b2b2d;"));
}

QString buttonStyle(const QColor& c) {
    return QStringLiteral("QPushButton{color:white;border:none;border-radius:20px;background:%1;font-size:15px;}")
        .arg(c.name());
}
}  // namespace

LoginPanelController& LoginPanelController::sharedInstance() {
    static LoginPanelController* panel = new LoginPanelController();
    return *panel;
}

LoginPanelController::LoginPanelController() { setUpUI(); }

LoginPanelController::~LoginPanelController() { delete window_; }

QStringList LoginPanelController::suggestAccountSuffix() {
    QStringList out;
    for (const QString& d : EmailFilter::domains()) out << u'@' + d;
    return out;
}

void LoginPanelController::setUpUI() {
    window_ = new QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowCloseButtonHint);
    window_->setObjectName(QStringLiteral("LoginPanel"));
    window_->setWindowTitle(QStringLiteral("登录"));
    window_->setFixedSize(300, 420);
    window_->setAutoFillBackground(true);

    logoImageView_ = new QLabel(window_);
    logoImageView_->setPixmap(ImageLibrary::pixmap(QStringLiteral("img_login_logo"), QSize(56, 56)));
    logoImageView_->setGeometry(122, 24, 56, 56);
    loginLabel_ = new QLabel(QStringLiteral("登录"), window_);
    loginLabel_->setAlignment(Qt::AlignCenter);
    loginLabel_->setStyleSheet(QStringLiteral("font-size:18px;"));
    loginLabel_->setGeometry(0, 88, 300, 26);
    syncLabel_ = new QLabel(QStringLiteral("登录后单词本可在多台设备间同步"), window_);
    syncLabel_->setAlignment(Qt::AlignCenter);
    syncLabel_->setStyleSheet(QStringLiteral("color:rgb(153,153,153);"));
    syncLabel_->setGeometry(0, 116, 300, 20);

    // Login types.
    loginTypeTable_ = new QListWidget(window_);
    loginTypeTable_->setObjectName(QStringLiteral("loginTypeTable"));
    loginTypeTable_->setIconSize(QSize(24, 24));
    loginTypeTable_->setMouseTracking(true);
    // Rows light up under the pointer only, not when the panel gets focus.
    loginTypeTable_->setFocusPolicy(Qt::NoFocus);
    const QStringList types{QStringLiteral("QQ账号登录"), QStringLiteral("新浪微博登录"), QStringLiteral("凯摩邮箱登录")};
    const QStringList icons{QStringLiteral("img_login_qq_icon"), QStringLiteral("img_login_sina_icon"),
                            QStringLiteral("img_login_ketra_icon")};
    for (int i = 0; i < types.size(); ++i)
        loginTypeTable_->addItem(new QListWidgetItem(ImageLibrary::icon(icons[i]), types[i]));
    loginTypeTable_->setGeometry(39, 160, 222, 136);
    connect(loginTypeTable_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { changeToInputTableWithLoginType(loginTypeTable_->row(item)); });
    loginTypeTable_->viewport()->installEventFilter(this);
    connect(loginTypeTable_, &QListWidget::itemEntered, this,
            [this](QListWidgetItem* item) { loginTypeTable_->setCurrentItem(item); });

    // Input rows: name, password with the forgotten-password link.
    inputTable_ = new QWidget(window_);
    inputTable_->setObjectName(QStringLiteral("inputTable"));
    inputTable_->setAttribute(Qt::WA_StyledBackground);
    inputTable_->setGeometry(39, 150, 222, 80);
    usernameField_ = new QLineEdit(inputTable_);
    usernameField_->setPlaceholderText(QStringLiteral("邮箱账号"));
    usernameField_->setFrame(false);
    usernameField_->setGeometry(10, 4, 202, 32);
    passwordField_ = new QLineEdit(inputTable_);
    passwordField_->setEchoMode(QLineEdit::Password);
    passwordField_->setPlaceholderText(QStringLiteral("密码"));
    passwordField_->setFrame(false);
    passwordField_->setGeometry(10, 44, 140, 32);
    forgetPasswordLabel_ = new HyperlinkTextField(inputTable_);
    forgetPasswordLabel_->setLinkText(QStringLiteral("忘记密码?"),
                                      QUrl(QStringLiteral("https://reg.mail.kemo.example/unlock/")),
                                      QColor(182, 182, 182));
    forgetPasswordLabel_->setGeometry(152, 44, 64, 32);
    for (QLineEdit* f : {usernameField_, passwordField_}) f->installEventFilter(this);
    connect(usernameField_, &QLineEdit::textEdited, this, [this] {
        hideHintLabel();
        controlTextDidChange();
    });
    connect(passwordField_, &QLineEdit::textEdited, this, [this] { hideHintLabel(); });

    // Check box, other-type button, hint, login button, register link.
    autoLoginButton_ = new MVToolBarItemView(window_);
    autoLoginButton_->setGeometry(39, kCheckY, 16, 16);
    autoLoginButton_->setIsSeleted(UserDefaults::standard().boolValue(autoLogin));
    auto* checkImage = new QLabel(autoLoginButton_);
    checkImage->setGeometry(0, 0, 16, 16);
    autoLoginButton_->setImageView(checkImage);
    autoLoginButton_->changeImageViewWithName(autoLoginButton_->isSeleted()
                                                  ? QStringLiteral("img_check_button_selected_icon")
                                                  : QStringLiteral("img_check_button_unselected_icon"),
                                              0);
    autoLoginButton_->setMvToolBarItemViewDelegate(this);
    autoLoginLabel_ = new QLabel(QStringLiteral("自动登录"), window_);
    autoLoginLabel_->setGeometry(60, kCheckY - 2, 80, 20);
    otherLoginTypeButton_ = new QPushButton(QStringLiteral("其他登录方式"), window_);
    otherLoginTypeButton_->setFlat(true);
    otherLoginTypeButton_->setStyleSheet(QStringLiteral("QPushButton{border:none;color:rgb(102,102,102);}"));
    otherLoginTypeButton_->setGeometry(171, kCheckY - 4, 90, 24);
    connect(otherLoginTypeButton_, &QPushButton::clicked, this, [this] { otherLoginTypeAction(); });

    hintLabel_ = new QLabel(window_);
    hintLabel_->setStyleSheet(QStringLiteral("color:%1;").arg(kAccent.name()));
    hintLabel_->setGeometry(44, kCheckY - 10, 220, 20);
    hintLabel_->hide();

    loginButton_ = new QPushButton(QStringLiteral("登录"), window_);
    loginButton_->setGeometry(39, 306, 222, 40);
    connect(loginButton_, &QPushButton::clicked, this, [this] { loginAction(); });

    registerLinkLabel_ = new HyperlinkTextField(window_);
    registerLinkLabel_->setLinkText(QStringLiteral("注册凯摩邮箱"), QUrl(QStringLiteral("https://reg.mail.kemo.example/")),
                                    kAccent);
    registerLinkLabel_->setAlignment(Qt::AlignCenter);
    registerLinkLabel_->setGeometry(0, 380, 300, 20);

    // The completion list: a borderless child window that never takes focus.
    overlayWindow_ = new QWidget(window_, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    overlayWindow_->setAttribute(Qt::WA_ShowWithoutActivating);
    auto* overlayLayout = new QVBoxLayout(overlayWindow_);
    overlayLayout->setContentsMargins(0, 0, 0, 0);
    suggestAccountTable_ = new QListWidget(overlayWindow_);
    suggestAccountTable_->setObjectName(QStringLiteral("suggestAccountTable"));
    suggestAccountTable_->setFocusPolicy(Qt::NoFocus);
    suggestAccountTable_->setMouseTracking(true);
    suggestAccountTable_->viewport()->installEventFilter(this);
    overlayLayout->addWidget(suggestAccountTable_);
    connect(suggestAccountTable_, &QListWidget::itemEntered, this,
            [this](QListWidgetItem* item) { suggestAccountTable_->setCurrentItem(item); });
    connect(suggestAccountTable_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        usernameField_->setText(item->text());
        passwordField_->setFocus();
        hideSuggestAccountTable();
    });

    auto recolor = [this] {
        window_->setStyleSheet(QStringLiteral("#LoginPanel{background:%1;}").arg(panelBackground()));
        QPalette pal = window_->palette();
        pal.setColor(QPalette::Window, QColor(panelBackground()));
        window_->setPalette(pal);
        loginTypeTable_->setStyleSheet(QStringLiteral("QListWidget{") + boxStyle() +
                                       QStringLiteral("} QListWidget::item{height:44px;}"));
        inputTable_->setStyleSheet(QStringLiteral("#inputTable{") + boxStyle() + u'}');
        suggestAccountTable_->setStyleSheet(QStringLiteral("QListWidget{") + boxStyle() +
                                            QStringLiteral("} QListWidget::item{height:31px;}"));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    otherLoginTypeAction();
}

void LoginPanelController::setWindowPosition() {
    FrameWndController* frame = FrameWndController::shared();
    if (!frame || !frame->window()) return;
    const QRect main = frame->window()->frameGeometry();
    window_->move(main.x() + (main.width() - window_->width()) / 2, main.y() + (main.height() - window_->height()) / 2);
}

void LoginPanelController::showWindow() {
    otherLoginTypeAction();
    setWindowPosition();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void LoginPanelController::otherLoginTypeAction() {
    changeLoginButtonColor(false);
    showInputPage(false);
    usernameField_->clear();
    passwordField_->clear();
    hideSuggestAccountTable();
    loginButton_->hide();
    hideHintLabel();
    showLoginTypeTable(true);
}

void LoginPanelController::showLoginTypeTable(bool show) {
    loginTypeTable_->setVisible(show);
    loginTypeTable_->setCurrentRow(-1);
    if (!show) loginButton_->show();
}

void LoginPanelController::showInputPage(bool show) {
    inputTable_->setVisible(show);
    autoLoginButton_->setVisible(show);
    autoLoginLabel_->setVisible(show);
    otherLoginTypeButton_->setVisible(show);
}

void LoginPanelController::changeToInputTableWithLoginType(int row) {
    if (row == 0 || row == 1) {
        showOAuthLoginWindowWithType(row);
    } else if (row == 2) {
        showLoginTypeTable(false);
        showInputPage(true);
        usernameField_->setFocus();
    } else {
        qDebug("error");
    }
}

void LoginPanelController::showOAuthLoginWindowWithType(int type) {
    auto& web = MVOAuthLoginController::sharedInstance();
    web.setLoginType(type);
    web.showWindow();
}

void LoginPanelController::didClickOnItemView(MVToolBarItemView* item) {
    if (item != autoLoginButton_) return;
    const bool on = !item->isSeleted();
    item->setIsSeleted(on);
    item->changeImageViewWithName(on ? QStringLiteral("img_check_button_selected_icon")
                                     : QStringLiteral("img_check_button_unselected_icon"),
                                  0.3);
    UserDefaults::standard().setValue(autoLogin, on);
}

// ----------------------------------------------------------------- login

QString LoginPanelController::username() const { return usernameField_->text(); }
QString LoginPanelController::password() const { return passwordField_->text(); }

void LoginPanelController::loginAction() {
    if (!loginButton_->isEnabled()) return;
    qDebug("account: login button");
    hideSuggestAccountTable();
    loginButton_->setEnabled(false);
    MVAuthServer::sharedInstance().loginWithUsername(usernameField_->text(), passwordField_->text(),
                                                     [this](const AccountError& error) {
        loginButton_->setEnabled(true);
        if (error) loginFailed(error);
        else loginSuccess();
    });
}

void LoginPanelController::loginSuccess() {
    passwordField_->clear();
    changeHintLabelWithString(QStringLiteral("登录成功"));
    showHintLabel();
    window_->hide();
}

QString LoginPanelController::hintForError(const AccountError& error) {
    const QString& d = error.localizedDescription;
    if (d == QLatin1String("LOGIN_STATE_PASSWORD_ERROR")) return QStringLiteral("密码错误");
    if (d == QLatin1String("LOGIN_STATE_USERNAME_ERROR")) return QStringLiteral("用户不存在");
    if (d == QLatin1String("LOGIN_STATE_ACCOUNT_LOCKED")) return QStringLiteral("账户被锁定");
    if (d == QLatin1String("LOGIN_STATE_MORE_TIMES_ERROR")) return QStringLiteral("登录错误超过6次");
    if (d == QLatin1String("LOGIN_STATE_SERVER_ERROR")) return QStringLiteral("服务器错误");
    return QStringLiteral("登录失败");
}

void LoginPanelController::loginFailed(const AccountError& error) {
    changeHintLabelWithString(hintForError(error));
    showHintLabel();
}

// ------------------------------------------------------------------ hint

void LoginPanelController::changeHintLabelWithString(const QString& text) { hintLabel_->setText(text); }

void LoginPanelController::showHintLabel() {
    if (hintShown_) return;
    hintShown_ = true;
    hintLabel_->show();
    autoLoginButton_->move(autoLoginButton_->x(), autoLoginButton_->y() + kHintShift);
    autoLoginLabel_->move(autoLoginLabel_->x(), autoLoginLabel_->y() + kHintShift);
    otherLoginTypeButton_->move(otherLoginTypeButton_->x(), otherLoginTypeButton_->y() + kHintShift);
}

void LoginPanelController::hideHintLabel() {
    if (!hintShown_) return;
    hintShown_ = false;
    hintLabel_->hide();
    autoLoginButton_->move(autoLoginButton_->x(), autoLoginButton_->y() - kHintShift);
    autoLoginLabel_->move(autoLoginLabel_->x(), autoLoginLabel_->y() - kHintShift);
    otherLoginTypeButton_->move(otherLoginTypeButton_->x(), otherLoginTypeButton_->y() - kHintShift);
}

void LoginPanelController::changeLoginButtonColor(bool active) {
    loginButton_->setStyleSheet(buttonStyle(active ? kAccent : kInactive));
}

// ------------------------------------------------------------ completion

void LoginPanelController::controlTextDidChange() {
    const QString text = usernameField_->text();
    if (text.isEmpty()) {
        hideSuggestAccountTable();
        return;
    }
    changeLoginButtonColor(true);
    updateSuggestAccountsWithUserName(text);
    if (suggestAccounts_.isEmpty()) hideSuggestAccountTable();
    else showSuggestAccountTable();
}

void LoginPanelController::updateSuggestAccountsWithUserName(const QString& text) {
    suggestAccounts_.clear();
    QString name = text, filter = QStringLiteral("@");
    if (const int at = text.indexOf(u'@'); at >= 0) {
        name = text.left(at);
        filter += text.mid(at + 1).section(u'@', 0, 0);
    }
    for (const QString& suffix : suggestAccountSuffix())
        if (suffix.startsWith(filter)) suggestAccounts_ << name + suffix;
}

void LoginPanelController::showSuggestAccountTable() {
    suggestAccountTable_->clear();
    suggestAccountTable_->addItems(suggestAccounts_);
    // Just below the name field, as wide as the input table, one row each.
    const QPoint origin = inputTable_->mapToGlobal(QPoint(0, usernameField_->geometry().bottom() + 4));
    overlayWindow_->setGeometry(origin.x(), origin.y(), inputTable_->width(),
                                kRowHeight * int(suggestAccounts_.size()) + 2);
    if (!suggestAccounts_.isEmpty()) suggestAccountTable_->setCurrentRow(0);
    overlayWindow_->show();
    overlayWindow_->raise();
    isShowingSuggestAccounts_ = true;
}

void LoginPanelController::hideSuggestAccountTable() {
    overlayWindow_->hide();
    isShowingSuggestAccounts_ = false;
}

bool LoginPanelController::doCommand(QLineEdit* field, int key) {
    const bool ret = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (isShowingSuggestAccounts_) {
        const int row = suggestAccountTable_->currentRow();
        const bool selected = row >= 0 && suggestAccountTable_->currentItem() &&
                              suggestAccountTable_->currentItem()->isSelected();
        if (ret) {
            // No row under the pointer: the first completion stands in.
            if (!suggestAccounts_.isEmpty())
                usernameField_->setText(selected ? suggestAccounts_.value(row) : suggestAccounts_.first());
            passwordField_->setFocus();
            hideSuggestAccountTable();
            return true;
        }
        if (key == Qt::Key_Down) {
            if (selected && row < suggestAccounts_.size() - 1) suggestAccountTable_->setCurrentRow(row + 1);
            return true;
        }
        if (key == Qt::Key_Up) {
            if (selected && row > 0) suggestAccountTable_->setCurrentRow(row - 1);
            return true;
        }
        return false;
    }
    if (!ret) return false;
    if (field == usernameField_) passwordField_->setFocus();
    else loginAction();
    return true;
}

bool LoginPanelController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Leave) {
        if (watched == suggestAccountTable_->viewport()) suggestAccountTable_->clearSelection();
        if (watched == loginTypeTable_->viewport()) loginTypeTable_->setCurrentRow(-1);
        return false;
    }
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field) return false;
    if (event->type() == QEvent::KeyPress) return doCommand(field, static_cast<QKeyEvent*>(event)->key());
    return false;
}
