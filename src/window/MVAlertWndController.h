#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <functional>

class QLabel;

// The application's own alert: a titled panel with a message and up to two
// buttons (left cancels, right confirms). Callers fill in the texts, pick the
// buttons and give the two actions; the alert never closes itself — the
// actions call hideWindow(). Shown application-modal without a nested loop.
class MVAlertWndController : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    static MVAlertWndController& sharedInstance();
    MVAlertWndController(const QString& message, const QString& title, bool hideLeftButton,
                         Action leftAction, bool hideRightButton, Action rightAction);
    ~MVAlertWndController() override;

    QDialog* window() const { return window_; }
    QLabel* alertMessageLabel() const { return messageLabel_; }
    QPushButton* leftButton() const { return left_; }
    QPushButton* rightButton() const { return right_; }

    void setLeftButtonAction(Action a) { leftAction_ = std::move(a); }
    void setRightButtonAction(Action a) { rightAction_ = std::move(a); }
    // true hides the button.
    void setShowLeftButton(bool hide);
    void setShowRightButton(bool hide);
    void setMessage(const QString& m);
    void setTitle(const QString& t);
    void setCloseButtonHidden(bool hidden);
    void changeLeftButtonTitle(const QString& t) { left_->setText(t); }
    void changeRightButtonTitle(const QString& t) { right_->setText(t); }

    void showWindow();
    void hideWindow();
    void leftButtonAction();
    void rightButtonAction();
    // Return and keypad Enter act as the right button, even when it is hidden.
    bool handleKey(int qtKey);

    // Centres a window of `size` over `mainFrame`.
    static QPoint centredOrigin(const QRect& mainFrame, const QSize& size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setWindowPosition();

    QDialog* window_ = nullptr;
    QLabel* messageLabel_ = nullptr;
    QPushButton* left_ = nullptr;
    QPushButton* right_ = nullptr;
    Action leftAction_, rightAction_;
};
