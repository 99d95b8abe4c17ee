#include "account/AvatarLoader.h"

#include "account/AccountHttp.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>


QImage AvatarLoader::decode(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > kMaxBytes) return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide) return {};
    return reader.read();
}

void AvatarLoader::cancel() {
    if (QNetworkReply* r = reply_) {
        disconnect(r, nullptr, this, nullptr);
        r->abort();
        r->deleteLater();
    }
    reply_ = nullptr;
}

void AvatarLoader::load(const QUrl& url, std::function<void(const QImage&)> done) {
    cancel();
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty()) {
        QMetaObject::invokeMethod(this, [done] { done(QImage()); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest req(url);
    req.setTransferTimeout(10000);
    // A picture may live anywhere: it gets no cookies and keeps none.
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = AccountRequest::network()->get(req);
    reply_ = reply;
    reply->setReadBufferSize(0);
    auto tooBig = [reply] {
        const QVariant len = reply->header(QNetworkRequest::ContentLengthHeader);
        return (len.isValid() && len.toLongLong() > kMaxBytes) || reply->bytesAvailable() > kMaxBytes;
    };
    auto refuseIfTooBig = [this, tooBig, done] {
        if (!tooBig()) return;
        cancel();
        done(QImage());
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, refuseIfTooBig);
    connect(reply, &QNetworkReply::readyRead, this, refuseIfTooBig);
    connect(reply, &QNetworkReply::finished, this, [this, reply, done] {
        reply_ = nullptr;
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        done(reply->error() == QNetworkReply::NoError && status == 200 ? decode(reply->readAll()) : QImage());
    });
}
