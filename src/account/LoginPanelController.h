#pragma once

#include "account/AccountError.h"
#include "window/views/MVToolBarItemView.h"

#include <QObject>
#include <QStringList>

class HyperlinkTextField;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

// The login panel: the three ways to sign in (QQ, Sina Weibo, own mail
// account), and for the mail account the name and password fields with
// mail-address completion, the auto-login check box and a hint line.
// One per process; main thread only.
class LoginPanelController : public QObject, public MVToolBarItemViewDelegate {
    Q_OBJECT
public:
    static LoginPanelController& sharedInstance();
    LoginPanelController();
    ~LoginPanelController() override;

    QWidget* window() const { return window_; }
    // Back to the type list, placed over the main window, shown.
    void showWindow();
    void loginAction();
    void otherLoginTypeAction();
    void changeToInputTableWithLoginType(int row);
    void showOAuthLoginWindowWithType(int type);
    void loginSuccess();
    void loginFailed(const AccountError& error);
    // The hint for an error's key text.
    static QString hintForError(const AccountError& error);

    void changeHintLabelWithString(const QString& text);
    void showHintLabel();
    void hideHintLabel();
    void changeLoginButtonColor(bool active);
    void updateSuggestAccountsWithUserName(const QString& text);
    void showSuggestAccountTable();
    void hideSuggestAccountTable();

    QString username() const;
    QString password() const;
    bool isShowingSuggestAccounts() const { return isShowingSuggestAccounts_; }
    const QStringList& suggestAccounts() const { return suggestAccounts_; }
    static QStringList suggestAccountSuffix();

    // Parts, for tests and the layout.
    QListWidget* loginTypeTable() const { return loginTypeTable_; }
    QListWidget* suggestAccountTable() const { return suggestAccountTable_; }
    QWidget* overlayWindow() const { return overlayWindow_; }
    QLineEdit* usernameField() const { return usernameField_; }
    QLineEdit* passwordField() const { return passwordField_; }
    QPushButton* loginButton() const { return loginButton_; }
    QPushButton* otherLoginTypeButton() const { return otherLoginTypeButton_; }
    MVToolBarItemView* autoLoginButton() const { return autoLoginButton_; }
    QLabel* hintLabel() const { return hintLabel_; }
    QWidget* inputTable() const { return inputTable_; }

    void didClickOnItemView(MVToolBarItemView* item) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpUI();
    void setWindowPosition();
    void controlTextDidChange();
    bool doCommand(QLineEdit* field, int key);
    void showLoginTypeTable(bool show);
    void showInputPage(bool show);

    QWidget* window_ = nullptr;
    QLabel* logoImageView_ = nullptr;
    QLabel* loginLabel_ = nullptr;
    QLabel* syncLabel_ = nullptr;
    QListWidget* loginTypeTable_ = nullptr;
    QWidget* inputTable_ = nullptr;
    QLineEdit* usernameField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    HyperlinkTextField* forgetPasswordLabel_ = nullptr;
    HyperlinkTextField* registerLinkLabel_ = nullptr;
    MVToolBarItemView* autoLoginButton_ = nullptr;
    QLabel* autoLoginLabel_ = nullptr;
    QPushButton* otherLoginTypeButton_ = nullptr;
    QPushButton* loginButton_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QWidget* overlayWindow_ = nullptr;
    QListWidget* suggestAccountTable_ = nullptr;
    QStringList suggestAccounts_;
    bool isShowingSuggestAccounts_ = false;
    bool hintShown_ = false;
};
