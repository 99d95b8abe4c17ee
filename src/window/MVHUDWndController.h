#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QLabel;
class QWidget;
class MVHUDView;

// A short message centred over the main window that fades in, stays 0.3 s
// and fades out over 0.5 s, then hides. Timer-driven (the interface never
// waits); a new message restarts the sequence and replaces the pending one.
class MVHUDWndController : public QObject {
    Q_OBJECT
public:
    static constexpr int kHoldMs = 300;
    static constexpr int kFadeOutMs = 500;

    // Opacity of the window `elapsedMs` after a message with a fade-in of
    // `fadeInMs`; negative once the sequence is over (the window hides).
    static qreal opacityAt(qint64 elapsedMs, qint64 fadeInMs);

    static MVHUDWndController& sharedInstance();
    MVHUDWndController();
    ~MVHUDWndController() override;

    void showHUDWithMessage(const QString& message, double durationSeconds);
    void positionWindowInMainAppWindow();

    QWidget* window() const { return window_; }
    QLabel* messageLabel() const { return label_; }
    bool isRunning() const { return ticker_.isActive(); }

    // Tests drive the sequence with their own clock and call tick().
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { clock_ = std::move(clock); }
    void tick();

private:
    QWidget* window_ = nullptr;
    MVHUDView* noLayeredView_ = nullptr;
    QLabel* label_ = nullptr;
    QTimer ticker_;
    Clock clock_;
    qint64 start_ = 0;
    qint64 fadeInMs_ = 0;
};
