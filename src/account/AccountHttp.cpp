#include "account/AccountHttp.h"

#include "platform/CookieJar.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

QNetworkAccessManager* AccountRequest::network() {
    static QPointer<QNetworkAccessManager> m;
    if (!m) m = new QNetworkAccessManager(QCoreApplication::instance());
    return m;
}

QString AccountResponse::cookieValue(const QByteArray& name) const {
    for (const QNetworkCookie& c : setCookies)
        if (c.name() == name) return QString::fromUtf8(c.value());
    return {};
}

bool AccountRequest::isSafeHeaderValue(const QString& v) {
    for (QChar c : v)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return !v.isEmpty();
}

QPointer<AccountRequest> AccountRequest::start(const QUrl& url, const QList<Header>& headers, Done done,
                                               bool post, const QByteArray& body, QObject* owner) {
    auto* r = new AccountRequest(owner ? owner : QCoreApplication::instance());
    r->url_ = url;
    r->done_ = std::move(done);
    QNetworkRequest req(url);
    req.setTransferTimeout(kTimeoutMs);
    // Cookies are ours to choose: the manager has no jar.
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    const QByteArray cookies = CookieJar::shared().cookieHeaderForUrl(url);
    if (!cookies.isEmpty()) req.setRawHeader("Cookie", cookies);
    for (const Header& h : headers) req.setRawHeader(h.name, h.value);
    if (post) {
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        r->reply_ = network()->post(req, body);
    } else {
        r->reply_ = network()->get(req);
    }
    connect(r->reply_, &QNetworkReply::finished, r, &AccountRequest::finished);
    return r;
}

AccountRequest::~AccountRequest() {
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
        reply_->abort();
        reply_->deleteLater();
    }
}

void AccountRequest::cancel() {
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    done_ = nullptr;
    deleteLater();
}

void AccountRequest::drop(QPointer<AccountRequest>& r) {
    if (r) r->cancel();
    r = nullptr;
}

void AccountRequest::finished() {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    AccountResponse r;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    r.transportOk = status.isValid();
    r.status = status.toInt();
    r.error = reply->error();
    r.errorString = reply->errorString();
    if (r.transportOk) {
        r.body = reply->readAll();
        for (const QByteArray& line : reply->rawHeaderList())
            if (line.compare("Set-Cookie", Qt::CaseInsensitive) == 0)
                for (const QByteArray& one : reply->rawHeader(line).split('\n'))
                    r.setCookies += QNetworkCookie::parseCookies(one);
        if (!r.setCookies.isEmpty()) CookieJar::shared().setCookiesFromUrl(r.setCookies, reply->url());
    }
    reply->deleteLater();
    Done done = std::move(done_);
    deleteLater();
    if (done) done(r);
}
