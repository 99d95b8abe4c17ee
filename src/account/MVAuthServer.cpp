// The requests of the account service: own-account login, rp, the web
// login's completion, auto-login and the profile's avatar address.
#include "account/MVAuthServer.h"

#include "account/AccountCrypto.h"
#include "account/AvatarLoader.h"
#include "account/MVAuthServerURL.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictSettings.h"
#include "window/MVAlertWndController.h"

#include <QDebug>
#include <QJsonDocument>

namespace {
// The reply's session cookies by exact name, "" when the reply set none.
void addSessionCookies(QVariantMap& info, const AccountResponse& r) {
    for (const char* name : {"DICT_SESS", "DICT_LOGIN"}) {
        const QString v = r.cookieValue(name);
        info.insert(QLatin1String(name), v.isNull() ? QStringLiteral("") : v);
    }
}
}  // namespace

MVAuthServer& MVAuthServer::sharedInstance() {
    static MVAuthServer* server = new MVAuthServer();
    return *server;
}

MVAuthServer::~MVAuthServer() = default;

QJsonObject MVAuthServer::parseReply(const QByteArray& body, bool* isJson) {
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (isJson) *isJson = err.error == QJsonParseError::NoError && doc.isObject();
    return doc.isObject() ? doc.object() : QJsonObject();
}

bool MVAuthServer::jsonTrue(const QJsonValue& v) {
    if (v.isBool()) return v.toBool();
    if (v.isDouble()) return v.toDouble() != 0;
    return false;
}

bool MVAuthServer::soundUserMembers(const QJsonObject& reply, bool bothRequired) {
    const QJsonValue user = reply.value(QStringLiteral("userid"));
    const QJsonValue token = reply.value(QStringLiteral("DICT-PC"));
    if (!user.isUndefined() && (!user.isString() || user.toString().isEmpty())) return false;
    if (!token.isUndefined() && (!token.isString() || !AccountRequest::isSafeHeaderValue(token.toString())))
        return false;
    return !bothRequired || (!user.isUndefined() && !token.isUndefined());
}

QString MVAuthServer::header(const QVariantMap& info, const QString& key) {
    const QString v = info.value(key).toString();
    return AccountRequest::isSafeHeaderValue(v) ? v : QString();
}

// ------------------------------------------------------------- own account

void MVAuthServer::loginWithUsername(const QString& name, const QString& password, ErrorDone done) {
    // A manual login beats a pending auto-login and any older attempt.
    AccountRequest::drop(autoLoginRequest_);
    AccountRequest::drop(loginRequest_);
    AccountRequest::drop(rpRequest_);
    const quint64 session = ++session_;
    loginBusy_ = true;
    username_ = name;
    // The address holds the digest: it is built here, sent, and dropped.
    QString url = MVAuthServerURL::authServerLogin(true) + QStringLiteral("?app=client") +
                  QStringLiteral("&product=DICT") + QStringLiteral("&tp=vyrtoken") + QStringLiteral("&cf=7") +
                  QStringLiteral("&show=true") + QStringLiteral("&format=json") +
                  QStringLiteral("&username=") + queryValue(name) + QStringLiteral("&password=") +
                  MD5Encrypt::encrypt(password) + QStringLiteral("&um=true");
    qInfo("account: own-account login started");
    loginRequest_ = AccountRequest::start(QUrl(url), {}, [this, session, done](const AccountResponse& r) {
        loginRequest_ = nullptr;
        finishOwnLogin(r, session, true, done);
    }, false, {}, this);
    url.fill(u' ');
}

void MVAuthServer::loginVYRWithHTTP(const QString& name, const QString& password, const QVariantMap& rpReply,
                                    ErrorDone done) {
    AccountRequest::drop(loginRequest_);
    const QByteArray cipher = RSAEncrypt::encryptTextWithHexPublicKey(
        QStringLiteral("username=%1&password=%2").arg(queryValue(name), MD5Encrypt::encrypt(password)),
        rpReply.value(QStringLiteral("pc")).toString());
    if (cipher.isEmpty()) {
        QMetaObject::invokeMethod(this, [done] { done(AccountError::normalError()); }, Qt::QueuedConnection);
        return;
    }
    const quint64 session = ++session_;
    loginBusy_ = true;
    username_ = name;
    const QString url = MVAuthServerURL::authServerLogin(false) + QStringLiteral("?app=client") +
                        QStringLiteral("&product=DICT") + QStringLiteral("&tp=vyrtoken") + QStringLiteral("&cf=7") +
                        QStringLiteral("&show=true") + QStringLiteral("&format=json") + QStringLiteral("&pci=") +
                        queryValue(rpReply.value(QStringLiteral("pci")).toString()) + QStringLiteral("&um=true");
    loginRequest_ = AccountRequest::start(QUrl(url), {{"lo", cipher.toHex()}}, [this, session, done](const AccountResponse& r) {
        loginRequest_ = nullptr;
        finishOwnLogin(r, session, false, done);
    }, false, {}, this);
}

void MVAuthServer::finishOwnLogin(const AccountResponse& r, quint64 session, bool rpFallback, ErrorDone done) {
    auto fail = [this, done, rpFallback](const AccountError& e) {
        qInfo().noquote() << "account: login failed:" << e.domain << e.code << e.localizedDescription;
        if (e.domain == AccountError::kLoginStateDomain || !rpFallback) {
            loginBusy_ = false;
            done(e);
            return;
        }
        // Any other failure: one rp request, whose result only refreshes userInfo.
        authServerRP(QStringLiteral("vyrtoken"), QStringLiteral("RE1"), [this, done, e](const AccountError&) {
            loginBusy_ = false;
            done(e);
        });
    };
    if (!r.transportOk) {
        fail(AccountError{AccountError::kNetworkDomain, int(r.error), r.errorString, {}});
        return;
    }
    const QJsonObject reply = parseReply(r.body);
    if (r.status != 200 || !soundUserMembers(reply, true)) {
        fail(reply.contains(QStringLiteral("tpcode"))
                 ? AccountError::fromTpcode(int(reply.value(QStringLiteral("tpcode")).toVariant().toLongLong()))
                 : AccountError::normalError());
        return;
    }
    QVariantMap info = reply.toVariantMap();
    addSessionCookies(info, r);
    UserDefaults::standard().setValue(loginSuccessType, 2);
    fetchAvatarURLForVYR([this, session, info, done] {
        if (session != session_) {
            loginBusy_ = false;
            done(AccountError::normalError());
            return;
        }
        loginSuccessWithUserInfo(info, [this, done](bool completed) {
            loginBusy_ = false;
            done(completed ? AccountError() : AccountError::normalError());
        });
    });
}

void MVAuthServer::authServerRP(const QString& tp, const QString& al, ErrorDone done) {
    AccountRequest::drop(rpRequest_);
    rpRequest_ = AccountRequest::start(QUrl(MVAuthServerURL::rpURL(tp, al)), {}, [this, done](const AccountResponse& r) {
        rpRequest_ = nullptr;
        if (!r.transportOk) {
            done(AccountError{AccountError::kNetworkDomain, int(r.error), r.errorString, {}});
            return;
        }
        const QJsonObject reply = parseReply(r.body);
        if (reply.contains(QStringLiteral("pci"))) {
            userInfo_ = reply.toVariantMap();
            done(AccountError());
        } else if (reply.contains(QStringLiteral("ecode"))) {
            done(AccountError{AccountError::kAuthServerDomain,
                              int(reply.value(QStringLiteral("ecode")).toVariant().toLongLong()),
                              QStringLiteral("AuthServer Error"), reply.toVariantMap()});
        } else {
            done(AccountError::normalError());
        }
    }, false, {}, this);
}

void MVAuthServer::fetchAvatarURLForVYR(std::function<void()> done) {
    AccountRequest::drop(profileRequest_);
    profileRequest_ = AccountRequest::start(QUrl(MVAuthServerURL::profileURL(username_)), {},
                                            [this, done](const AccountResponse& r) {
        profileRequest_ = nullptr;
        const QJsonObject reply = parseReply(r.body);
        const QJsonValue url = reply.value(QStringLiteral("values")).toObject().value(QStringLiteral("option_avatar"));
        auto& s = DictSettings::sharedInstance();
        s.setUserImageUrl(url.isString() ? url.toString() : QString());
        s.saveSettings();
        done();
    }, false, {}, this);
}

// ---------------------------------------------------------------- web login

void MVAuthServer::requestUserInfoAndCookie(int loginType, BoolDone done) {
    AccountRequest::drop(webRequest_);
    const quint64 session = session_;
    QList<AccountRequest::Header> pollHeaders;
    if (const QString pc = header(userInfo_, QStringLiteral("pc")); !pc.isEmpty())
        pollHeaders.append({"pc", pc.toUtf8()});
    webRequest_ = AccountRequest::start(
        QUrl(MVAuthServerURL::authServerPoll() + QStringLiteral("?product=DICT")), pollHeaders,
        [this, session, loginType, done](const AccountResponse& poll) {
            webRequest_ = nullptr;
            const QJsonObject pollReply = parseReply(poll.body);
            if (session != session_ || !jsonTrue(pollReply.value(QStringLiteral("login"))) ||
                !soundUserMembers(pollReply, false)) {
                done(false);
                return;
            }
            QVariantMap info = pollReply.toVariantMap();
            addSessionCookies(info, poll);
            QList<AccountRequest::Header> cqHeaders;
            if (const QString pc = header(info, QStringLiteral("DICT-PC")); !pc.isEmpty())
                cqHeaders.append({"DICT-PC", pc.toUtf8()});
            webRequest_ = AccountRequest::start(QUrl(MVAuthServerURL::authServerCq()), cqHeaders,
                                                [this, session, loginType, info, done](const AccountResponse& cq) {
                webRequest_ = nullptr;
                if (session != session_ || !jsonTrue(parseReply(cq.body).value(QStringLiteral("login")))) {
                    done(false);
                    return;
                }
                UserDefaults::standard().setValue(loginSuccessType, loginType);
                loginSuccessWithUserInfo(info, done);
            }, false, {}, this);
        }, false, {}, this);
}

// --------------------------------------------------------------- auto-login

void MVAuthServer::autoLogin(BoolDone done) {
    AccountRequest::drop(autoLoginRequest_);
    QList<AccountRequest::Header> headers;
    const QString pc = DictSettings::sharedInstance().authServerPC();
    if (AccountRequest::isSafeHeaderValue(pc)) headers.append({"DICT-PC", pc.toUtf8()});
    const quint64 session = session_;
    autoLoginRequest_ = AccountRequest::start(QUrl(MVAuthServerURL::authServerAutoLoginCq()), headers,
                                              [this, session, done](const AccountResponse& r) {
        autoLoginRequest_ = nullptr;
        bool isJson = false;
        const QJsonObject reply = parseReply(r.body, &isJson);
        if (!isJson) {
            if (done) done(true);
            return;
        }
        const QJsonValue login = reply.value(QStringLiteral("login"));
        if (session != session_ || !jsonTrue(login) || !soundUserMembers(reply, false) || isLoggingIn()) {
            if (done) done(false);
            return;
        }
        loginSuccessWithUserInfo(reply.toVariantMap(), done);
    }, true, QByteArray(), this);
}
