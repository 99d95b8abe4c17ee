#include "wordbook-ui/WBAnimationManager.h"

#include "window/ImageLibrary.h"
#include "window/views/MVClickableView.h"

#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>
#include <cmath>

WBAnimationManager::WBAnimationManager(QObject* parent) : QObject(parent)
{
    stopTimer_.setSingleShot(true);
    connect(&stopTimer_, &QTimer::timeout, this, &WBAnimationManager::removeAnimation);
}

WBAnimationManager::~WBAnimationManager() = default;

void WBAnimationManager::setSyncBtn(MVClickableView* button, const QString& imageName)
{
    syncBtn_ = button;
    imageName_ = imageName;
}

qint64 WBAnimationManager::now() const
{
    return clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
}

void WBAnimationManager::startSyncAnimation()
{
    QMetaObject::invokeMethod(this, &WBAnimationManager::doStart, Qt::QueuedConnection);
}

void WBAnimationManager::stopSyncAnimation()
{
    QMetaObject::invokeMethod(this, &WBAnimationManager::doStop, Qt::QueuedConnection);
}

bool WBAnimationManager::isAnimating() const
{
    return animation_ && animation_->state() == QAbstractAnimation::Running;
}

void WBAnimationManager::doStart()
{
    // A synchronisation that starts while the previous one's turn is being
    // finished keeps the button turning.
    stopTimer_.stop();
    if (!animation_) {
        animation_ = new QVariantAnimation(this);
        animation_->setDuration(1000);
        animation_->setLoopCount(-1);
        connect(animation_, &QVariantAnimation::valueChanged, this,
                [this](const QVariant& v) { render(v.toDouble()); });
    }
    animation_->stop();
    // Five key values, a quarter of the cycle apart, as the layer animation had.
    for (int i = 0; i <= 4; ++i)
        animation_->setKeyValueAt(i / 4.0, double(float(i) * 0.7853982f) * 180.0 / M_PI);
    animationTime_ = now();
    animation_->start();
}

void WBAnimationManager::doStop()
{
    const qint64 elapsed = now() - animationTime_;
    lastStopDelay_ = 1000 - (elapsed % 1000 + 1000) % 1000;
    stopTimer_.start(int(lastStopDelay_));
}

void WBAnimationManager::removeAnimation()
{
    if (animation_)
        animation_->stop();
    render(0);
}

void WBAnimationManager::render(double degrees)
{
    angle_ = degrees;
    if (!syncBtn_ || !syncBtn_->imageView())
        return;
    QLabel* view = syncBtn_->imageView();
    const QPixmap base = ImageLibrary::pixmap(imageName_, view->size(), view->devicePixelRatioF());
    view->setPixmap(degrees == 0 ? base : rotated(base, degrees));
}

QPixmap WBAnimationManager::rotated(const QPixmap& source, double degrees)
{
    if (source.isNull())
        return source;
    QPixmap out(source.size());
    out.setDevicePixelRatio(source.devicePixelRatio());
    out.fill(Qt::transparent);
    const QSizeF logical = QSizeF(source.size()) / source.devicePixelRatio();
    const QPointF pivot(logical.width() * 0.5, logical.height() * 0.53);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(pivot);
    p.rotate(degrees);
    p.translate(-pivot);
    p.drawPixmap(QPointF(0, 0), source);
    return out;
}
