#include "window/MVAlertWndController.h"

#include "platform/ColorScheme.h"
#include "window/views/SmallViews.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

MVAlertWndController& MVAlertWndController::sharedInstance() {
    static MVAlertWndController* alert =
        new MVAlertWndController(QStringLiteral(" "), QString(), false, {}, false, {});
    return *alert;
}

MVAlertWndController::MVAlertWndController(const QString& message, const QString& title,
                                           bool hideLeftButton, Action leftAction,
                                           bool hideRightButton, Action rightAction)
    : leftAction_(std::move(leftAction)), rightAction_(std::move(rightAction)) {
    window_ = new QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowCloseButtonHint);
    window_->setObjectName(QStringLiteral("MVAlertWindow"));
    // Application-modal while shown (show(), never exec(): no nested loop).
    // setModal() would reset this to window modality or none.
    window_->setWindowModality(Qt::ApplicationModal);
    window_->setFixedWidth(360);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(24, 20, 24, 16);
    messageLabel_ = new QLabel(message, window_);
    messageLabel_->setWordWrap(true);
    layout->addWidget(messageLabel_);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    left_ = new QPushButton(QStringLiteral("取消"), window_);
    right_ = new QPushButton(QStringLiteral("确定"), window_);
    left_->setAutoDefault(false);
    right_->setAutoDefault(false);
    // The plain button takes the scheme's field colours; the red one is the brand's.
    auto recolor = [this] {
        left_->setStyleSheet(ColorScheme::shared().pick(
            QStringLiteral("QPushButton{background:white;color:black;border:1px solid #ccc;"
                           "border-radius:3px;padding:4px 16px;}"),
            QStringLiteral("QPushButton{background:#2b2b2d;color:#e6e6e6;border:1px solid #4a4a4c;"
                           "border-radius:3px;padding:4px 16px;}")));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    right_->setStyleSheet(QStringLiteral(
        "QPushButton{background:%1;color:white;border:none;border-radius:3px;padding:5px 16px;}")
                              .arg(mirvokRed().name()));
    buttons->addWidget(left_);
    buttons->addWidget(right_);
    layout->addLayout(buttons);
    setShowLeftButton(hideLeftButton);
    setShowRightButton(hideRightButton);
    setTitle(title);
    QObject::connect(left_, &QPushButton::clicked, this, [this] { leftButtonAction(); });
    QObject::connect(right_, &QPushButton::clicked, this, [this] { rightButtonAction(); });
    window_->installEventFilter(this);
    setWindowPosition();
}

MVAlertWndController::~MVAlertWndController() { delete window_; }

void MVAlertWndController::setShowLeftButton(bool hide) { left_->setHidden(hide); }
void MVAlertWndController::setShowRightButton(bool hide) { right_->setHidden(hide); }
void MVAlertWndController::setMessage(const QString& m) { messageLabel_->setText(m); }
// An untitled window would show the program's Latin name in the title bar.
void MVAlertWndController::setTitle(const QString& t) {
    window_->setWindowTitle(t.isEmpty() ? QStringLiteral("米沃词典") : t);
}

void MVAlertWndController::setCloseButtonHidden(bool hidden) {
    window_->setWindowFlag(Qt::WindowCloseButtonHint, !hidden);
}

QPoint MVAlertWndController::centredOrigin(const QRect& m, const QSize& a) {
    return QPoint(m.x() + (m.width() - a.width()) / 2, m.y() + (m.height() - a.height()) / 2);
}

void MVAlertWndController::setWindowPosition() {
    QWidget* main = QApplication::activeWindow();
    if (!main || main == window_) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("MainWindow")) main = w;
    }
    // Kept above the window it speaks for, so it never falls behind it.
    if (main && main != window_ && main->windowHandle()) {
        window_->winId();
        if (window_->windowHandle()) window_->windowHandle()->setTransientParent(main->windowHandle());
    }
    window_->adjustSize();
    QRect frame;
    if (main && main != window_)
        frame = main->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        frame = s->availableGeometry();
    if (!frame.isNull()) window_->move(centredOrigin(frame, window_->size()));
}

void MVAlertWndController::showWindow() {
    setWindowPosition();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MVAlertWndController::hideWindow() { window_->hide(); }

void MVAlertWndController::leftButtonAction() {
    if (leftAction_) leftAction_();
}

void MVAlertWndController::rightButtonAction() {
    if (rightAction_) rightAction_();
}

bool MVAlertWndController::handleKey(int qtKey) {
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) {
        rightButtonAction();
        return true;
    }
    return false;
}

bool MVAlertWndController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        handleKey(ke->key());
        // Escape and every other key do nothing: only the buttons answer.
        return true;
    }
    if (watched == window_ && event->type() == QEvent::Close) {
        // The close button (when shown) just hides; no answer is given.
        event->ignore();
        hideWindow();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
