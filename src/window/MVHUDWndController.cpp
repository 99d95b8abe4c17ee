#include "window/MVHUDWndController.h"

#include "window/views/SmallViews.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

qreal MVHUDWndController::opacityAt(qint64 t, qint64 fadeIn) {
    if (t < 0) return 0;
    if (t < fadeIn) return static_cast<qreal>(t) / static_cast<qreal>(fadeIn);
    t -= fadeIn;
    if (t < kHoldMs) return 1.0;
    t -= kHoldMs;
    if (t < kFadeOutMs) return 1.0 - static_cast<qreal>(t) / kFadeOutMs;
    return -1;
}

MVHUDWndController& MVHUDWndController::sharedInstance() {
    static MVHUDWndController* hud = new MVHUDWndController();
    return *hud;
}

MVHUDWndController::MVHUDWndController() {
    clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
    window_ = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                       Qt::WindowDoesNotAcceptFocus);
    window_->setObjectName(QStringLiteral("HUDWindow"));
    window_->setAttribute(Qt::WA_TranslucentBackground);
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->resize(220, 64);
    auto* outer = new QVBoxLayout(window_);
    outer->setContentsMargins(0, 0, 0, 0);
    noLayeredView_ = new MVHUDView(window_);
    outer->addWidget(noLayeredView_);
    auto* inner = new QVBoxLayout(noLayeredView_);
    label_ = new QLabel(noLayeredView_);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setStyleSheet(QStringLiteral("color:white;font-size:14px;"));
    inner->addWidget(label_);
    ticker_.setInterval(16);
    connect(&ticker_, &QTimer::timeout, this, &MVHUDWndController::tick);
}

MVHUDWndController::~MVHUDWndController() { delete window_; }

void MVHUDWndController::positionWindowInMainAppWindow() {
    QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("MainWindow")) main = w;
    QRect m = main ? main->frameGeometry()
                   : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                       : QRect());
    const QSize h = window_->size();
    window_->move(m.x() + (m.width() - h.width()) / 2, m.y() + (m.height() - h.height()) / 2);
}

void MVHUDWndController::showHUDWithMessage(const QString& message, double durationSeconds) {
    positionWindowInMainAppWindow();
    label_->setText(message);
    fadeInMs_ = qMax<qint64>(0, static_cast<qint64>(durationSeconds * 1000));
    start_ = clock_();
    window_->setWindowOpacity(fadeInMs_ == 0 ? 1.0 : 0.0);
    window_->show();
    window_->raise();
    ticker_.start();
}

void MVHUDWndController::tick() {
    const qreal o = opacityAt(clock_() - start_, fadeInMs_);
    if (o < 0) {
        ticker_.stop();
        window_->setWindowOpacity(0);
        window_->hide();
        return;
    }
    window_->setWindowOpacity(o);
}
