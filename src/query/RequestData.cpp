#include "query/RequestData.h"

#include "platform/ServiceNotice.h"
#include "platform/TimingMark.h"
#include "query/offline/OfflineDict.h"

#include "platform/BundleInfo.h"
#include "platform/UrlEscaping.h"
#include "query/DeviceHelper.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QThread>
#include <QThreadStorage>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace {

RequestData::OfflineLookup& offlineLookup() {
    // The shipped dictionary answers unless another lookup is installed.
    static RequestData::OfflineLookup lookup = [](const QString& word, const QString& localDict,
                                                  int requestType, int dictType) {
        return OfflineDict::answer(word, localDict, requestType, dictType);
    };
    return lookup;
}
QMutex& offlineMutex() {
    static QMutex m;
    return m;
}

// Errors of the connection itself (network layer, proxy, protocol framing),
// as opposed to an HTTP status the service chose to send.
bool isTransportFailure(QNetworkReply::NetworkError e) {
    const int code = static_cast<int>(e);
    return (code >= 1 && code <= 199) || (code >= 300 && code <= 399);
}

}  // namespace

QString RequestData::escapeURL(const QString& text) { return escapeQueryValue(text); }

QString md5HexString(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}

QString machineId() {
    // A machine that names no serial number sends the digest of "null".
    const QString serial = DeviceHelper::serialNumber();
    return md5HexString(serial.isNull() ? QStringLiteral("null") : serial);
}

QString vendorAndVersionParam() {
    return legacyEscape(BundleInfo::vendorChannel() + QStringLiteral("&appVer=") +
                        appShortVersion());
}

int osMinorVersionFrom(const QString& versionText) {
    const QStringList words = versionText.split(QLatin1Char(' '));
    if (words.size() < 2) return 0;
    const QStringList parts = words.at(1).split(QLatin1Char('.'));
    if (parts.size() < 2) return 0;
    // Leading digits only, like the platform's integer reading of "11abc".
    const QString& minor = parts.at(1);
    int value = 0;
    for (const QChar c : minor) {
        if (!c.isDigit()) break;
        value = value * 10 + c.digitValue();
    }
    return value;
}

int osMinorVersion() {
    return osMinorVersionFrom(DeviceHelper::systemVersion());
}

QByteArray RequestData::formBody(const QStringList& names, const QStringList& values) {
    QString body;
    const qsizetype n = std::min(names.size(), values.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0) body.append(QLatin1Char('&'));
        body.append(names.at(i));
        body.append(QLatin1Char('='));
        body.append(escapeURL(values.at(i)));
    }
    // Escaped values are ASCII; a name outside ASCII degrades to '?' as the
    // lossy ASCII conversion always did.
    return body.toLatin1();
}

RequestData::RequestData(QObject* parent) : QObject(parent) {}

RequestData::~RequestData() { cancel(); }

QNetworkAccessManager* RequestData::network() {
    // One manager per thread: a manager may only be used from its own thread.
    static QThreadStorage<QNetworkAccessManager*> managers;
    if (!managers.hasLocalData()) {
        auto* nam = new QNetworkAccessManager;
        nam->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        managers.setLocalData(nam);
    }
    return managers.localData();
}

void RequestData::setTarget(QObject* target, Callback callback) {
    if (!target && !callback) return;
    target_ = target;
    hasTarget_ = target != nullptr;
    callback_ = std::move(callback);
}

void RequestData::deliver(const QVariant& answer) {
    if (!callback_) return;
    if (hasTarget_ && target_.isNull()) return;
    // A copy, so a callback that starts the next request on this object
    // cannot destroy the function while it runs.
    Callback cb = callback_;
    cb(answer);
}

void RequestData::requestDataWithURL(const QString& url, const QStringList& names,
                                     const QStringList& values, QObject* target,
                                     Callback callback) {
    setTarget(target, std::move(callback));

    const QUrl qurl(url, QUrl::StrictMode);
    const bool usable = qurl.isValid() && !qurl.scheme().isEmpty() && !qurl.host().isEmpty();
    if (!usable) qWarning().noquote() << QStringLiteral("url is nil, strUrl=%1").arg(url);

    QNetworkRequest request(qurl);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(timeoutMs_);
    // Qt asks for and undoes gzip itself; an explicit header would hand us
    // the compressed bytes.

    QByteArray body;
    const bool post = !names.isEmpty();
    if (post) {
        body = formBody(names, values);
        request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        request.setRawHeader("Accept", "application/json");
    }

    cancel();

    if (!usable) {
        // No connection can be made for this address: answer at once.
        deliver(QVariant());
        return;
    }

    QNetworkReply* reply = post ? network()->post(request, body) : network()->get(request);
    MIRVOK_MARK(qPrintable(QStringLiteral("request sent: ") + qurl.path()));
    reply_ = reply;
    data_.clear();
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (reply == reply_) data_.clear();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (reply == reply_) data_.append(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        MIRVOK_MARK(qPrintable(QStringLiteral("answer in: ") + reply->url().path()));
        onFinished(reply);
    });
}

void RequestData::onFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_) return;
    reply_ = nullptr;
    // A reply that carries an HTTP status is a response whatever the status;
    // a reply without one, or one cut short on the way (closed early, timed
    // out mid-body, broken framing), failed in transport: half a body is not
    // an answer.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || isTransportFailure(reply->error())) {
        if (!status.isValid()) ServiceNotice::unreachable(reply->errorString(), reply->url());
        data_.clear();
        deliver(QVariant());
        return;
    }
    ServiceNotice::reached(reply->url());
    data_.append(reply->readAll());
    deliver(QVariant(data_));
}

void RequestData::requestData(const QString& word, const QString& localDict, int requestType,
                              int dictType, QObject* target, Callback callback) {
    // The offline answer comes back inside this call, so it needs nothing of
    // the request in flight: a late offline search (a timer left from typing
    // while the network was down) must neither cancel nor redirect it.
    QPointer<QObject> answerTarget = target_;
    bool answerHasTarget = hasTarget_;
    Callback answerCallback = callback_;
    if (target || callback) {
        answerTarget = target;
        answerHasTarget = target != nullptr;
        answerCallback = std::move(callback);
        if (!reply_) setTarget(answerTarget, answerCallback);
    }
    OfflineLookup lookup;
    {
        QMutexLocker lock(&offlineMutex());
        lookup = offlineLookup();
    }
    if (!lookup) return;
    const QVariant answer = lookup(word, localDict, requestType, dictType);
    if (!answer.isValid() || answer.isNull() || !answerCallback) return;
    if (answerHasTarget && answerTarget.isNull()) return;
    answerCallback(answer);
}

void RequestData::setOfflineLookup(OfflineLookup lookup) {
    QMutexLocker lock(&offlineMutex());
    offlineLookup() = std::move(lookup);
}

void RequestData::cancel() {
    if (!reply_) return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    // Disconnected before abort() so the old request can never call back.
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}
