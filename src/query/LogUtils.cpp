#include "query/LogUtils.h"

#include "platform/HeapTrim.h"
#include "platform/MainThread.h"
#include "platform/ServiceHost.h"
#include "platform/ServiceNotice.h"
#include "platform/TimingMark.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>
#include <atomic>
#include <cmath>
#include <deque>

namespace {

Q_LOGGING_CATEGORY(lcLog, "mirvok.log", QtInfoMsg)

QByteArray component(const QString& s) { return QUrl::toPercentEncoding(s); }

// The text an extra's value has always been sent as: numbers without a
// trailing ".0", booleans as 1/0 (how the page's numbers and flags arrive).
QString textForm(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e15) return QString::number(qint64(d));
        return QString::number(d, 'g', 17);
    }
    case QMetaType::QJsonValue: return textForm(v.toJsonValue().toVariant());
    default: return v.toString();
    }
}

bool isAbsent(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return true;
    if (v.typeId() == QMetaType::QJsonValue) {
        const QJsonValue j = v.toJsonValue();
        return j.isNull() || j.isUndefined();
    }
    return false;
}

QNetworkAccessManager* manager() {
    static QPointer<QNetworkAccessManager> nam;
    if (!nam) nam = new QNetworkAccessManager(QCoreApplication::instance());
    return nam;
}

// Main thread only.
struct Outbox {
    std::deque<QByteArray> waiting;
    int inFlight = 0;
    bool dropping = false;  // this spell of a full queue has been reported
};

Outbox& outbox() {
    static Outbox box;
    return box;
}

std::atomic<int> timeoutMs{LogUtils::defaultTimeoutMs};

void pump();

void start(const QByteArray& address) {
    const QUrl url = QUrl::fromEncoded(address, QUrl::StrictMode);
    if (!url.isValid()) {
        qCWarning(lcLog).noquote() << "sent log error:" << url.errorString();
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager()->get(request);
    ++outbox().inFlight;
    MIRVOK_MARK("usage log sent");
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, address] {
        reply->deleteLater();
        --outbox().inFlight;
        // Any HTTP answer, whatever its status, means the event arrived.
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        // A terminal hears of an unreachable service once, not per event.
        if (reply->error() != QNetworkReply::NoError && !answered) {
            ServiceNotice::unreachable(reply->errorString(), reply->url());
            qCDebug(lcLog).noquote() << "sent log error:" + reply->errorString();
        } else {
            ServiceNotice::reached(reply->url());
            qCDebug(lcLog).noquote() << "log sent success!, log=" + QString::fromLatin1(address);
        }
        pump();
        // A backlog's replies leave their freed pages with the heap.
        if (outbox().inFlight == 0) heaptrim::soon();
    });
}

void pump() {
    Outbox& box = outbox();
    while (box.inFlight < LogUtils::maxInFlight && !box.waiting.empty()) {
        const QByteArray address = std::move(box.waiting.front());
        box.waiting.pop_front();
        start(address);
    }
    if (box.waiting.empty()) box.dropping = false;
}

void send(const QByteArray& address) {
    Outbox& box = outbox();
    if (box.waiting.size() >= std::size_t(LogUtils::maxWaiting)) {
        if (!box.dropping)
            qCInfo(lcLog).noquote() << QStringLiteral("usage log: the service is not keeping up; "
                                                      "events are dropped until the %1 waiting have gone out")
                                           .arg(box.waiting.size());
        box.dropping = true;
        return;
    }
    box.waiting.push_back(address);
    pump();
}

}  // namespace

LogUtils::Extras LogUtils::extrasFrom(const QVariant& extras) {
    Extras out;
    switch (extras.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap m = extras.toMap();
        for (auto it = m.cbegin(); it != m.cend(); ++it) out.append({it.key(), it.value()});
        break;
    }
    case QMetaType::QVariantHash: {
        const QVariantHash h = extras.toHash();
        for (auto it = h.cbegin(); it != h.cend(); ++it) out.append({it.key(), it.value()});
        break;
    }
    case QMetaType::QJsonObject: {
        const QJsonObject o = extras.toJsonObject();
        for (auto it = o.begin(); it != o.end(); ++it) out.append({it.key(), it.value().toVariant()});
        break;
    }
    case QMetaType::QJsonValue:
        if (extras.toJsonValue().isObject()) return extrasFrom(extras.toJsonValue().toObject());
        break;
    default: break;
    }
    return out;
}

QByteArray LogUtils::logAddress(const QString& key, const QString& value, const Extras& extras) {
    QByteArray address = serviceBaseUrl().toUtf8() +
                         "/appapi/log?keyfrom=mac.main&client=vorlane&product=vorlane&category=mac&" +
                         component(key) + '=' + component(value);
    for (const auto& [k, v] : extras) {
        if (isAbsent(v)) continue;
        address += '&' + component(k) + '=' + component(textForm(v));
    }
    return address;
}

void LogUtils::setTimeoutMs(int ms) { timeoutMs = ms; }

void LogUtils::log(const QString& key, const QString& value, const QVariant& extras) {
    log(key, value, extrasFrom(extras));
}

void LogUtils::log(const QString& key, const QString& value, const Extras& extras) {
    const QByteArray address = logAddress(key, value, extras);
    if (isMainThread()) send(address);
    else runOnMain([address] { send(address); });
}
