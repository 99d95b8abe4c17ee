#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

// What came back from one account request. A reply with an HTTP status is a
// response, whatever the status; only a transport failure (no connection,
// time-out, TLS refused) leaves `transportOk` false.
struct AccountResponse {
    bool transportOk = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    int status = 0;
    QByteArray body;
    QList<QNetworkCookie> setCookies;  // parsed Set-Cookie lines, in order

    // The value of the reply cookie `name` (exact name), null when absent.
    QString cookieValue(const QByteArray& name) const;
};

// One asynchronous account request on the main thread's network manager.
// The shared CookieJar's cookies for the URL go out as the Cookie header;
// cookies the reply sets are stored in the jar. 10 s transfer time-out.
// Destroying (or cancel()ing) the handle drops the request without a call.
class AccountRequest : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const AccountResponse&)>;
    struct Header { QByteArray name, value; };

    static constexpr int kTimeoutMs = 10000;

    // Starts a GET (or, with post, a form POST of `body`).
    static QPointer<AccountRequest> start(const QUrl& url, const QList<Header>& headers, Done done,
                                          bool post = false, const QByteArray& body = {},
                                          QObject* owner = nullptr);
    void cancel();
    // Cancels the request `r` points at, if any, and forgets it.
    static void drop(QPointer<AccountRequest>& r);
    ~AccountRequest() override;

    // The account's one network manager (main thread; no cookie jar).
    static class QNetworkAccessManager* network();

    // A header value that came from a reply or the defaults; values carrying
    // control characters (which Qt would send raw) count as absent.
    static bool isSafeHeaderValue(const QString& v);

private:
    AccountRequest(QObject* owner) : QObject(owner) {}
    void finished();

    QNetworkReply* reply_ = nullptr;
    QUrl url_;
    Done done_;
};
