#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <functional>

class MVClickableView;
class QVariantAnimation;

// Turns the word book's sync button while a synchronisation runs: half a
// turn per second in five steps, repeating, about a point just below the
// image's centre. A stop lets the current one-second cycle finish so the
// button always rests upright; a start during that wait cancels the stop.
// start and stop may be called from any thread; the work runs on the main
// thread in call order.
class WBAnimationManager : public QObject {
    Q_OBJECT
public:
    explicit WBAnimationManager(QObject* parent = nullptr);
    ~WBAnimationManager() override;

    void setSyncBtn(MVClickableView* button, const QString& imageName);
    void startSyncAnimation();
    void stopSyncAnimation();

    // The clock the cycle time is read from, in milliseconds (tests).
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    bool isAnimating() const;
    double currentAngle() const { return angle_; }
    bool hasPendingStop() const { return stopTimer_.isActive(); }
    // The wait the last stop chose before ending the turn.
    qint64 lastStopDelayMs() const { return lastStopDelay_; }

    // The image turned by `degrees` about (0.5, 0.53) of its own size.
    static QPixmap rotated(const QPixmap& source, double degrees);

private:
    void doStart();
    void doStop();
    void removeAnimation();
    void render(double degrees);
    qint64 now() const;

    QPointer<MVClickableView> syncBtn_;
    QString imageName_;
    QVariantAnimation* animation_ = nullptr;
    QTimer stopTimer_;
    std::function<qint64()> clock_;
    qint64 animationTime_ = 0;
    qint64 lastStopDelay_ = -1;
    double angle_ = 0;
};
