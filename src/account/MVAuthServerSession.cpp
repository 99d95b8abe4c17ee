// What every login ends in (the hand-over to the word book) and logout.
#include "account/MVAuthServer.h"

#include "account/AvatarLoader.h"
#include "platform/CookieJar.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictSettings.h"
#include "window/FrameWndController.h"
#include "window/MVAlertWndController.h"
#include "window/MVToolBarController.h"
#include "window/ShellServices.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>

namespace {
const char* const kUserInfoKeys[] = {"DICT-PC", "DICT_SESS", "DICT_LOGIN", "username", "userid", "imageurl",
                                     "imageurl_big"};
// A session token must not outlive the session: these copies go at logout.
const char* const kSessionCopies[] = {"DICT-PC", "DICT_SESS", "DICT_LOGIN"};
const char* const kCookieSuffixes[] = {"_value", "_domain", "_path", "_version"};
}  // namespace

MVAuthServer::MVAuthServer() : avatar_(new AvatarLoader(this)) {
    auto& nc = NotificationCenter::defaultCenter();
    for (const QString& name : {wbnotify::kSyncDone, wbnotify::kSyncFailed})
        nc.addObserver(name, this, [this](const Notification&) {
            // The word book may start a queued synchronisation right after
            // this one: look once the notification has been handled.
            QTimer::singleShot(0, this, [this] { syncEnded(); });
        });
    // A logout the user was told about must not be undone by quitting
    // before the synchronisation it waits for has ended.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (logoutPending_) finishLogout(true);
        });
}

// ---------------------------------------------------------------- hand-over

void MVAuthServer::loginSuccessWithUserInfo(const QVariantMap& info, BoolDone done) {
    dropMergeQuestion();
    const quint64 session = ++session_;
    if (logoutPending_) finishLogout(false);  // the new login's cookies replace the old ones
    auto& d = UserDefaults::standard();
    for (const char* key : kUserInfoKeys)
        if (info.contains(QLatin1String(key))) d.setValue(QLatin1String(key), info.value(QLatin1String(key)));
    hasLogined_ = true;
    updateWordBook(info, [this, session, done](bool completed) {
        completed = completed && session == session_;
        if (completed) {
            updateAvatar();
            sendLog();
            Q_EMIT loggedIn();
        }
        if (done) done(completed);
    });
}

void MVAuthServer::updateWordBook(const QVariantMap& info, BoolDone done) {
    userInfo_ = info;
    auto& wb = MVWordBook::sharedInstance();
    // Only another account's words are worth the question: a user who signs
    // in again after a logout gets his own words back without it.
    const QString newUser = info.value(QStringLiteral("userid")).toString();
    const QString user = newUser.isEmpty() ? DictSettings::sharedInstance().authUserId() : newUser;
    if (!wb.needMergeUser() || wb.preUser() == user) {
        doUpdateWordBook(false, info);
        done(true);
        return;
    }
    // The question may outlive the session it was asked for (a logout or
    // another login meanwhile): then the answer changes nothing.
    const quint64 session = session_;
    auto answer = [this, info, done, session](bool merge, bool abandoned) {
        abandonMergeQuestion_ = nullptr;
        if (alert_) {
            alert_->hideWindow();
            alert_.release()->deleteLater();
        }
        const bool current = !abandoned && session == session_;
        if (current) doUpdateWordBook(merge, info);
        done(current);
    };
    abandonMergeQuestion_ = [answer] { answer(false, true); };
    alert_ = std::make_unique<MVAlertWndController>(QStringLiteral("需要保留上一个账号的全部单词吗？"),
                                                    QStringLiteral("单词本"), false,
                                                    [answer] { answer(false, false); }, false,
                                                    [answer] { answer(true, false); });
    alert_->changeLeftButtonTitle(QStringLiteral("不保留"));
    alert_->changeRightButtonTitle(QStringLiteral("保留"));
    alert_->setCloseButtonHidden(true);
    alert_->showWindow();
}

void MVAuthServer::doUpdateWordBook(bool merge, const QVariantMap& info) {
    auto& s = DictSettings::sharedInstance();
    auto has = [&info](const char* k) { return info.contains(QLatin1String(k)); };
    auto str = [&info](const char* k) { return info.value(QLatin1String(k)).toString(); };
    if (has("DICT-PC")) s.setAuthServerPC(str("DICT-PC"));
    if (has("userid")) s.setAuthUserId(str("userid"));
    if (has("username")) s.setAuthUserName(str("username"));
    if (has("imageurl")) s.setUserImageUrl(str("imageurl"));
    s.setUserEmail(s.authUserId());
    s.setLocalTimeStamp(DictSettings::localTimeStampForUser(s.authUserId()));
    s.setCurrentUser(s.authUserId());
    s.saveSettings();
    MVWordBook::sharedInstance().didLoginWithUser(s.authUserId());
    ShellServices::wordBook().setShouldResetCurCategory(true);
    ShellServices::wordBook().startSync(merge);
    saveCookie();
    FrameWndController::logUserToKitHost();
}

void MVAuthServer::sendLog() {
    const qint64 type = UserDefaults::standard().integerValue(loginSuccessType);
    const QString text = type == 0 ? QStringLiteral("qq") : type == 1 ? QStringLiteral("sina") : QStringLiteral("kelmora");
    // The key's spelling is what the log service counts under.
    ShellServices::logEvent(QStringLiteral("actioin"), QStringLiteral("login_done"), {{QStringLiteral("type"), text}});
}

// ------------------------------------------------------------------- avatar

void MVAuthServer::updateAvatar() { loadAvatarFrom(DictSettings::sharedInstance().userImageUrl()); }

void MVAuthServer::loadAvatarFrom(const QString& url) {
    const QUrl u(url);
    if (url.isEmpty() || !u.isValid()) return;
    const quint64 session = session_;
    avatar_->load(u, [this, session](const QImage& image) {
        if (session == session_ && hasLogined_ && !image.isNull()) setAvatar(image);
    });
}

void MVAuthServer::setAvatar(const QImage& image) {
    if (QLabel* l = MVToolBarController::sharedInstance().avatarImage()) {
        // Round, like the default picture it replaces.
        const QSize size = l->size().isEmpty() ? QSize(25, 25) : l->size();
        const qreal dpr = l->devicePixelRatioF();
        QPixmap round(size * dpr);
        round.setDevicePixelRatio(dpr);
        round.fill(Qt::transparent);
        QPainter p(&round);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addEllipse(QRectF(QPointF(0, 0), QSizeF(size)));
        p.setClipPath(clip);
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(size)),
                    image.scaled(size * dpr, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
        p.end();
        l->setPixmap(round);
    }
    Q_EMIT avatarChanged(image);
}

// ------------------------------------------------------------------ cookies

void MVAuthServer::saveCookie() {
    auto& d = UserDefaults::standard();
    auto save = [&d](const QNetworkCookie& c, const QString& prefix) {
        const QString values[] = {QString::fromUtf8(c.value()), c.domain(), c.path(), QStringLiteral("0")};
        for (int i = 0; i < 4; ++i) d.setValue(prefix + QLatin1String(kCookieSuffixes[i]), values[i]);
    };
    for (const QNetworkCookie& c : CookieJar::shared().cookies()) {
        if (c.name() == "DICT_LOGIN") save(c, QStringLiteral("kDictLogin"));
        else if (c.name() == "DICT_SESS") save(c, QStringLiteral("kDictSess"));
    }
    d.sync();
}

void MVAuthServer::clearCookieForKey(const QString& prefix) {
    auto& d = UserDefaults::standard();
    for (const char* suffix : kCookieSuffixes) d.remove(prefix + QLatin1String(suffix));
    d.sync();
}

// ------------------------------------------------------------------- logout

void MVAuthServer::dropMergeQuestion() {
    if (auto abandon = std::move(abandonMergeQuestion_)) {
        abandonMergeQuestion_ = nullptr;
        abandon();
    }
}

void MVAuthServer::logout() {
    ++session_;
    dropMergeQuestion();
    AccountRequest::drop(autoLoginRequest_);
    AccountRequest::drop(webRequest_);
    AccountRequest::drop(profileRequest_);
    avatar_->cancel();
    hasLogined_ = false;
    // The running synchronisation was started for this user: its exchanges
    // still need the session cookies and its commit this user's filter.
    if (MVWordBook::sharedInstance().isSyncing()) {
        qInfo("account: logout waits for the running synchronisation");
        logoutPending_ = true;
        return;
    }
    finishLogout(true);
}

void MVAuthServer::syncEnded() {
    if (logoutPending_ && !MVWordBook::sharedInstance().isSyncing()) finishLogout(true);
}

void MVAuthServer::finishLogout(bool removeCookies) {
    logoutPending_ = false;
    auto& s = DictSettings::sharedInstance();
    s.setLastLoginUser(s.currentUser());
    s.setAuthServerPC(QString());
    s.setAuthUserId(QString());
    s.setAuthUserName(QString());
    s.setUserImageUrl(QString());
    s.setUserEmail(QString());
    s.setLocalTimeStamp(QString());
    s.setCurrentUser(QString());
    s.setSyncWordNum(0);
    s.setSyncWordTime(0.0);
    s.setProfileUnLocked(false);
    s.saveSettings();
    MVWordBook::sharedInstance().didLogout();
    if (removeCookies) {
        auto& jar = CookieJar::shared();
        for (const QNetworkCookie& c : jar.cookies()) {
            if (c.name() == "DICT_SESS") {
                jar.deleteCookie(c);
                clearCookieForKey(QStringLiteral("kDictSess"));
            } else if (c.name() == "DICT_LOGIN") {
                jar.deleteCookie(c);
                clearCookieForKey(QStringLiteral("kDictLogin"));
            }
        }
        clearCookieForKey(QStringLiteral("kDictSess"));
        clearCookieForKey(QStringLiteral("kDictLogin"));
    }
    auto& d = UserDefaults::standard();
    for (const char* key : kSessionCopies) d.remove(QLatin1String(key));
    d.sync();
    userInfo_.clear();
    Q_EMIT loggedOut();
}
