#pragma once

#include "account/AccountError.h"
#include "account/AccountHttp.h"
#include "wordbook/MVWordBook.h"

#include <QImage>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <functional>
#include <memory>

class AvatarLoader;
class MVAlertWndController;

// The account session of the process: the own-account login, the rp request,
// the completion of a web login, auto-login, the hand-over to the word book
// and logout. Main thread only; every request is asynchronous and its answer
// arrives through the callback given, never inside the call.
//
// Work that spans a user change carries the session it started for: answers
// of requests started before a logout or another login are dropped.
class MVAuthServer : public QObject, public MVWordBookSyncDelegate {
    Q_OBJECT
public:
    using ErrorDone = std::function<void(const AccountError&)>;
    using BoolDone = std::function<void(bool)>;

    static MVAuthServer& sharedInstance();
    MVAuthServer();
    ~MVAuthServer() override;

    // Own account. The callback runs after the hand-over (merge question
    // answered) on success, or with the error. The password is digested at
    // once and neither it nor its digest is kept after the request.
    void loginWithUsername(const QString& name, const QString& password, ErrorDone done);
    bool isLoggingIn() const { return loginRequest_ != nullptr || loginBusy_; }

    // The login over plain http with the credentials RSA-encrypted under the
    // rp reply's key `pc` (header "lo"); nothing calls it yet.
    void loginVYRWithHTTP(const QString& name, const QString& password, const QVariantMap& rpReply,
                          ErrorDone done);

    // The pre-login request; a reply carrying pci becomes userInfo().
    void authServerRP(const QString& tp, const QString& al, ErrorDone done);

    // Completion of a web login once the session cookies exist: poll, cq,
    // then the hand-over with loginSuccessType := loginType. true = signed in.
    void requestUserInfoAndCookie(int loginType, BoolDone done);

    // Start-up login with the stored token and cookies. Returns at once; a
    // manual login started meanwhile wins (this one's answer is dropped).
    void autoLogin(BoolDone done = {});

    // The hand-over every login ends in; done runs once it has finished, with
    // false when a logout or another login overtook it at the merge question.
    void loginSuccessWithUserInfo(const QVariantMap& userInfo, BoolDone done = {});
    // Signs out; while a word-book synchronisation runs, the session is ended
    // when it has finished (hasLogined() is false at once).
    void logout();
    bool hasLogined() const { return hasLogined_; }
    void setHasLogined(bool on) { hasLogined_ = on; }
    bool isLogoutPending() const { return logoutPending_; }

    QVariantMap userInfo() const { return userInfo_; }
    QString username() const { return username_; }

    // Avatar: DictSettings userImageUrl into the toolbar; a failed load keeps the picture.
    void updateAvatar();
    void loadAvatarFrom(const QString& url);
    // The merge question while it is shown (tests answer it).
    MVAlertWndController* mergeAlert() const { return alert_.get(); }

    // The user-defaults copy of the session cookies.
    static void saveCookie();
    static void clearCookieForKey(const QString& prefix);

    // Parses an account reply: an object, or an empty object for anything else.
    static QJsonObject parseReply(const QByteArray& body, bool* isJson = nullptr);
    static bool jsonTrue(const QJsonValue& v);
    // Whether the user members of an account answer can be signed in with.
    // A member that is there must be usable: "userid" a non-empty string (it
    // becomes the word book's user), "DICT-PC" a value a header can carry (it
    // goes back with later requests). The own-account login must name both;
    // the web login's poll and auto-login may leave either out, and the
    // hand-over then keeps what is stored.
    static bool soundUserMembers(const QJsonObject& reply, bool bothRequired);

Q_SIGNALS:
    void avatarChanged(const QImage& image);
    void loggedIn();
    void loggedOut();

private:
    void finishOwnLogin(const AccountResponse& r, quint64 session, bool rpFallback, ErrorDone done);
    void fetchAvatarURLForVYR(std::function<void()> done);
    void updateWordBook(const QVariantMap& info, BoolDone done);
    void dropMergeQuestion();
    void doUpdateWordBook(bool merge, const QVariantMap& info);
    void sendLog();
    void finishLogout(bool removeCookies);
    void syncEnded();
    void setAvatar(const QImage& image);
    static QString header(const QVariantMap& info, const QString& key);

    bool hasLogined_ = false;
    bool loginBusy_ = false;
    bool logoutPending_ = false;
    quint64 session_ = 0;  // bumped by every login start, hand-over and logout
    QVariantMap userInfo_;
    QString username_;
    QPointer<AccountRequest> loginRequest_, autoLoginRequest_, rpRequest_, webRequest_, profileRequest_;
    AvatarLoader* avatar_ = nullptr;
    std::unique_ptr<MVAlertWndController> alert_;
    std::function<void()> abandonMergeQuestion_;
};
