#include "account/LogoutPanelController.h"

#include "account/MVAuthServer.h"
#include "platform/ColorScheme.h"
#include "query/DictSettings.h"
#include "window/FrameWndController.h"
#include "window/ImageLibrary.h"
#include "window/MVToolBarController.h"
#include "wordbook/MVWordBook.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

LogoutPanelController& LogoutPanelController::sharedInstance() {
    static LogoutPanelController* panel = new LogoutPanelController();
    return *panel;
}

LogoutPanelController::LogoutPanelController() {
    window_ = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window_->setObjectName(QStringLiteral("LogoutPanel"));
    auto recolor = [this] {
        window_->setStyleSheet(ColorScheme::shared().pick(
            QStringLiteral("#LogoutPanel{background:white;border:1px solid rgba(0,0,0,20);}"),
            QStringLiteral("#LogoutPanel{background:#2b2b2d;border:1px solid rgba(255,255,255,38);}")));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    window_->setAttribute(Qt::WA_StyledBackground);
    window_->setFixedSize(180, 88);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(12, 10, 12, 10);
    nameLabel_ = new QLabel(window_);
    layout->addWidget(nameLabel_);
    logoutButton_ = new QPushButton(QStringLiteral("退出登录"), window_);
    layout->addWidget(logoutButton_);
    connect(logoutButton_, &QPushButton::clicked, this, [this] { logoutButtonAction(); });
    window_->installEventFilter(this);
}

LogoutPanelController::~LogoutPanelController() { delete window_; }

void LogoutPanelController::showWindow(FrameWndController* sender) {
    if (!sender || sender != FrameWndController::shared() || !sender->window()) return;
    // Top-right corner two points inside the main window's right edge, under the toolbar.
    const QRect w = sender->window()->geometry();
    const int x = w.x() + w.width() - window_->width() - 2;
    const int y = w.y() + MVToolBarController::kHeight;
    nameLabel_->setText(DictSettings::sharedInstance().authUserName());
    window_->move(x, y);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void LogoutPanelController::logoutButtonAction() {
    auto& wb = MVWordBook::sharedInstance();
    // The logout waits for this synchronisation (MVAuthServer::logout).
    if (wb.hasUnsyncWords()) wb.startSyncWithDelegate(nullptr, false);
    MVAuthServer::sharedInstance().logout();
    if (QLabel* avatar = MVToolBarController::sharedInstance().avatarImage())
        avatar->setPixmap(ImageLibrary::pixmap(QStringLiteral("img_default_avatar_icon"), avatar->size()));
    closeWindow();
}

void LogoutPanelController::closeWindow() { window_->hide(); }

bool LogoutPanelController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::WindowDeactivate) closeWindow();
    return false;
}
