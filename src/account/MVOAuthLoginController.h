#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QDialog;
class QLabel;
class QWebEngineProfile;
class QWebEngineView;
class QProgressBar;
class QNetworkCookie;

// The web login (QQ, Sina Weibo): an application-modal window with a web
// view on the account service's login page. Each opening gets a fresh
// off-the-record profile and loads the page once; whenever a page finishes
// loading or the page's cookie store gains DICT_SESS/DICT_LOGIN of the
// service host, the session cookies are copied into the shared CookieJar and
// the login is completed (poll, cq, hand-over), one completion at a time.
class MVOAuthLoginController : public QObject {
    Q_OBJECT
public:
    static MVOAuthLoginController& sharedInstance();
    MVOAuthLoginController();
    ~MVOAuthLoginController() override;

    // 0 QQ ("cqq"), anything else Sina Weibo ("tsina").
    void setLoginType(int type) { loginType_ = type; }
    int loginType() const { return loginType_; }

    // Opens the window and loads the login page.
    void showWindow();
    void closeWindow();
    // Drops the page and its profile (at quit, and a while after closing).
    void releasePage();
    QDialog* window() const { return window_; }
    QWebEngineView* loginWebView() const { return view_; }
    QLabel* errorLabel() const { return errorLabel_; }
    bool isLoading() const { return loading_; }
    int pageLoadCount() const { return pageLoads_; }

Q_SIGNALS:
    void loginSucceeded();

private:
    void showLoading(bool on);
    void loadLoginPage();
    void cookieAdded(const QNetworkCookie& cookie);
    void checkLoginCookies();
    bool hasLoginCookies() const;
    void windowClosed();

    int loginType_ = 0;
    QDialog* window_ = nullptr;
    QWebEngineView* view_ = nullptr;
    QPointer<QWebEngineProfile> profile_;
    QTimer releaseTimer_;
    QLabel* errorLabel_ = nullptr;
    QProgressBar* indicator_ = nullptr;
    bool loading_ = false;
    bool completing_ = false;
    bool checkAgain_ = false;
    int pageLoads_ = 0;
    quint64 opening_ = 0;
};
