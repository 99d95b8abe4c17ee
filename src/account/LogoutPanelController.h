#pragma once

#include <QObject>

class QLabel;
class QPushButton;
class QWidget;
class FrameWndController;

// A small panel for the signed-in user: the user name and a logout button,
// hung below the toolbar at the main window's right edge. It closes itself
// when it loses focus.
class LogoutPanelController : public QObject {
    Q_OBJECT
public:
    static LogoutPanelController& sharedInstance();
    LogoutPanelController();
    ~LogoutPanelController() override;

    QWidget* window() const { return window_; }
    QLabel* currentUserNameLabel() const { return nameLabel_; }
    QPushButton* logoutButton() const { return logoutButton_; }

    // Shown only for the main window controller; any other sender does nothing.
    void showWindow(FrameWndController* sender);
    // A last synchronisation when words are waiting, then logout.
    void logoutButtonAction();
    void closeWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QPushButton* logoutButton_ = nullptr;
};
