#include "account/MVOAuthLoginController.h"

#include "account/LoginPanelController.h"
#include "account/MVAuthServer.h"
#include "account/MVAuthServerURL.h"
#include "platform/CookieJar.h"
#include "platform/UserDefaults.h"
#include "window/FrameWndController.h"
#include "platform/ServiceHost.h"
#include "window/pages/WebPageHost.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QLabel>
#include <QNetworkCookie>
#include <QProgressBar>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {
// Plain web navigation only, and pop-ups stay in the one view.
class LoginPage : public QWebEnginePage {
public:
    LoginPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        const QString s = url.scheme().toLower();
        return s == QLatin1String("http") || s == QLatin1String("https") || s == QLatin1String("about");
    }
    QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

bool isServiceHost(const QString& domain) {
    QString host = serviceHost();
    if (const int colon = host.lastIndexOf(u':'); colon > 0 && !host.contains(u']')) host.truncate(colon);
    QString d = domain;
    if (d.startsWith(u'.')) d.remove(0, 1);
    return d.compare(host, Qt::CaseInsensitive) == 0 || host.endsWith(u'.' + d, Qt::CaseInsensitive);
}
}  // namespace

MVOAuthLoginController& MVOAuthLoginController::sharedInstance() {
    static MVOAuthLoginController* c = new MVOAuthLoginController();
    return *c;
}

MVOAuthLoginController::MVOAuthLoginController() {
    window_ = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_->setObjectName(QStringLiteral("MVOAuthLoginWindow"));
    window_->setWindowModality(Qt::ApplicationModal);
    window_->resize(720, 560);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QWebEngineView(window_);
    layout->addWidget(view_, 1);
    indicator_ = new QProgressBar(window_);
    indicator_->setRange(0, 0);
    indicator_->setTextVisible(false);
    indicator_->setFixedSize(160, 6);
    layout->addWidget(indicator_, 0, Qt::AlignCenter);
    errorLabel_ = new QLabel(window_);
    errorLabel_->setAlignment(Qt::AlignCenter);
    errorLabel_->setStyleSheet(QStringLiteral("color:rgb(240,55,68);padding:12px;"));
    errorLabel_->hide();
    layout->addWidget(errorLabel_);
    connect(window_, &QDialog::finished, this, [this] { windowClosed(); });
    // A closed window's page serves no later opening (each gets a fresh
    // profile): after a while it goes, with its share of the renderer.
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(WebPageHost::kReleaseAfterHiddenMs);
    connect(&releaseTimer_, &QTimer::timeout, this, [this] {
        if (!window_->isVisible()) releasePage();
    });
    // The web engine must not outlive a page of ours at exit.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { releasePage(); });
}

void MVOAuthLoginController::releasePage() {
    if (!profile_) return;
    QWebEnginePage* page = view_->page();
    view_->setPage(nullptr);
    if (page && page->profile() == profile_) delete page;
    delete profile_;
}

MVOAuthLoginController::~MVOAuthLoginController() { delete window_; }

void MVOAuthLoginController::showLoading(bool on) {
    loading_ = on;
    indicator_->setVisible(on);
    view_->setVisible(!on);
}

void MVOAuthLoginController::showWindow() {
    releaseTimer_.stop();
    const quint64 opening = ++opening_;
    window_->setWindowTitle(loginType_ == 0 ? QStringLiteral("QQ账号登录") : QStringLiteral("新浪微博登录"));
    // A fresh, off-the-record profile per opening: no page state of an
    // earlier attempt or another party survives.
    auto* profile = new QWebEngineProfile(window_);
    auto* page = new LoginPage(profile, profile);
    QWebEnginePage* old = profile_ ? view_->page() : nullptr;
    QPointer<QWebEngineProfile> oldProfile = profile_;
    view_->setPage(page);
    if (oldProfile) {
        // The page goes before its profile.
        if (old && old->profile() == oldProfile) delete old;
        delete oldProfile;
    }
    profile_ = profile;
    connect(profile->cookieStore(), &QWebEngineCookieStore::cookieAdded, this,
            [this, opening](const QNetworkCookie& c) {
                if (opening == opening_) cookieAdded(c);
            });
    connect(page, &QWebEnginePage::loadFinished, this, [this, opening](bool) {
        if (opening != opening_) return;
        ++pageLoads_;
        showLoading(false);
        checkLoginCookies();
    });
    completing_ = checkAgain_ = false;
    errorLabel_->hide();
    if (FrameWndController* frame = FrameWndController::shared(); frame && frame->window()) {
        const QRect main = frame->window()->frameGeometry();
        window_->move(main.center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    loadLoginPage();
}

void MVOAuthLoginController::loadLoginPage() {
    showLoading(true);
    const QString tp = loginType_ == 0 ? QStringLiteral("cqq") : QStringLiteral("tsina");
    const quint64 opening = opening_;
    auto& server = MVAuthServer::sharedInstance();
    server.authServerRP(tp, QString(), [this, opening, tp](const AccountError&) {
        if (opening != opening_ || !window_->isVisible()) return;
        const QVariantMap rp = MVAuthServer::sharedInstance().userInfo();
        const QString pci = rp.value(QStringLiteral("pci")).toString();
        if (pci.isEmpty() || rp.value(QStringLiteral("pc")).toString().isEmpty()) {
            indicator_->hide();
            loading_ = false;
            errorLabel_->setText(QStringLiteral("无法打开登录页面，请关闭窗口后重试"));
            errorLabel_->show();
            return;
        }
        view_->setUrl(QUrl(MVAuthServerURL::loginURLWithTp(tp, pci)));
    });
}

void MVOAuthLoginController::cookieAdded(const QNetworkCookie& cookie) {
    if (cookie.name() != "DICT_SESS" && cookie.name() != "DICT_LOGIN") return;
    if (!isServiceHost(cookie.domain())) return;
    QNetworkCookie copy = cookie;
    if (copy.domain().isEmpty()) copy.setDomain(serviceHost().section(u':', 0, 0));
    CookieJar::shared().insertCookie(copy);
    checkLoginCookies();
}

bool MVOAuthLoginController::hasLoginCookies() const {
    for (const QNetworkCookie& c : CookieJar::shared().cookies())
        if (c.name() == "DICT_SESS" || c.name() == "DICT_LOGIN") return true;
    return false;
}

void MVOAuthLoginController::checkLoginCookies() {
    if (!window_->isVisible() || !hasLoginCookies()) return;
    if (completing_) {
        checkAgain_ = true;
        return;
    }
    completing_ = true;
    checkAgain_ = false;
    const quint64 opening = opening_;
    MVAuthServer::sharedInstance().requestUserInfoAndCookie(loginType_, [this, opening](bool ok) {
        if (opening != opening_) return;
        completing_ = false;
        if (!ok) {
            qInfo("三方登录失败");
            if (checkAgain_) checkLoginCookies();
            return;
        }
        auto& server = MVAuthServer::sharedInstance();
        server.setHasLogined(true);
        LoginPanelController::sharedInstance().window()->hide();
        closeWindow();
        server.loadAvatarFrom(UserDefaults::standard().stringValue(QStringLiteral("imageurl_big")));
        Q_EMIT loginSucceeded();
    });
}

void MVOAuthLoginController::closeWindow() {
    if (window_->isVisible()) window_->close();
    else windowClosed();
}

void MVOAuthLoginController::windowClosed() {
    ++opening_;
    completing_ = checkAgain_ = false;
    // Without a page of ours the view would make one just to show nothing.
    if (profile_) view_->setUrl(QUrl(QStringLiteral("about:blank")));
    releaseTimer_.start();
}
