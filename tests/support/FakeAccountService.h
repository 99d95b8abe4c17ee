#pragma once

#include "support/FakeHttpService.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace httplib { class SSLServer; }

// The account service on 127.0.0.1: a plain HTTP side (rp, poll, cq, profile,
// web login pages, avatar images) through FakeHttpService, and an HTTPS side
// for the own-account login, both on ephemeral ports, both recording every
// request. scriptHappyPath() installs answers for a complete, successful
// session; tests override single routes with on()/onTls() (later routes win).
class FakeAccountService {
public:
    // strangerCertificate: serve HTTPS with a self-signed certificate the
    // test CA did not sign (the client must refuse it).
    explicit FakeAccountService(bool strangerCertificate = false);
    ~FakeAccountService();

    FakeHttpService& http() { return http_; }
    QString hostPort() const { return http_.hostPort(); }
    QString tlsHostPort() const;

    void onTls(const QString& path, FakeHttpService::Script script);
    void onTls(const QString& path, ScriptedResponse fixed);
    std::vector<RecordedRequest> tlsRequests() const;

    // Points MVServiceHost and MVServiceTLSHost of the standard defaults here.
    void pointDefaultsHere() const;
    // Makes the test CA the only one the process trusts; call before the first request.
    static void trustTestCa();

    // Answers of a working service for user `userid`. The web login page
    // (GET /login/acc/login over http) has a link to /login/acc/authorize,
    // whose redirect sets DICT_SESS and an HttpOnly DICT_LOGIN;
    // /login/acc/setcookie sets them without a redirect (for fetch()).
    void scriptHappyPath(const QString& userid = QStringLiteral("alice@mail.example"),
                         const QString& username = QStringLiteral("Alice"));
    static QByteArray pngBytes(int w = 8, int h = 8);
    static QByteArray sessionCookieHeader(const QByteArray& name, const QByteArray& value, bool httpOnly = false);

    QByteArray sessValue = "sess-1";
    QByteArray loginValue = "login-1";

private:
    FakeHttpService http_;
    std::unique_ptr<httplib::SSLServer> tls_;
    std::thread tlsThread_;
    int tlsPort_ = 0;
    std::atomic<bool> tlsReturned_{false};
    mutable std::mutex mutex_;
    struct Route { QString path; FakeHttpService::Script script; };
    std::vector<Route> tlsRoutes_;
    std::vector<RecordedRequest> tlsRequests_;
};
